#include "net/http_download.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "net/tls_channel.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

constexpr int kChunkSize = kReaderSize;
constexpr std::size_t kWriteBufferSize = 128 * 1024;
// A header this long is no header of a file server; reading on would only fill memory.
constexpr std::size_t kMaxHeaderBytes = 256 * 1024;

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

int DigitsAt(const std::string& s, std::size_t pos, std::size_t count) {
    return pos < s.size() ? std::atoi(s.substr(pos, count).c_str()) : -1;
}

// The value of every field `name` (lower case) in a lower-cased header: only at the start of
// a line, so "content-location:" is never taken for "location:".
std::vector<std::string> FieldValues(const std::string& lower, const std::string& name) {
    std::vector<std::string> values;
    const std::string key = "\r\n" + name + ":";
    for (std::size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 2)) {
        const std::size_t from = at + key.size();
        const std::size_t end = lower.find("\r\n", from);
        if (end == std::string::npos) {
            break;  // a field must end with its line
        }
        values.push_back(Trim(lower.substr(from, end - from)));
    }
    return values;
}

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

}  // namespace

bool ParseUrl(const std::string& url, std::string& host, std::string& object, std::uint16_t& port) {
    host.clear();
    object.clear();
    port = 0;
    const std::string text = Trim(url);
    const std::size_t scheme = text.find("://");
    const std::string prefix = scheme == std::string::npos ? "" : Lower(text.substr(0, scheme + 3));
    if (prefix != "http://" && prefix != "https://") {
        return false;
    }
    const std::string rest = text.substr(scheme + 3);
    const std::size_t slash = rest.find('/');
    if (rest.empty() || slash == std::string::npos) {
        return false;
    }
    object = rest.substr(slash);
    const std::string hostPart = rest.substr(0, slash);
    const std::size_t colon = hostPart.find(':');
    if (colon == std::string::npos) {
        host = hostPart;
        port = prefix == "https://" ? 443 : 80;
    } else {
        host = hostPart.substr(0, colon);
        port = static_cast<std::uint16_t>(std::atoi(hostPart.substr(colon + 1).c_str()));
    }
    return true;
}

bool IsSecureUrl(const std::string& url) {
    return StartsWithNoCase(Trim(url), "https://");
}

bool ParseHttpDate(const std::string& text, std::int64_t& time) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    std::string rest = text.substr(comma + 1);
    rest.erase(0, rest.find_first_not_of(" \t"));
    if (rest.size() < 6) {
        return false;
    }
    const int day = DigitsAt(rest, 0, 2);
    static const std::string kMonths = "jan,feb,mar,apr,may,jun,jul,aug,sep,oct,nov,dec";
    const std::size_t match = kMonths.find(Lower(rest.substr(3, 3)));
    if (match == std::string::npos || match % 4 != 0) {
        return false;  // no month of the year
    }
    const int month = static_cast<int>(match / 4 + 1);
    std::string clock = rest.substr(6);
    clock.erase(0, clock.find_first_not_of(" \t"));
    const std::size_t blank = clock.find_first_of(" \t");
    if (blank == std::string::npos || !AllDigits(clock.substr(0, blank))) {
        return false;  // no year
    }
    const int year = std::atoi(clock.substr(0, blank).c_str());
    clock = clock.substr(blank + 1);
    const int hour = DigitsAt(clock, 0, 2);
    const int minute = DigitsAt(clock, 3, 2);
    const int second = DigitsAt(clock, 6, 2);
    if (year < 1900 || year > 9999 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60) {
        return false;
    }
    // The date is in GMT, so it is read as UTC, whatever the machine's own zone.
    time = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

std::string Base64Encode(const std::string& text) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const std::size_t left = text.size() - i;
        std::uint32_t bits = static_cast<unsigned char>(text[i]) << 16;
        if (left > 1) {
            bits |= static_cast<unsigned char>(text[i + 1]) << 8;
        }
        if (left > 2) {
            bits |= static_cast<unsigned char>(text[i + 2]);
        }
        out += kAlphabet[(bits >> 18) & 63];
        out += kAlphabet[(bits >> 12) & 63];
        out += left > 1 ? kAlphabet[(bits >> 6) & 63] : '=';
        out += left > 2 ? kAlphabet[bits & 63] : '=';
    }
    return out;
}

