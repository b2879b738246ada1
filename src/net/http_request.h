// One HTTP/1.1 request of a download: the address it goes to, the request's text, and what
// the answer's head says (status, body framing, date, where a redirect leads).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "net/download_options.h"

namespace tavrin {

struct HttpTarget {
    std::string url;
    std::string host;
    std::string object;  // the path and query, as the request line sends them
    std::uint16_t port = 80;

    // An http or https address; one without a scheme is taken as http, one of another
    // scheme ("ftp://h/f") is none.
    static std::optional<HttpTarget> Parse(const std::string& url);
    bool Secure() const;
    // The same server: host, port and scheme.
    bool SameServer(const HttpTarget& other) const;
    // The last part of the path, for progress records.
    std::string FileName() const;
};

// What a request carries beyond the target and the options.
struct RequestExtras {
    std::string referer;
    // The target is the server the credentials were given for.
    bool credentials = false;
    // The rest of a body from this byte on, if it is still the body `validator` names.
    std::uint64_t resumeFrom = 0;
    std::string validator;
};

std::string BuildRequest(const HttpTarget& target, const DownloadOptions& options,
                         const RequestExtras& extras);

struct ResponseHead {
    int status = 0;
    std::uint64_t contentLength = 0;
    bool chunked = false;
    // Last-Modified, else the time the head was read.
    std::int64_t lastModified = 0;
    // A redirect's target.
    std::optional<HttpTarget> redirect;
};

// Reads an answer's head: kRequestOk for a body to take, kRequestStoppedOrRedirect with
// `redirect` set, kRequestRetry for a server error, kRequestNotFound for 404, kRequestFailed
// for any other refusal and for a head that cannot be read.
int ParseResponseHead(const std::string& header, const HttpTarget& from, ResponseHead& head);

}  // namespace tavrin
