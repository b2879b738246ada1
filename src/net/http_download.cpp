#include "net/http_download.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "net/http_parse.h"
#include "net/proxy_handshake.h"
#include "net/tls_channel.h"
#include "platform/codepage.h"
#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

constexpr int kChunkSize = kReaderSize;
constexpr std::size_t kWriteBufferSize = 128 * 1024;

bool HoldsExactly(const std::string& path, std::uint64_t size) {
    platform::RandomAccessFile file;
    return file.Open(path) && file.Size() == size;
}

}  // namespace

std::string TargetMutexPrefix(const std::string& localPath) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(localPath, error);
    folder = error ? std::filesystem::path(localPath) : folder;
    // FNV-1a of the folder's path: a mutex name may hold no separators, and a path can be
    // longer than a name may be.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : folder.parent_path().string()) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("_MUTEX_") + text;
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

int CHttpDownload::Wait(int timeoutMs) const {
    if (m_nDeadlineMs <= 0) {
        return timeoutMs;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          m_deadline - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<long long>(left, 0, timeoutMs));
}

bool CHttpDownload::TooLarge(std::uint64_t bytes) const {
    return m_nMaxBodyBytes != 0 && bytes > m_nMaxBodyBytes;
}

bool CHttpDownload::Stopping() const {
    return m_bStop != 0 || (m_pCancel != nullptr && *m_pCancel);
}

bool CHttpDownload::Expired() const {
    return m_nDeadlineMs > 0 && std::chrono::steady_clock::now() >= m_deadline;
}

bool CHttpDownload::RetryAllowed() {
    if (m_nRetryMode == 0 || Expired()) {
        return false;
    }
    if (m_nRetryMode == 1) {
        if (m_nRetryCount >= m_nMaxRetries) {
            return false;
        }
        ++m_nRetryCount;
    }
    if (m_nRetryDelay != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Wait(static_cast<int>(
            std::min<std::uint32_t>(m_nRetryDelay, static_cast<std::uint32_t>(INT_MAX))))));
    }
    return true;
}

int CHttpDownload::Download(const std::string& url, const std::string& localPath) {
    // A redirect sets the Referer for its own next request; the next download starts with
    // the caller's again, so an address never travels on to the next file's server.
    const std::string referer = m_strReferer;
    const int result = Fetch(url, localPath);
    m_strReferer = referer;
    // A connection left by a failure would hold its descriptor, and the server's slot,
    // until the next download.
    CloseConnection();
    // A failed download leaves nothing behind: a resumed body lives only within one
    // download.
    if (result != DL_OK && !m_strTempPath.empty()) {
        std::remove(m_strTempPath.c_str());
    }
    return result;
}

