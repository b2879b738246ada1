#include "net/proxy_handshake.h"

#include <cstdlib>
#include <cstring>

#include "net/http_parse.h"

namespace tavrin {

namespace {

constexpr unsigned char kSocks4Granted = 90;
constexpr std::size_t kMaxSocksField = 255;

void AppendPort(std::string& message, std::uint16_t port) {
    message += static_cast<char>(port >> 8);
    message += static_cast<char>(port & 0xFF);
}

void AppendAddress(std::string& message, Ipv4Address address) {
    // Already in network byte order: the bytes go out as they lie in memory.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    message.append(reinterpret_cast<const char*>(bytes), 4);
}

bool SendMessage(const ProxyLink& link, const std::string& message) {
    const long length = static_cast<long>(message.size());
    return SendAll(link.socket, message.data(), length, link.sendTimeoutMs) == length;
}

bool ReadBytes(const ProxyLink& link, unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        const int byte = ReaderGetByte(link.reader, link.recvTimeoutMs);
        if (byte > 255) {
            return false;
        }
        bytes[i] = static_cast<unsigned char>(byte);
    }
    return true;
}

bool ConnectToProxy(const ProxyLink& link, const ProxyServer& proxy) {
    return ConnectToHost(link.socket, proxy.host, proxy.port, link.connectTimeoutMs, true) == 0;
}

}  // namespace

int Socks4Handshake(const ProxyLink& link, const ProxyServer& proxy, const std::string& host,
                    std::uint16_t port, bool allowHostName) {
    const Ipv4Address address = ResolveHostAddress(host, true, link.connectTimeoutMs);
    if (address == kNoAddress && !allowHostName) {
        return kRequestRetry;
    }
    if (!ConnectToProxy(link, proxy)) {
        return kRequestRetry;
    }
    std::string message = {4, 1};
    AppendPort(message, port);
    if (address != kNoAddress) {
        AppendAddress(message, address);
        message += proxy.user;
        message += '\0';
    } else {
        // SOCKS 4a: the address 0.0.0.1 says that the proxy resolves the name that follows.
        message += std::string("\0\0\0\1", 4);
        message += proxy.user;
        message += '\0';
        message += host;
        message += '\0';
    }
    unsigned char reply[8];
    if (!SendMessage(link, message) || !ReadBytes(link, reply, 8) || reply[1] != kSocks4Granted) {
        return kRequestRetry;
    }
    return kRequestOk;
}

int Socks5Handshake(const ProxyLink& link, const ProxyServer& proxy, const std::string& host,
                    std::uint16_t port) {
    // Names and credentials go with a one-byte length: a longer one would be cut, and the
    // proxy would read the rest as the next fields.
    const bool tooLong =
        host.size() > kMaxSocksField || (proxy.auth && (proxy.user.size() > kMaxSocksField ||
                                                        proxy.password.size() > kMaxSocksField));
    if (tooLong) {
        return kRequestFailed;
    }
    if (!ConnectToProxy(link, proxy)) {
        return kRequestRetry;
    }
    const std::string greeting = proxy.auth ? std::string("\5\2\0\2", 4) : std::string("\5\1\0", 3);
    unsigned char choice[2];
    if (!SendMessage(link, greeting) || !ReadBytes(link, choice, 2) || choice[1] >= 4) {
        return kRequestRetry;
    }
    if (choice[1] == 2 && proxy.auth) {
        std::string login = {1, static_cast<char>(proxy.user.size() & 0xFF)};
        login += proxy.user;
        login += static_cast<char>(proxy.password.size() & 0xFF);
        login += proxy.password;
        unsigned char status[2];
        if (!SendMessage(link, login) || !ReadBytes(link, status, 2) || status[1] != 0) {
            return kRequestRetry;
        }
    } else if (choice[1] != 0) {
        // A method we did not offer, or credentials we were not given: asking again would
        // get the same answer.
        return kRequestFailed;
    }
    std::string connect = {5, 1, 0};
    const Ipv4Address address = ResolveHostAddress(host, true, link.connectTimeoutMs);
    if (address != kNoAddress) {
        connect += '\1';
        AppendAddress(connect, address);
    } else {
        connect += '\3';
        connect += static_cast<char>(host.size() & 0xFF);
        connect += host;
    }
    AppendPort(connect, port);
    unsigned char reply[4];
    if (!SendMessage(link, connect) || !ReadBytes(link, reply, 4) || reply[1] != 0) {
        return kRequestRetry;
    }
    // The address the proxy bound, then its port: read and dropped.
    int boundLength = 0;
    if (reply[3] == 1) {
        boundLength = 4;
    } else if (reply[3] == 4) {
        boundLength = 16;
    } else if (reply[3] == 3) {
        unsigned char length;
        if (!ReadBytes(link, &length, 1)) {
            return kRequestRetry;
        }
        boundLength = length;
    }
    unsigned char bound[258];
    if (!ReadBytes(link, bound, boundLength + 2)) {
        return kRequestRetry;
    }
    return kRequestOk;
}

int OpenHttpTunnel(const ProxyLink& link, const ProxyServer& proxy, const std::string& host,
                   std::uint16_t port, const std::string& userAgent) {
    std::string connect = "CONNECT " + host + ":" + std::to_string(port) + " HTTP/1.1\r\n";
    connect += "Host: " + host + ":" + std::to_string(port) + "\r\n";
    if (proxy.auth) {
        connect += "Proxy-Authorization: Basic " + Base64Encode(proxy.user + ":" + proxy.password) +
                   "\r\n";
    }
    connect += "User-Agent: " + userAgent + "\r\n\r\n";
    if (!SendMessage(link, connect)) {
        return kRequestRetry;
    }
    std::string statusLine;
    std::size_t headerBytes = 0;
    for (bool first = true;; first = false) {
        char line[kReaderLineSize + 1] = {};
        int status = 0;
        if (ReaderReadLine(link.reader, line, status, link.recvTimeoutMs) != 0) {
            return kRequestRetry;
        }
        if (first) {
            statusLine = line;
        }
        headerBytes += std::strlen(line);
        if (headerBytes > kMaxHeaderBytes) {
            return kRequestFailed;
        }
        if (status == 0 && line[0] == '\0') {
            break;
        }
    }
    // "HTTP/1.1 200 Connection established": the tunnel is open.
    const std::size_t blank = statusLine.find(' ');
    const int code = blank == std::string::npos ? 0 : std::atoi(statusLine.c_str() + blank + 1);
    if (code >= 200 && code < 300) {
        return kRequestOk;
    }
    return code >= 500 ? kRequestRetry : kRequestFailed;
}

}  // namespace tavrin