bool ParseChunkSizeLine(const std::string& line, std::uint32_t& size) {
    size = 0;
    std::size_t at = 0;
    std::uint64_t value = 0;
    for (; at < line.size() && std::isxdigit(static_cast<unsigned char>(line[at])) != 0; ++at) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[at])));
        value = value * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        if (value > 0x7FFFFFFFu) {
            return false;
        }
    }
    if (at == 0) {
        return false;
    }
    // Blanks may precede chunk extensions (";name=value"), which carry nothing for us.
    const std::size_t rest = line.find_first_not_of(" \t", at);
    if (rest != std::string::npos && line[rest] != ';') {
        return false;
    }
    size = static_cast<std::uint32_t>(value);
    return true;
}

CHttpDownload::CHttpDownload() = default;

CHttpDownload::~CHttpDownload() {
    CloseConnection();
}

void CHttpDownload::SetTempSuffixNumber(int n) {
    m_strTempSuffix = ".down" + std::to_string(n);
}

bool CHttpDownload::OpenConnection() {
    CloseConnection();
    m_socket = CreateTcpSocket();
    if (m_socket == kInvalidSocket) {
        return false;
    }
    m_pReader = CreateSocketReader(m_socket);
    return m_pReader != nullptr;
}

void CHttpDownload::CloseConnection() {
    m_tls.reset();
    if (m_pReader != nullptr) {
        FreeSocketReader(m_pReader);
        m_pReader = nullptr;
    }
    if (m_socket != kInvalidSocket) {
        CloseSocket(m_socket);
        m_socket = kInvalidSocket;
    }
}

void CHttpDownload::Notify(int code) {
    if (m_bNotify != 0 && m_notify) {
        m_notify({code, m_nTotal, m_nReceived, m_strFileName});
    }
}

bool CHttpDownload::RetryAllowed() {
    if (m_nRetryMode == 0) {
        return false;
    }
    if (m_nRetryMode == 1) {
        if (m_nRetryCount >= m_nMaxRetries) {
            return false;
        }
        ++m_nRetryCount;
    }
    if (m_nRetryDelay != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_nRetryDelay));
    }
    return true;
}

int CHttpDownload::Download(const std::string& url, const std::string& localPath) {
    const int result = Fetch(url, localPath);
    // A connection left by a failure would hold its descriptor, and the server's slot,
    // until the next download.
    CloseConnection();
    // Nothing can resume from a partial body (every attempt starts at the first byte), so
    // a failed download leaves nothing behind.
    if (result != DL_OK && !m_strTempPath.empty()) {
        std::remove(m_strTempPath.c_str());
    }
    return result;
}

int CHttpDownload::Fetch(const std::string& url, const std::string& localPath) {
    m_bStop = 0;
    m_nRetryCount = 0;
    m_nRedirects = 0;
    m_strUrl = Trim(url);
    if (m_strUrl.empty()) {
        return DL_FAILED;
    }
    if (!ParseUrl(m_strUrl, m_strHost, m_strObject, m_nPort)) {
        m_strUrl = "http://" + m_strUrl;
        if (!ParseUrl(m_strUrl, m_strHost, m_strObject, m_nPort)) {
            return DL_FAILED;
        }
    }
    m_strAuthHost = m_strHost;
    m_nAuthPort = m_nPort;
    m_bAuthSecure = Secure();
    m_strTlsError.clear();
    m_strTempPath.clear();
    m_strLocalPath = Trim(localPath);
    if (m_strLocalPath.empty()) {
        return DL_FAILED;
    }
    m_strTempPath = m_strLocalPath + m_strTempSuffix;
    m_nTotal = 0;
    m_nReceived = 0;
    m_nContentLength = 0;
    m_nChunkReceived = 0;
    bool firstPass = true;
    for (;;) {
        const int request = SendRequest();
        if (request == kRequestRetry) {
            if (m_bStop != 0) {
                return DL_STOPPED;
            }
            if (!RetryAllowed()) {
                return DL_FAILED;
            }
            continue;
        }
        if (request != kRequestOk) {
            return request == kRequestStoppedOrRedirect || request == kRequestNotFound ? request
                                                                                       : DL_FAILED;
        }
        if (m_nContentLength == 0 && !m_bChunked) {
            return DL_FAILED;
        }
        const int body = ReceiveBody(firstPass);
        firstPass = false;
        if (body != kRequestRetry) {
            return body == DL_OK ? Complete() : body;
        }
        // The connection broke inside the body: the request starts again from the first
        // byte, within the retry budget.
        if (m_bStop != 0) {
            return DL_STOPPED;
        }
        if (!RetryAllowed()) {
            return DL_FAILED;
        }
    }
}

