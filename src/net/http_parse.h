// The downloader's text handling, free of any connection: addresses, dates, credentials,
// chunk sizes, and the parts of a response head it acts on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tavrin {

// A header this long is no header of a file server; reading on would only fill memory.
inline constexpr std::size_t kMaxHeaderBytes = 256 * 1024;

// The text without blanks and line breaks at either end.
std::string TrimBlanks(const std::string& s);

// "http://host[:port]/object" or "https://..." (scheme in any case; port 80 or 443 when
// none is given); false for anything else: no host, a port that is not 1-65535 in digits,
// control characters anywhere.
bool ParseUrl(const std::string& url, std::string& host, std::string& object, std::uint16_t& port);
// True for an address with a scheme other than http and https ("ftp://h/f").
bool HasOtherScheme(const std::string& url);
// True for an "https://" address.
bool IsSecureUrl(const std::string& url);
// "host" or "host:port" when the port is not the scheme's usual one, as the Host field has it.
std::string HostAndPort(const std::string& host, std::uint16_t port, bool secure);
// An HTTP date ("Wed, 21 Oct 2015 07:28:00 GMT") as seconds since 1970 (UTC); false when it
// is not one (the caller keeps its own time then).
bool ParseHttpDate(const std::string& text, std::int64_t& time);
std::string Base64Encode(std::string_view bytes);
// Strict base64 (the standard alphabet, padded, nothing else); false for anything else.
bool Base64Decode(std::string_view text, std::string& bytes);
// The largest body the downloader takes, in all: more than any disk holds, and far enough
// from 2^64 that no sum of counts below it overflows.
constexpr std::uint64_t kMaxBodyLength = std::uint64_t{1} << 60;

// The size in a chunked body's size line ("1a2b", "1a2b;ext=1"); false for anything else or
// for a size over kMaxBodyLength.
bool ParseChunkSizeLine(const std::string& line, std::uint64_t& size);

// The status of a head that starts with "HTTP/x 200 Reason" (the reason may be empty); false
// for a first line that is no HTTP status line, whatever digits it holds.
bool ParseStatusLine(const std::string& header, int& status);
// The first field `name` (lower case) of a head, as the server wrote it without the blanks
// around it; nothing when there is none or its line does not end. Names count only at the
// start of a line, so "content-location:" is never taken for "location:".
std::optional<std::string> HeaderField(const std::string& header, const std::string& name);
// How a 2xx body ends: in chunks, or after the length every Content-Length field agrees on.
// False for a body whose end is in doubt (no length, lengths that differ or are no digits, a
// length over kMaxBodyLength) and for a transfer coding other than chunked; the length is
// written only on success.
bool ParseBodyFraming(const std::string& header, bool& chunked, std::uint64_t& contentLength);
// "bytes FIRST-LAST/TOTAL" of a partial answer; false for anything else (an unknown total,
// a range that does not fit in it).
bool ParseContentRange(const std::string& value, std::uint64_t& first, std::uint64_t& last,
                       std::uint64_t& total);
// Where a redirect from `currentUrl` to `location` leads: an absolute http or https address
// as it stands, a path from the root on the same server, anything else relative to the
// current address ("../" climbs a level; backslashes count as slashes). Nothing for an
// address of another scheme.
std::optional<std::string> ResolveRedirect(const std::string& currentUrl, std::string location);

}  // namespace tavrin
