// The connection of a request: straight to the server, to an HTTP proxy, or through a
// SOCKS 4, 4a or 5 proxy with its handshake.
#include "net/http_download.h"

namespace tavrin {

namespace {

constexpr unsigned char kSocks4Granted = 90;

void AppendPort(std::string& message, std::uint16_t port) {
    message += static_cast<char>(port >> 8);
    message += static_cast<char>(port & 0xFF);
}

void AppendAddress(std::string& message, Ipv4Address address) {
    // Already in network byte order: the bytes go out as they lie in memory.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    message.append(reinterpret_cast<const char*>(bytes), 4);
}

}  // namespace

bool CHttpDownload::SendMessage(const std::string& message) {
    const long length = static_cast<long>(message.size());
    return SendAll(m_socket, message.data(), length, m_nSendTimeout) == length;
}

bool CHttpDownload::ReadBytes(unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        const int byte = ReaderGetByte(m_pReader, m_nRecvTimeout);
        if (byte > 255) {
            return false;
        }
        bytes[i] = static_cast<unsigned char>(byte);
    }
    return true;
}

int CHttpDownload::ConnectThroughProxy() {
    switch (m_nProxyType) {
        case kProxyNone:
            return ConnectToHost(m_socket, m_strHost, m_nPort, m_nConnectTimeout, true) == 0
                       ? kRequestOk
                       : kRequestRetry;
        case kProxyHttp:
            return ConnectToHost(m_socket, m_strProxyHost, m_nProxyPort, m_nConnectTimeout, true) ==
                           0
                       ? kRequestOk
                       : kRequestRetry;
        case kProxySocks4:
            return Socks4Handshake(false);
        case kProxySocks4a:
            return Socks4Handshake(true);
        case kProxySocks5:
            return Socks5Handshake();
        default:
            return kRequestFailed;
    }
}

int CHttpDownload::Socks4Handshake(bool allowHostName) {
    const Ipv4Address address = ResolveHostAddress(m_strHost, true);
    if (address == kNoAddress && !allowHostName) {
        return kRequestRetry;
    }
    if (ConnectToHost(m_socket, m_strProxyHost, m_nProxyPort, m_nConnectTimeout, true) != 0) {
        return kRequestRetry;
    }
    std::string message = {4, 1};
    AppendPort(message, m_nPort);
    if (address != kNoAddress) {
        AppendAddress(message, address);
        message += m_strProxyUser;
        message += '\0';
    } else {
        // SOCKS 4a: the address 0.0.0.1 says that the proxy resolves the name that follows.
        message += std::string("\0\0\0\1", 4);
        message += m_strProxyUser;
        message += '\0';
        message += m_strHost;
        message += '\0';
    }
    unsigned char reply[8];
    if (!SendMessage(message) || !ReadBytes(reply, 8) || reply[1] != kSocks4Granted) {
        return kRequestRetry;
    }
    return kRequestOk;
}

int CHttpDownload::Socks5Handshake() {
    if (ConnectToHost(m_socket, m_strProxyHost, m_nProxyPort, m_nConnectTimeout, true) != 0) {
        return kRequestRetry;
    }
    const std::string greeting =
        m_bProxyAuth != 0 ? std::string("\5\2\0\2", 4) : std::string("\5\1\0", 3);
    unsigned char choice[2];
    if (!SendMessage(greeting) || !ReadBytes(choice, 2) || choice[1] >= 4) {
        return kRequestRetry;
    }
    if (choice[1] == 2 && m_bProxyAuth != 0) {
        std::string login = {1, static_cast<char>(m_strProxyUser.size() & 0xFF)};
        login += m_strProxyUser;
        login += static_cast<char>(m_strProxyPassword.size() & 0xFF);
        login += m_strProxyPassword;
        unsigned char status[2];
        if (!SendMessage(login) || !ReadBytes(status, 2) || status[1] != 0) {
            return kRequestRetry;
        }
    } else if (choice[1] != 0) {
        // A method we did not offer, or credentials we were not given: asking again would
        // get the same answer.
        return kRequestFailed;
    }
    std::string connect = {5, 1, 0};
    const Ipv4Address address = ResolveHostAddress(m_strHost, true);
    if (address != kNoAddress) {
        connect += '\1';
        AppendAddress(connect, address);
    } else {
        connect += '\3';
        connect += static_cast<char>(m_strHost.size() & 0xFF);
        connect += m_strHost;
    }
    AppendPort(connect, m_nPort);
    unsigned char reply[4];
    if (!SendMessage(connect) || !ReadBytes(reply, 4) || reply[1] != 0) {
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
        if (!ReadBytes(&length, 1)) {
            return kRequestRetry;
        }
        boundLength = length;
    }
    unsigned char bound[258];
    if (!ReadBytes(bound, boundLength + 2)) {
        return kRequestRetry;
    }
    return kRequestOk;
}

}  // namespace tavrin