// Received pieces are gathered here and written in large blocks, so the file stream needs
// no buffer of its own (that would copy every byte once more). Each piece is read straight
// behind the ones before it.
class CHttpDownload::BodyWriter {
public:
    explicit BodyWriter(std::FILE* file) : m_file(file), m_pending(kWriteBufferSize + kChunkSize) {}

    char* Tail() { return m_pending.data() + m_used; }
    bool Add(int n) {
        m_used += static_cast<std::size_t>(n);
        return m_used < kWriteBufferSize || Flush();
    }
    bool Flush() {
        const bool written = std::fwrite(m_pending.data(), 1, m_used, m_file) == m_used;
        m_used = 0;
        return written;
    }

private:
    std::FILE* m_file;
    std::vector<char> m_pending;
    std::size_t m_used = 0;
};

int CHttpDownload::ReceiveBody(bool firstPass) {
    const std::size_t sep = platform::FindLastMbChar(m_strTempPath, platform::PathSeparator());
    if (sep != std::string::npos) {
        platform::CreateDirTree(m_strTempPath.substr(0, sep));
    }
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(m_strTempPath.c_str(), "wb"),
                                                            &std::fclose);
    if (!file) {
        return DL_FAILED;
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    const std::size_t slash = m_strObject.rfind('/');
    const std::size_t backslash = m_strObject.rfind('\\');
    if (m_strObject.size() <= 1 || (slash == std::string::npos && backslash == std::string::npos)) {
        m_strFileName = m_strObject;
    } else {
        m_strFileName = m_strObject.substr((slash != std::string::npos ? slash : backslash) + 1);
    }
    if (firstPass) {
        Notify(2);
        Notify(1);
        Notify(3);
    }
    BodyWriter writer(file.get());
    m_nChunkReceived = 0;
    const int received =
        m_bChunked ? ReceiveChunks(writer) : ReceiveLength(writer, m_nContentLength);
    if (received != DL_OK) {
        return received;
    }
    if (!writer.Flush() || std::fclose(file.release()) != 0) {
        return kRequestRetry;
    }
    CloseConnection();
    return DL_OK;
}

int CHttpDownload::ReceiveLength(BodyWriter& writer, std::uint32_t length) {
    std::uint32_t done = 0;
    while (done < length) {
        if (m_bStop != 0) {
            return DL_STOPPED;
        }
        // Never past the body's end: what a server sends after it is not part of the file.
        const int n =
            ReaderReadUpTo(m_pReader, m_nRecvTimeout, writer.Tail(),
                           static_cast<int>(std::min<std::uint32_t>(length - done, kChunkSize)));
        if (n <= 0 || !writer.Add(n)) {
            return kRequestRetry;
        }
        done += static_cast<std::uint32_t>(n);
        m_nChunkReceived += static_cast<std::uint32_t>(n);
        m_nReceived += n;
        Notify(3);
    }
    return DL_OK;
}

