#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
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

bool IsWebAddress(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0 ||
           url.rfind("HTTP://", 0) == 0 || url.rfind("HTTPS://", 0) == 0;
}

// One whole WinInet fetch; returns why it failed, or nullptr.
const char* Fetch(const std::string& url, const std::string& userAgent, const FetchLimits& limits,
                  std::string& data) {
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
    HINTERNET request =
        InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_ASCII, 0);
    if (request == nullptr) {
        failure = "the address could not be opened";
    }
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
                  const FetchLimits& limits, std::string* error) {
    if (!IsWebAddress(url)) {
        if (error != nullptr) {
            *error = "not an http or https address";
        }
        return false;
    }
    // WinInet's time-outs do not cover every wait: a server that accepts and then stays
    // silent can hold InternetOpenUrlA far longer. The fetch runs on its own thread and the
    // caller stops waiting at the deadline; a late thread ends when its connection does.
    auto transfer = std::make_shared<Transfer>();
    std::thread([transfer, url, userAgent, limits] {
        std::string data;
        const char* failure = Fetch(url, userAgent, limits, data);
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
