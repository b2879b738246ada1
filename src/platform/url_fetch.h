// Fetching a small text document over HTTP(S) with the system's internet client: libcurl
// on POSIX, WinInet on Windows. Both honour the system's proxy settings (on POSIX the
// http_proxy / https_proxy / no_proxy variables) and follow redirects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::platform {

struct FetchLimits {
    long connectTimeoutMs = 10000;
    // The whole fetch, connection included, so that a server that trickles or stalls
    // cannot hold start-up.
    long totalTimeoutMs = 30000;
    // Configuration documents are a few kilobytes; anything far larger is refused.
    std::size_t maxBodyBytes = 4 * 1024 * 1024;
};

// A cookie as the embedded browser holds it. The launcher's own fetches carry the cookies
// the login pages set, as the browser would send them.
struct BrowserCookie {
    std::string name;
    std::string value;
    std::string domain;    // without a leading dot
    bool hostOnly = true;  // sent to `domain` itself only, else to its subdomains as well
    std::string path = "/";
    bool secure = false;       // over https only
    bool httpOnly = false;     // hidden from the pages' scripts; sent all the same
    std::int64_t expires = 0;  // seconds since 1970; 0 for a cookie of this session
};

// GETs `url` (http or https only) and puts the body, whatever the status code, into
// `body`. Each request, redirects included, carries those of `cookies` that a browser
// would send to its address (domain, path, secure and expiry rules). False, with `body`
// untouched, when the request could not be made or the body could not be read completely
// within the limits; then `error`, when given, says why.
bool FetchUrlBody(const std::string& url, const std::string& userAgent, std::string& body,
                  const FetchLimits& limits = {}, std::string* error = nullptr,
                  const std::vector<BrowserCookie>& cookies = {});

// True for an absolute http or https address with a host (the scheme in any case). Nothing
// else may leave the launcher: not files, shares or other programs' protocols.
bool IsWebAddress(const std::string& url);

// Where a request goes, as the client that sends it read its address.
struct RequestTarget {
    bool https = false;
    std::string host;  // without port or brackets, in any case
    std::string path;  // "/" when the address has none; without query or fragment
};

// The value of the Cookie header a browser sends to `url` (http or https) from `cookies`,
// at `now` (seconds since 1970): longer paths first, as browsers order them. Empty when no
// cookie applies or the address is not a web address.
std::string CookieHeaderFor(const std::string& url, const std::vector<BrowserCookie>& cookies,
                            std::int64_t now);
// The same for a request whose target the sending client has read itself: the cookies then
// go to the host the request goes to, whatever another reading of the address would say.
std::string CookieHeaderFor(const RequestTarget& target, const std::vector<BrowserCookie>& cookies,
                            std::int64_t now);

}  // namespace tavrin::platform
