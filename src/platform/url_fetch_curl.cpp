#include <curl/curl.h>

#include <memory>

#include "platform/url_fetch.h"

namespace tavrin::platform {

namespace {

struct Sink {
    std::string data;
    std::size_t limit = 0;
};

std::size_t WriteBody(char* ptr, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    if (sink->data.size() + n > sink->limit) {
        return 0;  // makes curl stop with CURLE_WRITE_ERROR
    }
    sink->data.append(ptr, n);
    return n;
}

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

}  // namespace

bool FetchUrlBody(const std::string& url, const std::string& userAgent, std::string& body,
                  const FetchLimits& limits, std::string* error) {
    static CurlGlobal global;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        if (error != nullptr) {
            *error = "the HTTP client could not be started";
        }
        return false;
    }
    Sink sink;
    sink.limit = limits.maxBodyBytes;
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());
    // A configuration address must never read local files or speak other protocols.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, message);
    const CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        if (error != nullptr) {
            if (rc == CURLE_WRITE_ERROR) {
                *error =
                    "the document is larger than " + std::to_string(limits.maxBodyBytes) + " bytes";
            } else {
                *error = message[0] != '\0' ? message : curl_easy_strerror(rc);
            }
        }
        return false;
    }
    body = std::move(sink.data);
    return true;
}

}  // namespace tavrin::platform
