#include <windows.h>

#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/url_fetch.h"

namespace tavrin::platform {

namespace {

// What the transfer thread hands back. Shared, because a transfer that overruns its time
// is left to finish on its own while the caller has already moved on.
struct Transfer {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    const char* failure = nullptr;
    DWORD systemError = 0;
    std::string data;
};

constexpr int kMaxRedirects = 20;

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The absolute address a redirect answer points to in `next`; empty when the answer is no
// redirect. False for a redirect that names no usable address: its page is not the document.
bool RedirectTarget(HINTERNET request, const std::string& base, std::string& next) {
    next.clear();
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr) ||
        !IsRedirect(status)) {
        return true;
    }
    char location[4096];
    size = sizeof location;
    if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location, &size, nullptr) || size == 0) {
        return false;
    }
    char combined[4096];
    DWORD combinedSize = sizeof combined;
    if (!InternetCombineUrlA(base.c_str(), location, combined, &combinedSize, ICU_NO_ENCODE)) {
        return false;
    }
    next.assign(combined, combinedSize);
    return true;
}

// The scheme, host and path of an address as WinInet reads it.
bool CrackAddress(const std::string& url, RequestTarget& target) {
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::string path(url.size() + 1, '\0');
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        return false;
    }
    target.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target.host.assign(host, parts.dwHostNameLength);
    if (target.host.size() > 1 && target.host.front() == '[' && target.host.back() == ']') {
        target.host = target.host.substr(1, target.host.size() - 2);  // an IPv6 address
    }
    path.resize(parts.dwUrlPathLength);
    target.path = path.substr(0, path.find_first_of("?#"));
    return true;
}

// Opens the address, following redirects itself so that every request carries the
// browser's cookies for its own address and nothing from the system's cookie store.
HINTERNET OpenFollowingRedirects(HINTERNET session, std::string url,
                                 const std::vector<BrowserCookie>& cookies, const char*& failure) {
    // Nothing in or from the system's cache: the answers carry the player's session.
    const DWORD flags = INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_NO_AUTO_REDIRECT |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!IsWebAddress(url)) {
            failure = "a redirect left http and https";
            return nullptr;
        }
        // The cookies go where WinInet sends the request: its own reading of the address.
        RequestTarget target;
        if (!CrackAddress(url, target)) {
            failure = "the address could not be read";
            return nullptr;
        }
        const std::string cookie = CookieHeaderFor(target, cookies, std::time(nullptr));
        const std::string headers = cookie.empty() ? std::string() : "Cookie: " + cookie + "\r\n";
        HINTERNET request =
            InternetOpenUrlA(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                             static_cast<DWORD>(headers.size()), flags, 0);
        if (request == nullptr) {
            failure = "the address could not be opened";
            return nullptr;
        }
        std::string next;
        if (!RedirectTarget(request, url, next)) {
            InternetCloseHandle(request);
            failure = "a redirect named no usable address";
            return nullptr;
        }
        if (next.empty()) {
            return request;
        }
        InternetCloseHandle(request);
        url = next;
    }
    failure = "too many redirects";
    return nullptr;
}

// One whole WinInet fetch; returns why it failed, or nullptr.
const char* Fetch(const std::string& url, const std::string& userAgent, const FetchLimits& limits,
                  const std::vector<BrowserCookie>& cookies, std::string& data) {
    HINTERNET session =
        InternetOpenA(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session == nullptr) {
        return "the internet client could not be opened";
    }
    DWORD connectMs = static_cast<DWORD>(limits.connectTimeoutMs);
    DWORD transferMs = static_cast<DWORD>(limits.totalTimeoutMs);
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &transferMs, sizeof transferMs);
    InternetSetOptionA(session, INTERNET_OPTION_SEND_TIMEOUT, &transferMs, sizeof transferMs);

    const char* failure = nullptr;
    HINTERNET request = OpenFollowingRedirects(session, url, cookies, failure);
    char chunk[4096];
    while (failure == nullptr) {
        DWORD got = 0;
        if (!InternetReadFile(request, chunk, sizeof chunk, &got)) {
            failure = "the document could not be read";
        } else if (got == 0) {
            break;
        } else if (data.size() + got > limits.maxBodyBytes) {
            failure = "the document is too large";
        } else {
            data.append(chunk, got);
        }
    }
    if (request != nullptr) {
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return failure;
}

}  // namespace

bool FetchUrlBody(const std::string& url, const std::string& userAgent, std::string& body,
                  const FetchLimits& limits, std::string* error,
                  const std::vector<BrowserCookie>& cookies) {
    if (!IsWebAddress(url)) {
        if (error != nullptr) {
            *error = "only http and https addresses are fetched";
        }
        return false;
    }
    // WinInet's time-outs do not cover every wait: a server that accepts and then stays
    // silent can hold InternetOpenUrlA far longer. The fetch runs on its own thread and the
    // caller stops waiting at the deadline; a late thread ends when its connection does.
    auto transfer = std::make_shared<Transfer>();
    std::thread([transfer, url, userAgent, limits, cookies] {
        std::string data;
        const char* failure = Fetch(url, userAgent, limits, cookies, data);
        const DWORD systemError = GetLastError();
        std::lock_guard<std::mutex> lock(transfer->mutex);
        transfer->failure = failure;
        transfer->systemError = systemError;
        transfer->data = std::move(data);
        transfer->finished = true;
        transfer->done.notify_all();
    }).detach();

    std::unique_lock<std::mutex> lock(transfer->mutex);
    const auto limit = std::chrono::milliseconds(limits.totalTimeoutMs);
    if (!transfer->done.wait_for(lock, limit, [&] { return transfer->finished; })) {
        if (error != nullptr) {
            *error = "no complete answer in time";
        }
        return false;
    }
    if (transfer->failure != nullptr) {
        if (error != nullptr) {
            *error = std::string(transfer->failure) + " (error " +
                     std::to_string(transfer->systemError) + ")";
        }
        return false;
    }
    body = std::move(transfer->data);
    return true;
}

}  // namespace tavrin::platform
