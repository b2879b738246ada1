// CHttpDownload: fetches one resource over HTTP/1.1 into a file, speaking HTTP itself over the
// socket transport. It follows redirects, retries by the caller's policy, writes the body into
// a temporary file beside the target (continuing a broken body where the server allows) and,
// once the body is complete, puts it in place under a system-wide mutex, stamped with the
// server's Last-Modified time. It can go through an HTTP proxy or a SOCKS 4, 4a or 5 proxy.
//
// The options go in once; each Download gives its outcome. The pieces: the connection
// (http_connection), the request and the answer's head (http_request), the body
// (http_body.cpp), the placement (http_placement).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "net/download_options.h"
#include "net/http_connection.h"
#include "net/http_placement.h"
#include "net/http_request.h"

namespace tavrin {

class CHttpDownload {
public:
    explicit CHttpDownload(DownloadOptions options = {});
    ~CHttpDownload();
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // Fetches `url` into `localPath`. A failed download leaves nothing behind but the target
    // as it was.
    DownloadOutcome Download(const std::string& url, const std::string& localPath);
    // From another thread: the running download stops at its next step (the next download
    // starts afresh; DownloadOptions::cancel stops those too).
    void Stop() { m_bStop = 1; }

    DownloadOptions& Options() { return m_options; }
    const DownloadOptions& Options() const { return m_options; }

    // Redirects one download may follow before it fails: a loop of redirects would
    // otherwise hold the caller forever.
    static constexpr int kMaxRedirects = 20;

private:
    class BodyWriter;

    int Fetch(const std::string& url, const std::string& localPath);
    // One request: connect, send, read the head, follow redirects.
    int SendRequest();
    // The response head into `header`, after any interim (1xx) heads.
    int ReadResponseHead(std::string& header);
    // Whether this answer's body can be taken (a partial one must continue the kept bytes),
    // and what it continues.
    bool SettleResume(const ResponseHead& head, const std::string& header);
    // The body into the temporary file: DL_OK, DL_STOPPED, DL_FAILED, or kRequestRetry when
    // the connection broke inside it.
    int ReceiveBody(bool firstPass);
    // `length` bytes of the body; results as ReceiveBody.
    int ReceiveLength(BodyWriter& writer, std::uint64_t length);
    // A chunked body up to its last chunk and trailer; a malformed size is DL_FAILED.
    int ReceiveChunks(BodyWriter& writer);
    void Notify(int code);
    bool RetryAllowed();
    int Wait(int timeoutMs) const { return m_deadline.Cut(timeoutMs); }
    bool Stopping() const;
    bool TooLarge(std::uint64_t bytes) const;
    // DL_FAILED, with the reason the outcome gives.
    int Fail(std::string reason);

    DownloadOptions m_options;
    Deadline m_deadline;
    HttpConnection m_connection;
    std::atomic<int> m_bStop{0};

    // The download under way.
    HttpTarget m_target;
    HttpTarget m_authTarget;  // where the server credentials belong
    std::string m_strReferer;
    std::string m_strLocalPath;
    std::string m_strTempPath;
    std::string m_strHeader;
    ResponseHead m_head;
    std::int64_t m_nTotal = 0;
    std::int64_t m_nReceived = 0;
    std::uint64_t m_nChunkReceived = 0;
    std::uint32_t m_nRetryCount = 0;
    int m_nRedirects = 0;
    std::string m_strReason;
    // Resuming after a broken body: the bytes kept in the temporary file, the whole body's
    // length and the validator of the answer they came from; whether this attempt's answer
    // continues them.
    std::uint64_t m_nResumeFrom = 0;
    std::uint64_t m_nFullLength = 0;
    std::string m_strValidator;
    bool m_bResuming = false;
};

}  // namespace tavrin