int CHttpDownload::ReceiveChunks(BodyWriter& writer) {
    for (;;) {
        char line[kReaderLineSize + 1] = {};
        int status = 0;
        if (ReaderReadLine(m_pReader, line, status, m_nRecvTimeout) != 0) {
            return kRequestRetry;
        }
        std::uint32_t size = 0;
        // A size line that does not end within the line buffer is no size line either.
        if (status != 0 || !ParseChunkSizeLine(line, size) ||
            size > 0x7FFFFFFFu - m_nChunkReceived) {
            return DL_FAILED;
        }
        if (size == 0) {
            break;
        }
        const int body = ReceiveLength(writer, size);
        if (body != DL_OK) {
            return body;
        }
        // Each chunk's data ends with its own line break.
        if (ReaderReadLine(m_pReader, line, status, m_nRecvTimeout) != 0) {
            return kRequestRetry;
        }
        if (status != 0 || line[0] != '\0') {
            return DL_FAILED;
        }
    }
    // Trailer fields, up to the empty line, carry nothing this downloader uses.
    std::size_t trailer = 0;
    for (;;) {
        char line[kReaderLineSize + 1] = {};
        int status = 0;
        if (ReaderReadLine(m_pReader, line, status, m_nRecvTimeout) != 0) {
            return kRequestRetry;
        }
        trailer += std::strlen(line);
        if (trailer > kMaxHeaderBytes) {
            return DL_FAILED;
        }
        if (status == 0 && line[0] == '\0') {
            return DL_OK;
        }
    }
}

int CHttpDownload::Complete() {
    const std::size_t sep = platform::FindLastMbChar(m_strLocalPath, platform::PathSeparator());
    const std::string name =
        sep == std::string::npos ? m_strLocalPath : m_strLocalPath.substr(sep + 1);
    platform::NamedMutex mutex(m_strMutexPrefix + "_" + name);
    const bool existed = mutex.AlreadyExisted();
    mutex.Lock();
    if (existed && platform::IsExistingFile(m_strLocalPath)) {
        // Another process has just put the same file in place; ours is not needed.
        std::remove(m_strTempPath.c_str());
    } else if (platform::IsExistingFile(m_strTempPath)) {
        // Only with our copy at hand is the old target given up: otherwise a failed rename
        // would leave no file at all.
        std::remove(m_strLocalPath.c_str());
        std::rename(m_strTempPath.c_str(), m_strLocalPath.c_str());
        platform::SetModificationTime(m_strLocalPath, m_lastModified);
    }
    mutex.Unlock();
    return DL_OK;
}

bool CHttpDownload::Secure() const {
    return IsSecureUrl(m_strUrl);
}

std::string CHttpDownload::HostAndPort() const {
    const std::uint16_t usual = Secure() ? 443 : 80;
    return m_strHost + (m_nPort != usual ? ":" + std::to_string(m_nPort) : "");
}

long CHttpDownload::SendToServer(const char* data, long length) {
    return m_tls ? m_tls->SendAll(data, length, m_nSendTimeout)
                 : SendAll(m_socket, data, length, m_nSendTimeout);
}

int CHttpDownload::StartTls() {
    if (m_nProxyType == kProxyHttp) {
        const int tunnel = OpenTunnel();
        if (tunnel != kRequestOk) {
            return tunnel;
        }
    }
    if (!m_tlsContext) {
        m_tlsContext = std::make_unique<TlsClientContext>();
        if (!m_tlsContext->Load(m_strCaFile)) {
            m_tlsContext.reset();
            m_strTlsError = "cannot load the trusted certificates";
            return kRequestFailed;
        }
    }
    m_tls = std::make_unique<TlsChannel>(*m_tlsContext, m_socket);
    const TlsHandshake shaken = m_tls->Handshake(m_strHost, m_nRecvTimeout);
    m_strTlsError = m_tls->Error();
    if (shaken != TlsHandshake::kOk) {
        m_tls.reset();
        // A certificate that fails now fails on every attempt.
        return shaken == TlsHandshake::kRefused ? kRequestFailed : kRequestRetry;
    }
    m_pReader->receive = &TlsChannel::ReceiveFor;
    m_pReader->receiveContext = m_tls.get();
    return kRequestOk;
}

