#include "net/http_download.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <thread>
#include <utility>

#include "net/http_parse.h"
#include "net/request_result.h"
#include "net/wait_limit.h"

namespace tavrin {

CHttpDownload::CHttpDownload(DownloadOptions options)
    : m_options(std::move(options)), m_connection(m_options, m_deadline) {}

CHttpDownload::~CHttpDownload() = default;

void CHttpDownload::Notify(int code) {
    if (m_options.progress) {
        m_options.progress({code, m_nTotal, m_nReceived, m_target.FileName()});
    }
}

bool CHttpDownload::TooLarge(std::uint64_t bytes) const {
    return m_options.maxBodyBytes != 0 && bytes > m_options.maxBodyBytes;
}

bool CHttpDownload::Stopping() const {
    return m_bStop != 0 || (m_options.cancel != nullptr && *m_options.cancel);
}

int CHttpDownload::Fail(std::string reason) {
    m_strReason = std::move(reason);
    return DL_FAILED;
}

bool CHttpDownload::RetryAllowed() {
    const RetryPolicy& retry = m_options.retry;
    if (retry.mode == 0 || m_deadline.Passed()) {
        return false;
    }
    if (retry.mode == 1) {
        if (m_nRetryCount >= retry.maxRetries) {
            return false;
        }
        ++m_nRetryCount;
    }
    if (retry.delayMs != 0) {
        // The pause ends early for the deadline and the stop, as every wait does.
        WaitInSlices(static_cast<int>(std::min<std::uint32_t>(retry.delayMs,
                                                              static_cast<std::uint32_t>(INT_MAX))),
                     [](int sliceMs) {
                         std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
                         return 0;
                     });
    }
    return !Stopping();
}

DownloadOutcome CHttpDownload::Download(const std::string& url, const std::string& localPath) {
    DownloadOutcome outcome;
    m_bStop = 0;
    m_deadline.Start(m_options.deadlineMs);
    {
        // Every wait of the download, however the bytes trickle in, keeps to its deadline and
        // ends soon after a stop: inside a header line, a chunk-size line or a TLS record too.
        const WaitLimit limit(m_deadline.At(), [this] { return Stopping(); });
        outcome.result = Fetch(url, localPath);
    }
    if (outcome.result == DL_FAILED && Stopping()) {
        outcome.result = DL_STOPPED;
    }
    // A connection left by a failure would hold its descriptor, and the server's slot,
    // until the next download.
    m_connection.Close();
    // A failed download leaves nothing behind: a resumed body lives only within one
    // download.
    if (outcome.result != DL_OK && !m_strTempPath.empty()) {
        std::remove(m_strTempPath.c_str());
    }
    ParseStatusLine(m_strHeader, outcome.status);
    outcome.url = m_target.url;
    outcome.received = m_nReceived;
    outcome.total = m_nTotal;
    outcome.validator = m_strValidator;
    outcome.lastModified = m_head.lastModified;
    outcome.tlsError = m_connection.TlsError();
    if (outcome.result == DL_STOPPED) {
        outcome.reason = "stopped";
    } else if (outcome.result == DL_NOT_FOUND) {
        outcome.reason = "HTTP 404";
    } else if (outcome.result != DL_OK) {
        outcome.reason = !m_strReason.empty()        ? m_strReason
                         : !outcome.tlsError.empty() ? "TLS: " + outcome.tlsError
                         : m_deadline.Passed()       ? "out of time"
                         : outcome.status != 0       ? "HTTP " + std::to_string(outcome.status)
                                                     : "no answer";
    }
    return outcome;
}

int CHttpDownload::Fetch(const std::string& url, const std::string& localPath) {
    m_connection.ForgetTlsError();
    m_target = {};
    m_head = {};
    m_strHeader.clear();
    m_strReason.clear();
    m_strTempPath.clear();
    m_nTotal = 0;
    m_nReceived = 0;
    m_nChunkReceived = 0;
    m_nRetryCount = 0;
    m_nRedirects = 0;
    m_nResumeFrom = 0;
    m_nFullLength = 0;
    m_strValidator.clear();
    m_bResuming = false;
    // A redirect sets the Referer for its own next request; every download starts with the
    // caller's, so an address never travels on to the next file's server.
    m_strReferer = m_options.referer;
    if (Stopping()) {
        return DL_STOPPED;
    }
    std::optional<HttpTarget> target = HttpTarget::Parse(url);
    if (!target) {
        return Fail("not an http or https address");
    }
    m_target = *target;
    m_authTarget = m_target;
    m_strLocalPath = TrimBlanks(localPath);
    if (m_strLocalPath.empty()) {
        return Fail("no file to download into");
    }
    m_strTempPath = m_strLocalPath + m_options.tempSuffix;
    bool firstPass = true;
    for (;;) {
        if (m_deadline.Passed()) {
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
        if (m_head.contentLength == 0 && !m_head.chunked) {
            return Fail("the answer has no body");
        }
        if (TooLarge(static_cast<std::uint64_t>(m_nTotal))) {
            return Fail("the body is larger than " + std::to_string(m_options.maxBodyBytes) +
                        " bytes");
        }
        const int body = ReceiveBody(firstPass);
        firstPass = false;
        if (body != kRequestRetry) {
            if (body != DL_OK) {
                return body;
            }
            if (PutDownloadInPlace(m_strTempPath, m_strLocalPath, m_options.mutexPrefix,
                                   m_head.lastModified)) {
                return DL_OK;
            }
            return Fail(WaitLimit::Reached() ? "another program held the lock on " + m_strLocalPath
                                             : "cannot replace " + m_strLocalPath);
        }
        // The connection broke inside the body: the request starts again from the first
        // byte, within the retry budget.
        if (Stopping()) {
            return DL_STOPPED;
        }
        if (!RetryAllowed()) {
            return Fail("the connection broke inside the body");
        }
    }
}

int CHttpDownload::SendRequest() {
    for (;;) {
        m_nReceived = 0;
        m_head = {};
        m_strHeader.clear();
        if (Stopping()) {
            return kRequestStoppedOrRedirect;
        }
        const int connected = m_connection.Open(m_target);
        if (connected != kRequestOk) {
            return connected;
        }
        if (Stopping()) {
            return kRequestStoppedOrRedirect;
        }
        // Credentials belong to the server they were given for, not to where it redirects.
        const RequestExtras extras{m_strReferer, m_target.SameServer(m_authTarget), m_nResumeFrom,
                                   m_strValidator};
        const std::string request = BuildRequest(m_target, m_options, extras);
        // A send that fails or times out is a failed attempt: the next one sends the whole
        // request again on a new connection, within the retry budget.
        if (m_connection.Send(request) < static_cast<long>(request.size())) {
            return kRequestRetry;
        }
        if (Stopping()) {
            return kRequestStoppedOrRedirect;
        }
        std::string header;
        const int read = ReadResponseHead(header);
        if (read != kRequestOk) {
            return read;
        }
        m_strHeader = header;
        ResponseHead head;
        const int parsed = ParseResponseHead(header, m_target, head);
        m_head = head;
        if (parsed == kRequestOk && SettleResume(head, header)) {
            return kRequestOk;
        }
        if (parsed == kRequestOk || (head.status == 416 && m_nResumeFrom > 0)) {
            // A range the server cannot give, or a part that does not continue ours: the
            // whole body again, at once.
            m_nResumeFrom = 0;
            continue;
        }
        if (parsed != kRequestStoppedOrRedirect) {
            return parsed;
        }
        if (++m_nRedirects > kMaxRedirects) {
            m_strReason = "more than " + std::to_string(kMaxRedirects) + " redirects";
            return kRequestFailed;
        }
        m_strReferer = m_target.url;
        m_target = *head.redirect;
    }
}

bool CHttpDownload::SettleResume(const ResponseHead& head, const std::string& header) {
    m_bResuming = false;
    if (m_nResumeFrom > 0 && head.status == 206) {
        std::uint64_t first = 0, last = 0, total = 0;
        const std::optional<std::string> range = HeaderField(header, "content-range");
        if (!range || !ParseContentRange(*range, first, last, total) || first != m_nResumeFrom ||
            total != m_nFullLength || last + 1 != total || head.contentLength != total - first) {
            return false;
        }
        // The rest of another file of the same length is no rest of ours: a server that
        // ignores If-Range says so by the validator it answers with.
        const bool byTag = m_strValidator.rfind('"', 0) == 0;
        const std::optional<std::string> answered =
            HeaderField(header, byTag ? "etag" : "last-modified");
        if (answered && *answered != m_strValidator) {
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
    m_nTotal = static_cast<std::int64_t>(head.contentLength);
    m_nFullLength = head.chunked ? 0 : head.contentLength;
    const std::optional<std::string> etag = HeaderField(header, "etag");
    const std::optional<std::string> modified = HeaderField(header, "last-modified");
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
            if (m_deadline.Passed()) {
                return kRequestFailed;
            }
            char line[kReaderLineSize + 1] = {};
            int status = 0;
            if (ReaderReadLine(m_connection.Reader(), line, status,
                               Wait(m_options.recvTimeoutMs)) != 0) {
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
                m_strReason = "the answer's head is too large";
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

}  // namespace tavrin