int CHttpDownload::Fetch(const std::string& url, const std::string& localPath) {
    m_bStop = 0;
    if (Stopping()) {
        return DL_STOPPED;
    }
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nDeadlineMs);
    m_nRetryCount = 0;
    m_nRedirects = 0;
    m_strUrl = TrimBlanks(url);
    if (m_strUrl.empty()) {
        return DL_FAILED;
    }
    if (!ParseUrl(m_strUrl, m_strHost, m_strObject, m_nPort)) {
        // An address without a scheme is taken as http; one of another scheme is refused,
        // never read as a host name ("ftp://h/f" is no host "ftp").
        if (HasOtherScheme(m_strUrl)) {
            return DL_FAILED;
        }
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
    m_strLocalPath = TrimBlanks(localPath);
    if (m_strLocalPath.empty()) {
        return DL_FAILED;
    }
    m_strTempPath = m_strLocalPath + m_strTempSuffix;
    m_nTotal = 0;
    m_nReceived = 0;
    m_nContentLength = 0;
    m_nChunkReceived = 0;
    m_nResumeFrom = 0;
    m_nFullLength = 0;
    m_strValidator.clear();
    m_bResuming = false;
    bool firstPass = true;
    for (;;) {
        if (Expired()) {
            return DL_FAILED;
        }
        const int request = SendRequest();
        if (request == kRequestRetry) {
            if (Stopping()) {
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
        if ((m_nContentLength == 0 && !m_bChunked) || TooLarge(m_nTotal)) {
            return DL_FAILED;
        }
        const int body = ReceiveBody(firstPass);
        firstPass = false;
        if (body != kRequestRetry) {
            return body == DL_OK ? Complete() : body;
        }
        // The connection broke inside the body: the request starts again from the first
        // byte, within the retry budget.
        if (Stopping()) {
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
        m_written += written ? m_used : 0;
        m_used = 0;
        return written;
    }
    // Bytes that reached the file.
    std::size_t Written() const { return m_written; }

private:
    std::FILE* m_file;
    std::size_t m_written = 0;
    std::vector<char> m_pending;
    std::size_t m_used = 0;
};

int CHttpDownload::ReceiveBody(bool firstPass) {
    const std::size_t sep = platform::FindLastMbChar(m_strTempPath, platform::PathSeparator());
    if (sep != std::string::npos) {
        platform::CreateDirTree(m_strTempPath.substr(0, sep));
    }
    // A continued body goes behind the bytes kept from the attempt before, if they are all
    // still there (measured in 64 bits: a kept part may pass 2 GiB).
    const std::uint64_t kept = m_bResuming ? m_nResumeFrom : 0;
    if (m_bResuming && !HoldsExactly(m_strTempPath, kept)) {
        m_nResumeFrom = 0;
        return kRequestRetry;
    }
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(
        std::fopen(m_strTempPath.c_str(), m_bResuming ? "ab" : "wb"), &std::fclose);
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
    if (received == kRequestRetry) {
        // The connection broke inside the body: what arrived is kept for the next attempt
        // to ask only for the rest, when the body has a length and a validator.
        const bool flushed = writer.Flush() && std::fclose(file.release()) == 0;
        const bool resumable = flushed && !m_bChunked && m_nFullLength > 0 &&
                               !m_strValidator.empty() && writer.Written() > 0;
        m_nResumeFrom = resumable ? kept + writer.Written() : 0;
    }
    if (received != DL_OK) {
        return received;
    }
    if (!writer.Flush() || std::fclose(file.release()) != 0) {
        return kRequestRetry;
    }
    CloseConnection();
    return DL_OK;
}

int CHttpDownload::ReceiveLength(BodyWriter& writer, std::uint64_t length) {
    std::uint64_t done = 0;
    while (done < length) {
        if (Stopping()) {
            return DL_STOPPED;
        }
        if (Expired()) {
            return DL_FAILED;
        }
        // Never past the body's end: what a server sends after it is not part of the file.
        const int n =
            ReaderReadUpTo(m_pReader, Wait(m_nRecvTimeout), writer.Tail(),
                           static_cast<int>(std::min<std::uint64_t>(length - done, kChunkSize)));
        if (n <= 0 || !writer.Add(n)) {
            return kRequestRetry;
        }
        done += static_cast<std::uint64_t>(n);
        m_nChunkReceived += static_cast<std::uint64_t>(n);
        m_nReceived += n;
        Notify(3);
    }
    return DL_OK;
}

int CHttpDownload::ReceiveChunks(BodyWriter& writer) {
    for (;;) {
        if (Expired()) {
            return DL_FAILED;
        }
        char line[kReaderLineSize + 1] = {};
        int status = 0;
        if (ReaderReadLine(m_pReader, line, status, Wait(m_nRecvTimeout)) != 0) {
            return kRequestRetry;
        }
        std::uint64_t size = 0;
        // A size line that does not end within the line buffer is no size line either.
        if (status != 0 || !ParseChunkSizeLine(line, size) ||
            size > kMaxBodyLength - m_nChunkReceived || TooLarge(m_nChunkReceived + size)) {
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
        if (ReaderReadLine(m_pReader, line, status, Wait(m_nRecvTimeout)) != 0) {
            return kRequestRetry;
        }
        if (status != 0 || line[0] != '\0') {
            return DL_FAILED;
        }
    }
    // Trailer fields, up to the empty line, carry nothing this downloader uses.
    std::size_t trailer = 0;
    for (;;) {
        if (Expired()) {
            return DL_FAILED;
        }
        char line[kReaderLineSize + 1] = {};
        int status = 0;
        if (ReaderReadLine(m_pReader, line, status, Wait(m_nRecvTimeout)) != 0) {
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
    int result = DL_OK;
    if (existed && platform::IsExistingFile(m_strLocalPath)) {
        // Another process has just put the same file in place; ours is not needed.
        std::remove(m_strTempPath.c_str());
    } else if (platform::IsExistingFile(m_strTempPath) &&
               platform::PutFileInPlace(m_strTempPath, m_strLocalPath)) {
        platform::SetModificationTime(m_strLocalPath, m_lastModified);
    } else {
        // A folder or a locked file where the target belongs: the old target stays as it
        // was, and the caller removes our copy.
        result = DL_FAILED;
    }
    mutex.Unlock();
    return result;
}

bool CHttpDownload::Secure() const {
    return IsSecureUrl(m_strUrl);
}

long CHttpDownload::SendToServer(const char* data, long length) {
    return m_tls ? m_tls->SendAll(data, length, Wait(m_nSendTimeout))
                 : SendAll(m_socket, data, length, Wait(m_nSendTimeout));
}

int CHttpDownload::StartTls() {
    if (m_nProxyType == kProxyHttp) {
        const int tunnel = OpenHttpTunnel(Link(), Proxy(), m_strHost, m_nPort, m_strUserAgent);
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
    const TlsHandshake shaken = m_tls->Handshake(m_strHost, Wait(m_nRecvTimeout));
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

ProxyLink CHttpDownload::Link() const {
    return {m_socket, m_pReader, Wait(m_nConnectTimeout), Wait(m_nSendTimeout),
            Wait(m_nRecvTimeout)};
}

ProxyServer CHttpDownload::Proxy() const {
    return {m_strProxyHost, m_nProxyPort, m_bProxyAuth != 0, m_strProxyUser, m_strProxyPassword};
}

int CHttpDownload::ConnectThroughProxy() {
    switch (m_nProxyType) {
        case kProxyNone:
            return ConnectToHost(m_socket, m_strHost, m_nPort, Wait(m_nConnectTimeout), true) == 0
                       ? kRequestOk
                       : kRequestRetry;
        case kProxyHttp:
            return ConnectToHost(m_socket, m_strProxyHost, m_nProxyPort, Wait(m_nConnectTimeout),
                                 true) == 0
                       ? kRequestOk
                       : kRequestRetry;
        case kProxySocks4:
            return Socks4Handshake(Link(), Proxy(), m_strHost, m_nPort, false);
        case kProxySocks4a:
            return Socks4Handshake(Link(), Proxy(), m_strHost, m_nPort, true);
        case kProxySocks5:
            return Socks5Handshake(Link(), Proxy(), m_strHost, m_nPort);
        default:
            return kRequestFailed;
    }
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
    request += "Host: " + HostAndPort(m_strHost, m_nPort, Secure()) + "\r\n";
    request += "Accept: */*\r\n";
    request += "Pragma: no-cache\r\n";
    request += "Cache-Control: no-cache\r\n";
    request += "User-Agent: " + m_strUserAgent + "\r\n";
    if (!m_strReferer.empty()) {
        request += "Referer: " + m_strReferer + "\r\n";
    }
    // The rest of a body whose first part arrived, if it is still the same body.
    if (m_nResumeFrom > 0) {
        request += "Range: bytes=" + std::to_string(m_nResumeFrom) + "-\r\n";
        request += "If-Range: " + m_strValidator + "\r\n";
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
        if (Stopping()) {
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
        if (Stopping()) {
            return kRequestStoppedOrRedirect;
        }
        const std::string request = BuildRequest();
        const long length = static_cast<long>(request.size());
        // A send that fails or times out is a failed attempt: the next one sends the whole
        // request again on a new connection, within the retry budget.
        if (SendToServer(request.data(), length) < length) {
            return kRequestRetry;
        }
        if (Stopping()) {
            return kRequestStoppedOrRedirect;
        }
        std::string header;
        const int head = ReadResponseHead(header);
        if (head != kRequestOk) {
            return head;
        }
        m_strHeader = header;
        m_nHeaderLength = static_cast<int>(header.size());
        std::uint64_t contentLength = 0;
        int statusCode = 0;
        const int parsed =
            ParseResponseHeader(m_strHeader, contentLength, statusCode, m_lastModified);
        if (parsed == kRequestOk && SettleResume(statusCode, contentLength)) {
            m_nContentLength = contentLength;
            return kRequestOk;
        }
        if (parsed == kRequestOk || (statusCode == 416 && m_nResumeFrom > 0)) {
            // A range the server cannot give, or a part that does not continue ours: the
            // whole body again, at once.
            m_nResumeFrom = 0;
            continue;
        }
        if (parsed != kRequestStoppedOrRedirect) {
            return parsed;
        }
        if (++m_nRedirects > kMaxRedirects) {
            return kRequestFailed;
        }
    }
}

bool CHttpDownload::SettleResume(int statusCode, std::uint64_t contentLength) {
    m_bResuming = false;
    if (m_nResumeFrom > 0 && statusCode == 206) {
        std::uint64_t first = 0, last = 0, total = 0;
        const std::optional<std::string> range = HeaderField(m_strHeader, "content-range");
        if (!range || !ParseContentRange(*range, first, last, total) || first != m_nResumeFrom ||
            total != m_nFullLength || last + 1 != total || contentLength != total - first) {
            return false;
        }
        m_bResuming = true;
        m_nTotal = static_cast<std::int64_t>(total);
        m_nReceived = static_cast<std::int64_t>(first);
        return true;
    }
    // A whole body: what was kept goes, and this answer's validator is the one to ask for
    // the rest by (a strong ETag, else the date).
    m_nResumeFrom = 0;
    m_nTotal = static_cast<std::int64_t>(contentLength);
    m_nFullLength = m_bChunked ? 0 : contentLength;
    const std::optional<std::string> etag = HeaderField(m_strHeader, "etag");
    const std::optional<std::string> modified = HeaderField(m_strHeader, "last-modified");
    m_strValidator =
        etag && !etag->empty() && etag->rfind("W/", 0) != 0 ? *etag : modified.value_or("");
    return true;
}

int CHttpDownload::ReadResponseHead(std::string& header) {
    // Interim answers (100 Continue, 103 Early Hints) come before the real one: skipped,
    // within the same bound on what a head may hold.
    std::size_t interim = 0;
    for (;;) {
        header.clear();
        bool continuing = false;
        for (;;) {
            if (Stopping()) {
                return kRequestStoppedOrRedirect;
            }
            if (Expired()) {
                return kRequestFailed;
            }
            char line[kReaderLineSize + 1] = {};
            int status = 0;
            if (ReaderReadLine(m_pReader, line, status, Wait(m_nRecvTimeout)) != 0) {
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
            if (interim + header.size() > kMaxHeaderBytes) {
                return kRequestFailed;
            }
        }
        int code = 0;
        if (!ParseStatusLine(header, code) || code < 100 || code >= 200) {
            return kRequestOk;
        }
        interim += header.size();
    }
}

int CHttpDownload::ParseResponseHeader(const std::string& header, std::uint64_t& contentLength,
                                       int& status, std::int64_t& lastModified) {
    contentLength = 0;
    status = 0;
    lastModified = static_cast<std::int64_t>(std::time(nullptr));
    if (!ParseStatusLine(header, status)) {
        return kRequestFailed;
    }
    if (status >= 300 && status < 400) {
        const std::optional<std::string> location = HeaderField(header, "location");
        if (!location) {
            return kRequestFailed;
        }
        m_strReferer = m_strUrl;
        const std::optional<std::string> target = ResolveRedirect(m_strUrl, *location);
        std::string host, object;
        std::uint16_t port = 0;
        if (!target || !ParseUrl(*target, host, object, port)) {
            return kRequestFailed;
        }
        m_strUrl = *target;
        m_strHost = host;
        m_strObject = object;
        m_nPort = port;
        return kRequestStoppedOrRedirect;
    }
    if (static_cast<unsigned>(status) >= 500) {
        return kRequestRetry;
    }
    if (status >= 400) {
        return status == 404 ? kRequestNotFound : kRequestFailed;
    }
    m_bChunked = false;
    if (!ParseBodyFraming(header, m_bChunked, contentLength)) {
        return kRequestFailed;
    }
    const std::optional<std::string> modified = HeaderField(header, "last-modified");
    std::int64_t stamp = 0;
    if (modified && ParseHttpDate(*modified, stamp)) {
        lastModified = stamp;
    }
    return kRequestOk;
}

}  // namespace tavrin
