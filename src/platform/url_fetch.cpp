// The cookie rules of RFC 6265 that decide which of the browser's cookies go with a request;
// shared by the fetches of every platform that has to apply them itself.
#include "platform/url_fetch.h"

#include <algorithm>
#include <cctype>

namespace tavrin::platform {

namespace {

struct WebAddress {
    bool https = false;
    std::string host;  // lower case, without port or brackets
    std::string path;  // "/" when the address has none
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool ParseWebAddress(const std::string& url, WebAddress& out) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos) {
        return false;
    }
    const std::string scheme = Lower(url.substr(0, colon));
    if (scheme != "http" && scheme != "https") {
        return false;
    }
    out.https = scheme == "https";
    const std::size_t start = colon + 3;
    const std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        out.host = authority.substr(1, close == std::string::npos ? close : close - 1);
    } else {
        out.host = authority.substr(0, authority.find(':'));
    }
    out.host = Lower(out.host);
    const bool hasPath = end != std::string::npos && url[end] == '/';
    out.path = hasPath ? url.substr(end, url.find_first_of("?#", end) - end) : std::string(1, '/');
    return !out.host.empty();
}

bool IsIpAddress(const std::string& host) {
    return host.find(':') != std::string::npos ||
           std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isdigit(c) || c == '.'; });
}

// An IPv4 address of 127.0.0.0/8, written as four decimal numbers of 0 to 255.
bool IsLoopbackIpv4(const std::string& host) {
    int parts = 0;
    std::size_t at = 0;
    while (at <= host.size()) {
        const std::size_t dot = std::min(host.find('.', at), host.size());
        const std::string part = host.substr(at, dot - at);
        if (part.empty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(),
                         [](unsigned char c) { return std::isdigit(c); }) ||
            std::stoi(part) > 255 || (parts == 0 && part != "127")) {
            return false;
        }
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

// Browsers treat loopback as secure: its cookies marked secure go over http too. Only the
// loopback addresses themselves count, never a name that merely starts like one.
bool IsLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || IsLoopbackIpv4(host);
}

bool DomainMatches(const std::string& host, const BrowserCookie& cookie) {
    const std::string domain = Lower(cookie.domain);
    if (host == domain) {
        return true;
    }
    if (cookie.hostOnly || IsIpAddress(host) || host.size() <= domain.size() + 1) {
        return false;
    }
    return host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(const std::string& path, const std::string& cookiePath) {
    if (path.compare(0, cookiePath.size(), cookiePath) != 0) {
        return false;
    }
    return path.size() == cookiePath.size() || cookiePath.back() == '/' ||
           path[cookiePath.size()] == '/';
}

}  // namespace

bool IsWebAddress(const std::string& url) {
    WebAddress address;
    return ParseWebAddress(url, address);
}

std::string CookieHeaderFor(const std::string& url, const std::vector<BrowserCookie>& cookies,
                            std::int64_t now) {
    WebAddress address;
    if (!ParseWebAddress(url, address)) {
        return {};
    }
    return CookieHeaderFor(RequestTarget{address.https, address.host, address.path}, cookies, now);
}

std::string CookieHeaderFor(const RequestTarget& target, const std::vector<BrowserCookie>& cookies,
                            std::int64_t now) {
    const std::string host = Lower(target.host);
    const std::string path = target.path.empty() ? std::string("/") : target.path;
    if (host.empty()) {
        return {};
    }
    std::vector<const BrowserCookie*> chosen;
    for (const BrowserCookie& cookie : cookies) {
        const std::string& cookiePath = cookie.path.empty() ? std::string("/") : cookie.path;
        if ((cookie.expires != 0 && cookie.expires <= now) ||
            (cookie.secure && !target.https && !IsLoopback(host)) || !DomainMatches(host, cookie) ||
            !PathMatches(path, cookiePath)) {
            continue;
        }
        chosen.push_back(&cookie);
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const BrowserCookie* a, const BrowserCookie* b) {
                         return a->path.size() > b->path.size();
                     });
    std::string header;
    for (const BrowserCookie* cookie : chosen) {
        header += (header.empty() ? "" : "; ") + cookie->name + "=" + cookie->value;
    }
    return header;
}

}  // namespace tavrin::platform