int CHttpDownload::OpenTunnel() {
    std::string connect = "CONNECT " + m_strHost + ":" + std::to_string(m_nPort) + " HTTP/1.1\r\n";
    connect += "Host: " + m_strHost + ":" + std::to_string(m_nPort) + "\r\n";
    if (m_bProxyAuth != 0) {
        connect += "Proxy-Authorization: Basic " +
                   Base64Encode(m_strProxyUser + ":" + m_strProxyPassword) + "\r\n";
    }
    connect += "User-Agent: " + m_strUserAgent + "\r\n\r\n";
    if (!SendMessage(connect)) {
        return kRequestRetry;
    }
    std::string statusLine;
    std::size_t headerBytes = 0;
    for (bool first = true;; first = false) {
        char line[kReaderLineSize + 1] = {};
        int status = 0;
        if (ReaderReadLine(m_pReader, line, status, m_nRecvTimeout) != 0) {
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

std::string CHttpDownload::BuildRequest() const {
    // Through a CONNECT tunnel the proxy sees none of the request: it goes as to the server.
    const bool proxied = m_nProxyType == kProxyHttp && !Secure();
    std::string request = "GET " + (proxied ? m_strUrl : m_strObject) + " HTTP/1.1\r\n";
    if (proxied && m_bProxyAuth != 0) {
        request += "Proxy-Authorization: Basic " +
                   Base64Encode(m_strProxyUser + ":" + m_strProxyPassword) + "\r\n";
    }
    // Credentials belong to the server they were given for, not to where it redirects.
    if (m_bServerAuth != 0 && m_strHost == m_strAuthHost && m_nPort == m_nAuthPort &&
        Secure() == m_bAuthSecure) {
        request += "Authorization: Basic " + Base64Encode(m_strUser + ":" + m_strPassword) + "\r\n";
    }
    request += "Host: " + HostAndPort() + "\r\n";
    request += "Accept: */*\r\n";
    request += "Pragma: no-cache\r\n";
    request += "Cache-Control: no-cache\r\n";
    request += "User-Agent: " + m_strUserAgent + "\r\n";
    if (!m_strReferer.empty()) {
        request += "Referer: " + m_strReferer + "\r\n";
    }
    request += "Connection: close\r\n\r\n";
    return request;
}

int CHttpDownload::SendRequest() {
    for (;;) {
        m_nReceived = 0;
        m_nContentLength = 0;
        m_strHeader.clear();
        m_nHeaderLength = 0;
        if (!OpenConnection()) {
            return kRequestFailed;
        }
        if (m_bStop != 0) {
            return kRequestStoppedOrRedirect;
        }
        const int connected = ConnectThroughProxy();
        if (connected != kRequestOk) {
            return connected;
        }
        if (Secure()) {
            const int secured = StartTls();
            if (secured != kRequestOk) {
                return secured;
            }
        }
        if (m_bStop != 0) {
            return kRequestStoppedOrRedirect;
        }
        const std::string request = BuildRequest();
        const long length = static_cast<long>(request.size());
        if (SendToServer(request.data(), length) < length) {
            if (GetLastSocketError() == SocketTimedOutError()) {
                continue;  // a new connection for the whole request
            }
            return kRequestRetry;
        }
        if (m_bStop != 0) {
            return kRequestStoppedOrRedirect;
        }
        std::string header;
        bool continuing = false;
        for (;;) {
            char line[kReaderLineSize + 1] = {};
            int status = 0;
            if (ReaderReadLine(m_pReader, line, status, m_nRecvTimeout) != 0) {
                return kRequestRetry;
            }
            if (status == 0 && line[0] == '\0' && !continuing) {
                break;
            }
            header += line;
            if (status == 0) {
                header += "\r\n";
            }
            continuing = status == 1;
            if (header.size() > kMaxHeaderBytes) {
                return kRequestFailed;
            }
        }
        m_strHeader = header;
        m_nHeaderLength = static_cast<int>(header.size());
        std::uint32_t contentLength = 0;
        int statusCode = 0;
        const int parsed =
            ParseResponseHeader(m_strHeader, contentLength, statusCode, m_lastModified);
        if (parsed == kRequestOk) {
            m_nContentLength = contentLength;
            m_nTotal = static_cast<int>(contentLength);
            return kRequestOk;
        }
        if (parsed != kRequestStoppedOrRedirect) {
            return parsed;
        }
        if (++m_nRedirects > kMaxRedirects) {
            return kRequestFailed;
        }
    }
}

int CHttpDownload::ParseResponseHeader(const std::string& header, std::uint32_t& contentLength,
                                       int& status, std::int64_t& lastModified) {
    contentLength = 0;
    status = 0;
    lastModified = static_cast<std::int64_t>(std::time(nullptr));
    const std::string lower = Lower(header);
    const std::size_t firstEnd = lower.find("\r\n");
    // "HTTP/1.1 200 OK": a version, three digits and a blank, then a reason that may be
    // empty. Anything else is no response of an HTTP server, whatever digits it holds.
    const std::string statusLine = firstEnd == std::string::npos ? "" : lower.substr(0, firstEnd);
    const std::size_t blank = statusLine.find(' ');
    if (statusLine.rfind("http/", 0) != 0 || blank == std::string::npos ||
        statusLine.size() < blank + 5 || statusLine[blank + 4] != ' ' ||
        !AllDigits(statusLine.substr(blank + 1, 3))) {
        return kRequestFailed;
    }
    status = std::atoi(statusLine.substr(blank + 1, 3).c_str());

    if (status >= 300 && status < 400) {
        const std::size_t at = lower.find("\r\nlocation:");
        const std::size_t end = at == std::string::npos ? at : lower.find("\r\n", at + 2);
        if (end == std::string::npos) {
            return kRequestFailed;
        }
        // The address as the server wrote it: paths are case-sensitive on most servers.
        std::string value = Trim(header.substr(at + 11, end - at - 11));
        m_strReferer = m_strUrl;
        const std::size_t scheme = value.find("://");
        if (scheme != std::string::npos &&
            std::all_of(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(scheme),
                        [](unsigned char c) {
                            return std::isalpha(c) || c == '+' || c == '-' || c == '.';
                        })) {
            if (!StartsWithNoCase(value, "http://") && !StartsWithNoCase(value, "https://")) {
                return kRequestFailed;  // a scheme this downloader does not speak
            }
            m_strUrl = value;
        } else {
            std::replace(value.begin(), value.end(), '\\', '/');
            if (!value.empty() && value.front() == '/') {
                m_strObject = value;
                // The full address follows, for a proxy's request line and the next Referer.
                m_strUrl = (Secure() ? "https://" : "http://") + HostAndPort() + value;
                return kRequestStoppedOrRedirect;
            }
            int up = 0;
            for (std::size_t dots; (dots = value.find("../")) != std::string::npos; ++up) {
                value = value.substr(dots + 3);
            }
            std::string base = m_strUrl;
            for (int cut = 0; cut <= up; ++cut) {
                const std::size_t slash = base.rfind('/');
                if (slash != std::string::npos) {
                    base.resize(slash);
                }
            }
            m_strUrl = base + "/" + value;
        }
        return ParseUrl(m_strUrl, m_strHost, m_strObject, m_nPort) ? kRequestStoppedOrRedirect
                                                                   : kRequestFailed;
    }
    if (static_cast<unsigned>(status) >= 500) {
        return kRequestRetry;
    }
    if (status >= 400) {
        return status == 404 ? kRequestNotFound : kRequestFailed;
    }
    // Generated documents often come in chunks, without a length; the chunks end the body.
    const std::vector<std::string> codings = FieldValues(lower, "transfer-encoding");
    m_bChunked = false;
    if (!codings.empty()) {
        if (codings.size() != 1 || codings[0] != "chunked") {
            return kRequestFailed;  // a coding (gzip, ...) this downloader cannot undo
        }
        m_bChunked = true;
    } else {
        // Digits only, and every length the same: a body whose end is in doubt could be cut
        // short, or run into whatever follows it, and still be taken as complete.
        const std::vector<std::string> lengths = FieldValues(lower, "content-length");
        const bool agreed = !lengths.empty() &&
                            std::all_of(lengths.begin(), lengths.end(), [&](const std::string& v) {
                                return v == lengths[0] && AllDigits(v) && v.size() <= 10;
                            });
        const long long length = agreed ? std::strtoll(lengths[0].c_str(), nullptr, 10) : -1;
        // A length that no 32-bit count can reach would never end the body.
        if (length < 0 || length > 0x7FFFFFFFLL) {
            return kRequestFailed;
        }
        contentLength = static_cast<std::uint32_t>(length);
    }
    const std::vector<std::string> modified = FieldValues(lower, "last-modified");
    std::int64_t stamp = 0;
    if (!modified.empty() && ParseHttpDate(modified[0], stamp)) {
        lastModified = stamp;
    }
    return kRequestOk;
}

}  // namespace tavrin
