#include "net/http_request.h"

#include <ctime>

#include "net/http_parse.h"
#include "net/request_result.h"

namespace tavrin {

std::optional<HttpTarget> HttpTarget::Parse(const std::string& url) {
    HttpTarget target;
    target.url = TrimBlanks(url);
    if (target.url.empty()) {
        return std::nullopt;
    }
    if (ParseUrl(target.url, target.host, target.object, target.port)) {
        return target;
    }
    // An address without a scheme is taken as http; one of another scheme is refused, never
    // read as a host name ("ftp://h/f" is no host "ftp").
    if (HasOtherScheme(target.url)) {
        return std::nullopt;
    }
    target.url = "http://" + target.url;
    if (!ParseUrl(target.url, target.host, target.object, target.port)) {
        return std::nullopt;
    }
    return target;
}

bool HttpTarget::Secure() const {
    return IsSecureUrl(url);
}

bool HttpTarget::SameServer(const HttpTarget& other) const {
    return host == other.host && port == other.port && Secure() == other.Secure();
}

std::string HttpTarget::FileName() const {
    const std::size_t slash = object.rfind('/');
    const std::size_t backslash = object.rfind('\\');
    if (object.size() <= 1 || (slash == std::string::npos && backslash == std::string::npos)) {
        return object;
    }
    return object.substr((slash != std::string::npos ? slash : backslash) + 1);
}

std::string BuildRequest(const HttpTarget& target, const DownloadOptions& options,
                         const RequestExtras& extras) {
    // Through a CONNECT tunnel the proxy sees none of the request: it goes as to the server.
    const bool proxied = options.proxy.type == kProxyHttp && !target.Secure();
    const ProxyServer& proxy = options.proxy.server;
    std::string request = "GET " + (proxied ? target.url : target.object) + " HTTP/1.1\r\n";
    if (proxied && proxy.auth) {
        request += "Proxy-Authorization: Basic " + Base64Encode(proxy.user + ":" + proxy.password) +
                   "\r\n";
    }
    if (options.serverAuth && extras.credentials) {
        request +=
            "Authorization: Basic " + Base64Encode(options.user + ":" + options.password) + "\r\n";
    }
    request += "Host: " + HostAndPort(target.host, target.port, target.Secure()) + "\r\n";
    request += "Accept: */*\r\n";
    request += "Pragma: no-cache\r\n";
    request += "Cache-Control: no-cache\r\n";
    request += "User-Agent: " + options.userAgent + "\r\n";
    if (!extras.referer.empty()) {
        request += "Referer: " + extras.referer + "\r\n";
    }
    if (extras.resumeFrom > 0) {
        request += "Range: bytes=" + std::to_string(extras.resumeFrom) + "-\r\n";
        request += "If-Range: " + extras.validator + "\r\n";
    }
    request += "Connection: close\r\n\r\n";
    return request;
}

int ParseResponseHead(const std::string& header, const HttpTarget& from, ResponseHead& head) {
    head = {};
    head.lastModified = static_cast<std::int64_t>(std::time(nullptr));
    if (!ParseStatusLine(header, head.status)) {
        return kRequestFailed;
    }
    if (head.status >= 300 && head.status < 400) {
        const std::optional<std::string> location = HeaderField(header, "location");
        if (!location) {
            return kRequestFailed;
        }
        const std::optional<std::string> target = ResolveRedirect(from.url, *location);
        HttpTarget next;
        next.url = target.value_or("");
        if (!target || !ParseUrl(next.url, next.host, next.object, next.port)) {
            return kRequestFailed;
        }
        head.redirect = std::move(next);
        return kRequestStoppedOrRedirect;
    }
    if (static_cast<unsigned>(head.status) >= 500) {
        return kRequestRetry;
    }
    if (head.status >= 400) {
        return head.status == 404 ? kRequestNotFound : kRequestFailed;
    }
    if (!ParseBodyFraming(header, head.chunked, head.contentLength)) {
        head.contentLength = 0;
        return kRequestFailed;
    }
    const std::optional<std::string> modified = HeaderField(header, "last-modified");
    std::int64_t stamp = 0;
    if (modified && ParseHttpDate(*modified, stamp)) {
        head.lastModified = stamp;
    }
    return kRequestOk;
}

}  // namespace tavrin
