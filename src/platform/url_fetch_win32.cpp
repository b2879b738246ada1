#include <windows.h>
#include <wininet.h>

#include <string>

#include "platform/url_fetch.h"

namespace tavrin::platform {

namespace {

struct InternetHandle {
    HINTERNET h = nullptr;
    explicit InternetHandle(HINTERNET handle) : h(handle) {}
    ~InternetHandle() {
        if (h != nullptr) {
            InternetCloseHandle(h);
        }
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

bool IsWebAddress(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0 ||
           url.rfind("HTTP://", 0) == 0 || url.rfind("HTTPS://", 0) == 0;
}

}  // namespace

bool FetchUrlBody(const std::string& url, const std::string& userAgent, std::string& body,
                  const FetchLimits& limits, std::string* error) {
    auto fail = [error](const char* why) {
        if (error != nullptr) {
            *error = why + (" (error " + std::to_string(GetLastError()) + ")");
        }
        return false;
    };
    if (!IsWebAddress(url)) {
        return fail("not an http or https address");
    }
    InternetHandle session(
        InternetOpenA(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.h == nullptr) {
        return fail("the internet client could not be opened");
    }
    DWORD connectMs = static_cast<DWORD>(limits.connectTimeoutMs);
    DWORD transferMs = static_cast<DWORD>(limits.totalTimeoutMs);
    InternetSetOptionA(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionA(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &transferMs,
                       sizeof transferMs);
    InternetSetOptionA(session.h, INTERNET_OPTION_SEND_TIMEOUT, &transferMs, sizeof transferMs);

    InternetHandle request(InternetOpenUrlA(session.h, url.c_str(), nullptr, 0,
                                            INTERNET_FLAG_TRANSFER_ASCII, 0));
    if (request.h == nullptr) {
        return fail("the address could not be opened");
    }
    const ULONGLONG deadline = GetTickCount64() + transferMs;
    std::string data;
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.h, chunk, sizeof chunk, &got)) {
            return fail("the document could not be read");
        }
        if (got == 0) {
            break;
        }
        if (data.size() + got > limits.maxBodyBytes) {
            return fail("the document is too large");
        }
        if (GetTickCount64() > deadline) {
            return fail("the transfer took too long");
        }
        data.append(chunk, got);
    }
    body = std::move(data);
    return true;
}

}  // namespace tavrin::platform
