// CHttpDownload: fetches one resource over HTTP/1.1 into a file, speaking HTTP itself over the
// socket transport. It follows redirects, retries by a configurable policy, writes the body
// into a temporary file beside the target and, once the body is complete, puts it in place
// under a system-wide mutex and stamps it with the server's Last-Modified time. It can go
// through an HTTP proxy or a SOCKS 4, 4a or 5 proxy.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "net/proxy_handshake.h"
#include "net/request_result.h"
#include "net/socket_transport.h"

namespace tavrin {

class TlsChannel;
class TlsClientContext;

enum DownloadResult : int { DL_OK = 0, DL_STOPPED = 2, DL_FAILED = 3, DL_NOT_FOUND = 4 };

enum ProxyType : int {
    kProxyNone = 0,
    kProxyHttp = 1,
    kProxySocks4 = 3,
    kProxySocks4a = 4,
    kProxySocks5 = 5
};

struct DownloadProgress {
    int code = 0;               // 1 started, 2 size known, 3 bytes written
    std::int64_t total = 0;     // m_nTotal
    std::int64_t received = 0;  // m_nReceived
    std::string name;           // m_strFileName
};

// A completion mutex prefix of the target's own folder, for callers that have no data
// directory to name it by (the tool): targets of one file name in different folders never
// share a mutex, so finishing one never passes for finishing the other.
std::string TargetMutexPrefix(const std::string& localPath);

class CHttpDownload {
public:
    CHttpDownload();
    virtual ~CHttpDownload();
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    int Download(const std::string& url, const std::string& localPath);
    void SetTempSuffixNumber(int n);
    void SetMutexPrefix(const std::string& prefix) { m_strMutexPrefix = prefix; }

    // The request text SendRequest sends for the current address and settings.
    std::string BuildRequest() const;
    // Interprets a response header; updates the address on a redirect.
    int ParseResponseHeader(const std::string& header, std::uint64_t& contentLength, int& status,
                            std::int64_t& lastModified);

    // Redirects one download may follow before it fails: a loop of redirects would
    // otherwise hold the caller forever.
    static constexpr int kMaxRedirects = 20;

    std::string m_strUrl;
    std::string m_strLocalPath;
    std::string m_strTempPath;
    // Set from another thread to stop the download between steps.
    std::atomic<int> m_bStop{0};
    // The owner's own stop, raised from another thread: unlike m_bStop, which every download
    // clears as it starts, it also stops downloads that have not started yet.
    const std::atomic<bool>* m_pCancel = nullptr;
    // Byte counts are 64-bit: packages and the tool's files may pass 2 GiB.
    std::int64_t m_nTotal = 0;
    std::int64_t m_nReceived = 0;
    std::uint64_t m_nContentLength = 0;
    std::uint64_t m_nChunkReceived = 0;
    // The body comes in chunks (Transfer-Encoding: chunked) rather than with a length.
    bool m_bChunked = false;
    int m_nHeaderLength = 0;
    std::string m_strHeader;
    std::int64_t m_lastModified = 0;
    std::string m_strReferer;
    std::string m_strUserAgent = "HttpDownload/2.0";
    int m_nConnectTimeout = 10000;
    int m_nRecvTimeout = 10000;
    int m_nSendTimeout = 10000;
    // The whole download, retries and their pauses included, ends within this many
    // milliseconds (a failure when it cannot); 0 for no limit beyond each wait's own.
    int m_nDeadlineMs = 0;
    // A body larger than this many bytes fails before it is written (0: no limit of its
    // own), for documents that are small by nature.
    std::uint64_t m_nMaxBodyBytes = 0;
    int m_nRetryMode = 0;
    std::uint32_t m_nRetryCount = 0;
    std::uint32_t m_nRetryDelay = 0;
    std::uint32_t m_nMaxRetries = 0;
    int m_bNotify = 0;
    // Receives the progress records (in place of a window message).
    std::function<void(const DownloadProgress&)> m_notify;
    int m_bServerAuth = 0;
    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strProxyHost;
    std::uint16_t m_nProxyPort = 0;
    int m_nProxyType = kProxyNone;
    int m_bProxyAuth = 0;
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    std::string m_strHost;
    std::string m_strObject;
    std::string m_strFileName;
    std::uint16_t m_nPort = 80;
    SocketHandle m_socket = kInvalidSocket;
    SocketReader* m_pReader = nullptr;
    std::string m_strTempSuffix = ".down";
    // A PEM file of the CAs https servers must chain to, in place of the system's roots.
    std::string m_strCaFile;
    // Why the last TLS handshake failed.
    std::string m_strTlsError;
    std::string m_strMutexPrefix;

    bool OpenConnection();
    void CloseConnection();

private:
    int Fetch(const std::string& url, const std::string& localPath);
    int SendRequest();
    // Whether this answer's body can be taken (a partial one must continue the kept bytes),
    // and what it continues.
    bool SettleResume(int statusCode, std::uint64_t contentLength);
    // The response head into `header`, after any interim (1xx) heads.
    int ReadResponseHead(std::string& header);
    int ConnectThroughProxy();
    ProxyLink Link() const;
    ProxyServer Proxy() const;
    // The request to the server: through TLS for https.
    long SendToServer(const char* data, long length);
    // TLS over the connection (through an HTTP proxy's CONNECT tunnel when there is one).
    int StartTls();
    // The current address is https.
    bool Secure() const;
    // The body into the temporary file: DL_OK, DL_STOPPED, DL_FAILED, or kRequestRetry when
    // the connection broke inside it.
    int ReceiveBody(bool firstPass);
    class BodyWriter;
    // `length` bytes of the body; results as ReceiveBody.
    int ReceiveLength(BodyWriter& writer, std::uint64_t length);
    // A chunked body up to its last chunk and trailer; a malformed size is DL_FAILED.
    int ReceiveChunks(BodyWriter& writer);
    int Complete();
    void Notify(int code);
    bool RetryAllowed();
    // A wait's time-out, cut to what is left before the deadline.
    int Wait(int timeoutMs) const;
    bool Expired() const;
    bool Stopping() const;
    bool TooLarge(std::uint64_t bytes) const;

    // Where the server credentials belong: they never follow a redirect elsewhere.
    std::string m_strAuthHost;
    std::uint16_t m_nAuthPort = 0;
    bool m_bAuthSecure = false;
    std::unique_ptr<TlsClientContext> m_tlsContext;
    std::unique_ptr<TlsChannel> m_tls;
    int m_nRedirects = 0;
    // Resuming after a broken body: the bytes kept in the temporary file, the whole body's
    // length and the validator of the answer they came from; whether this attempt's answer
    // continues them.
    std::uint64_t m_nResumeFrom = 0;
    std::uint64_t m_nFullLength = 0;
    std::string m_strValidator;
    bool m_bResuming = false;
    std::chrono::steady_clock::time_point m_deadline;
};

}  // namespace tavrin
