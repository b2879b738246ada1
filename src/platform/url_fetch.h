// Fetching a small text document over HTTP(S) with the system's internet client: libcurl
// on POSIX, WinInet on Windows. Both honour the system's proxy settings (on POSIX the
// http_proxy / https_proxy / no_proxy variables) and follow redirects.
#pragma once

#include <cstddef>
#include <string>

namespace tavrin::platform {

struct FetchLimits {
    long connectTimeoutMs = 10000;
    // The whole fetch, connection included, so that a server that trickles or stalls
    // cannot hold start-up.
    long totalTimeoutMs = 30000;
    // Configuration documents are a few kilobytes; anything far larger is refused.
    std::size_t maxBodyBytes = 4 * 1024 * 1024;
};

// GETs `url` (http or https only) and puts the body, whatever the status code, into
// `body`. False, with `body` untouched, when the request could not be made or the body
// could not be read completely within the limits; then `error`, when given, says why.
bool FetchUrlBody(const std::string& url, const std::string& userAgent, std::string& body,
                  const FetchLimits& limits = {}, std::string* error = nullptr);

}  // namespace tavrin::platform
