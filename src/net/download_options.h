// What a caller of CHttpDownload sets (DownloadOptions), what it hears while the body arrives
// (DownloadProgress) and what a download came to (DownloadOutcome).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "net/proxy_handshake.h"

namespace tavrin {

enum DownloadResult : int { DL_OK = 0, DL_STOPPED = 2, DL_FAILED = 3, DL_NOT_FOUND = 4 };

enum ProxyType : int {
    kProxyNone = 0,
    kProxyHttp = 1,
    kProxySocks4 = 3,
    kProxySocks4a = 4,
    kProxySocks5 = 5
};

struct ProxySettings {
    int type = kProxyNone;
    ProxyServer server;
};

// What happens after an attempt that may pass another time (no connection, a broken body, a
// 5xx answer).
struct RetryPolicy {
    // 0 no retry; 1 up to `maxRetries`; 2 until the download's deadline.
    int mode = 0;
    std::uint32_t maxRetries = 0;
    std::uint32_t delayMs = 0;  // the pause before each retry
};

struct DownloadProgress {
    int code = 0;               // 1 started, 2 size known, 3 bytes written
    std::int64_t total = 0;     // the body's size, 0 while unknown
    std::int64_t received = 0;  // bytes of it so far
    std::string name;           // the file name of the address
};

struct DownloadOptions {
    std::string userAgent = "HttpDownload/2.0";
    // Sent with the first request; a redirect sends the address it came from instead.
    std::string referer;
    int connectTimeoutMs = 10000;
    int recvTimeoutMs = 10000;
    int sendTimeoutMs = 10000;
    // The whole download, retries and their pauses included, ends within this many
    // milliseconds (a failure when it cannot); 0 for no limit beyond each wait's own.
    int deadlineMs = 0;
    // A body larger than this many bytes fails before it is written (0: no limit of its
    // own), for documents that are small by nature.
    std::uint64_t maxBodyBytes = 0;
    RetryPolicy retry;
    // Basic credentials for the server the download starts at; never sent anywhere a
    // redirect leads.
    bool serverAuth = false;
    std::string user;
    std::string password;
    ProxySettings proxy;
    // A PEM file of the CAs https servers must chain to, in place of the system's roots.
    std::string caFile;
    // The body grows in <target><tempSuffix> beside the target.
    std::string tempSuffix = ".down";
    // Names the system-wide lock under which a finished body replaces the target.
    std::string mutexPrefix;
    // Told as the body arrives; none by default.
    std::function<void(const DownloadProgress&)> progress;
    // The owner's stop, raised from another thread: it also stops downloads that have not
    // started yet.
    const std::atomic<bool>* cancel = nullptr;
};

struct DownloadOutcome {
    int result = DL_FAILED;  // a DownloadResult
    // The last answer's status; 0 when no answer arrived.
    int status = 0;
    // Where the body came from, after any redirects.
    std::string url;
    // Bytes of the body that arrived, and its whole size when known (64-bit: packages and the
    // tool's files may pass 2 GiB).
    std::int64_t received = 0;
    std::int64_t total = 0;
    // What would ask the server for the same body again: its strong ETag, else its date.
    std::string validator;
    // The body's Last-Modified time (seconds since 1970), else the time it was read.
    std::int64_t lastModified = 0;
    // Why it failed, for the log and the player's message; empty after success.
    std::string reason;
    // Why the last TLS handshake failed; empty when none did.
    std::string tlsError;
    explicit operator bool() const { return result == DL_OK; }
};

}  // namespace tavrin
