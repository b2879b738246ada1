#include <curl/curl.h>
#include <dlfcn.h>

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

// libcurl is loaded when the first document is fetched, not when the program starts: it
// brings three dozen libraries with it, which programs that never fetch a document (the
// tool's downloads) should not carry.
struct Curl {
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_perform) easy_perform = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    bool loaded = false;

    Curl() {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return;
        }
        global_init = reinterpret_cast<decltype(global_init)>(dlsym(library, "curl_global_init"));
        easy_init = reinterpret_cast<decltype(easy_init)>(dlsym(library, "curl_easy_init"));
        easy_setopt = reinterpret_cast<decltype(easy_setopt)>(dlsym(library, "curl_easy_setopt"));
        easy_perform =
            reinterpret_cast<decltype(easy_perform)>(dlsym(library, "curl_easy_perform"));
        easy_getinfo =
            reinterpret_cast<decltype(easy_getinfo)>(dlsym(library, "curl_easy_getinfo"));
        easy_cleanup =
            reinterpret_cast<decltype(easy_cleanup)>(dlsym(library, "curl_easy_cleanup"));
        easy_strerror =
            reinterpret_cast<decltype(easy_strerror)>(dlsym(library, "curl_easy_strerror"));
        loaded = global_init != nullptr && easy_init != nullptr && easy_setopt != nullptr &&
                 easy_perform != nullptr && easy_getinfo != nullptr && easy_cleanup != nullptr &&
                 easy_strerror != nullptr;
        if (loaded) {
            global_init(CURL_GLOBAL_DEFAULT);
        }
    }
};

const Curl& TheCurl() {
    static const Curl curl;
    return curl;
}

// The cookie in the Netscape cookie-file line that libcurl's cookie engine reads; empty for a
// cookie whose fields would break the line.
std::string CookieFileLine(const BrowserCookie& cookie) {
    const std::string fields[] = {cookie.name, cookie.value, cookie.domain, cookie.path};
    for (const std::string& field : fields) {
        if (field.find_first_of("\t\r\n", 0, 3) != std::string::npos) {
            return {};
        }
    }
    if (cookie.name.empty() || cookie.domain.empty()) {
        return {};
    }
    return (cookie.httpOnly ? "#HttpOnly_" : "") + std::string(cookie.hostOnly ? "" : ".") +
           cookie.domain + (cookie.hostOnly ? "\tFALSE\t" : "\tTRUE\t") +
           (cookie.path.empty() ? "/" : cookie.path) + (cookie.secure ? "\tTRUE\t" : "\tFALSE\t") +
           std::to_string(cookie.expires) + "\t" + cookie.name + "\t" + cookie.value;
}

}  // namespace

bool FetchUrlBody(const std::string& url, const std::string& userAgent, std::string& body,
                  const FetchLimits& limits, std::string* error,
                  const std::vector<BrowserCookie>& cookies) {
    // The project's own rule first, whatever libcurl would allow.
    if (!IsWebAddress(url)) {
        if (error != nullptr) {
            *error = "only http and https addresses are fetched";
        }
        return false;
    }
    const Curl& api = TheCurl();
    if (!api.loaded) {
        if (error != nullptr) {
            *error = "libcurl (libcurl.so.4) could not be loaded";
        }
        return false;
    }
    std::unique_ptr<CURL, decltype(api.easy_cleanup)> curl(api.easy_init(), api.easy_cleanup);
    if (!curl) {
        if (error != nullptr) {
            *error = "the HTTP client could not be started";
        }
        return false;
    }
    Sink sink;
    sink.limit = limits.maxBodyBytes;
    CURL* h = curl.get();
    // Every option must take: a libcurl that does not know one (the protocol limits need
    // 7.85) would otherwise fetch without it.
    const char* refused = nullptr;
    const auto set = [&](CURLoption option, const char* name, auto value) {
        if (refused == nullptr && api.easy_setopt(h, option, value) != CURLE_OK) {
            refused = name;
        }
    };
    set(CURLOPT_URL, "URL", url.c_str());
    set(CURLOPT_USERAGENT, "USERAGENT", userAgent.c_str());
    // A configuration address must never read local files or speak other protocols.
    set(CURLOPT_PROTOCOLS_STR, "PROTOCOLS_STR", "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "REDIR_PROTOCOLS_STR", "http,https");
    set(CURLOPT_FOLLOWLOCATION, "FOLLOWLOCATION", 1L);
    set(CURLOPT_MAXREDIRS, "MAXREDIRS", 20L);
    set(CURLOPT_CONNECTTIMEOUT_MS, "CONNECTTIMEOUT_MS", limits.connectTimeoutMs);
    set(CURLOPT_TIMEOUT_MS, "TIMEOUT_MS", limits.totalTimeoutMs);
    set(CURLOPT_NOSIGNAL, "NOSIGNAL", 1L);
    if (!cookies.empty()) {
        // libcurl's own cookie engine applies the browser's rules to every request,
        // redirects to other hosts included.
        set(CURLOPT_COOKIEFILE, "COOKIEFILE", "");
        for (const BrowserCookie& cookie : cookies) {
            const std::string line = CookieFileLine(cookie);
            if (!line.empty()) {
                set(CURLOPT_COOKIELIST, "COOKIELIST", line.c_str());
            }
        }
    }
    set(CURLOPT_WRITEFUNCTION, "WRITEFUNCTION", &WriteBody);
    set(CURLOPT_WRITEDATA, "WRITEDATA", static_cast<void*>(&sink));
    char message[CURL_ERROR_SIZE] = {};
    set(CURLOPT_ERRORBUFFER, "ERRORBUFFER", static_cast<char*>(message));
    if (refused != nullptr) {
        if (error != nullptr) {
            *error = std::string("this libcurl does not take the option CURLOPT_") + refused +
                     " (7.85 or later is needed)";
        }
        return false;
    }
    const CURLcode rc = api.easy_perform(h);
    if (rc != CURLE_OK) {
        if (error != nullptr) {
            if (rc == CURLE_WRITE_ERROR) {
                *error =
                    "the document is larger than " + std::to_string(limits.maxBodyBytes) + " bytes";
            } else {
                *error = message[0] != '\0' ? message : api.easy_strerror(rc);
            }
        }
        return false;
    }
    // libcurl ends at a redirect that names no address, with that page as the answer: it
    // is not the document.
    long status = 0;
    if (api.easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
        (status == 301 || status == 302 || status == 303 || status == 307 || status == 308)) {
        if (error != nullptr) {
            *error = "a redirect named no usable address";
        }
        return false;
    }
    body = std::move(sink.data);
    return true;
}

}  // namespace tavrin::platform
