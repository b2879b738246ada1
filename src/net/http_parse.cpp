#include "net/http_parse.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <vector>

namespace tavrin {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

int DigitsAt(const std::string& s, std::size_t pos, std::size_t count) {
    return pos < s.size() ? std::atoi(s.substr(pos, count).c_str()) : -1;
}

// The value of every field `name` (lower case) in a lower-cased header: only at the start of
// a line, so "content-location:" is never taken for "location:".
std::vector<std::string> FieldValues(const std::string& lower, const std::string& name) {
    std::vector<std::string> values;
    const std::string key = "\r\n" + name + ":";
    for (std::size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 2)) {
        const std::size_t from = at + key.size();
        const std::size_t end = lower.find("\r\n", from);
        if (end == std::string::npos) {
            break;  // a field must end with its line
        }
        values.push_back(TrimBlanks(lower.substr(from, end - from)));
    }
    return values;
}

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

}  // namespace

std::string TrimBlanks(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool ParseUrl(const std::string& url, std::string& host, std::string& object, std::uint16_t& port) {
    host.clear();
    object.clear();
    port = 0;
    const std::string text = TrimBlanks(url);
    const std::size_t scheme = text.find("://");
    const std::string prefix = scheme == std::string::npos ? "" : Lower(text.substr(0, scheme + 3));
    if (prefix != "http://" && prefix != "https://") {
        return false;
    }
    const std::string rest = text.substr(scheme + 3);
    const std::size_t slash = rest.find('/');
    if (rest.empty() || slash == std::string::npos) {
        return false;
    }
    // Control characters would end the request line early and start fields of their own.
    if (std::any_of(text.begin(), text.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
        return false;
    }
    const std::string hostPart = rest.substr(0, slash);
    const std::size_t colon = hostPart.find(':');
    const std::string name = hostPart.substr(0, colon);
    const std::string digits = colon == std::string::npos ? "" : hostPart.substr(colon + 1);
    long number = prefix == "https://" ? 443 : 80;
    if (colon != std::string::npos) {
        // Digits only, and a port that exists: "h:70000" must not become some other port.
        number = AllDigits(digits) && digits.size() <= 5 ? std::atol(digits.c_str()) : 0;
    }
    if (name.empty() || number < 1 || number > 65535) {
        return false;
    }
    host = name;
    object = rest.substr(slash);
    port = static_cast<std::uint16_t>(number);
    return true;
}

bool HasOtherScheme(const std::string& url) {
    const std::string text = TrimBlanks(url);
    const std::size_t scheme = text.find("://");
    return scheme != std::string::npos &&
           std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(scheme),
                       [](unsigned char c) {
                           return std::isalpha(c) || c == '+' || c == '-' || c == '.';
                       }) &&
           !StartsWithNoCase(text, "http://") && !StartsWithNoCase(text, "https://");
}

bool IsSecureUrl(const std::string& url) {
    return StartsWithNoCase(TrimBlanks(url), "https://");
}

std::string HostAndPort(const std::string& host, std::uint16_t port, bool secure) {
    const std::uint16_t usual = secure ? 443 : 80;
    return host + (port != usual ? ":" + std::to_string(port) : "");
}

bool ParseHttpDate(const std::string& text, std::int64_t& time) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    std::string rest = text.substr(comma + 1);
    rest.erase(0, rest.find_first_not_of(" \t"));
    if (rest.size() < 6) {
        return false;
    }
    const int day = DigitsAt(rest, 0, 2);
    static const std::string kMonths = "jan,feb,mar,apr,may,jun,jul,aug,sep,oct,nov,dec";
    const std::size_t match = kMonths.find(Lower(rest.substr(3, 3)));
    if (match == std::string::npos || match % 4 != 0) {
        return false;  // no month of the year
    }
    const int month = static_cast<int>(match / 4 + 1);
    std::string clock = rest.substr(6);
    clock.erase(0, clock.find_first_not_of(" \t"));
    const std::size_t blank = clock.find_first_of(" \t");
    if (blank == std::string::npos || !AllDigits(clock.substr(0, blank))) {
        return false;  // no year
    }
    const int year = std::atoi(clock.substr(0, blank).c_str());
    clock = clock.substr(blank + 1);
    const int hour = DigitsAt(clock, 0, 2);
    const int minute = DigitsAt(clock, 3, 2);
    const int second = DigitsAt(clock, 6, 2);
    if (year < 1900 || year > 9999 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60) {
        return false;
    }
    // The date is in GMT, so it is read as UTC, whatever the machine's own zone.
    time = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

std::string Base64Encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(std::max(written, 0)));
    return out;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 4 != 0 ||
        text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    // OpenSSL's decoder skips blanks and reads a padding '=' anywhere as the end: only the
    // alphabet itself, and padding at the end alone, are taken.
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    const bool clean =
        padding <= 2 &&
        std::all_of(text.begin(), text.end() - static_cast<long>(padding),
                    [](unsigned char c) { return std::isalnum(c) != 0 || c == '+' || c == '/'; });
    if (!clean) {
        return false;
    }
    bytes.resize(text.size() / 4 * 3);
    const int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                        reinterpret_cast<const unsigned char*>(text.data()),
                                        static_cast<int>(text.size()));
    if (written < 0) {
        bytes.clear();
        return false;
    }
    bytes.resize(static_cast<std::size_t>(written) - padding);
    return true;
}

bool ParseChunkSizeLine(const std::string& line, std::uint64_t& size) {
    size = 0;
    std::size_t at = 0;
    std::uint64_t value = 0;
    for (; at < line.size() && std::isxdigit(static_cast<unsigned char>(line[at])) != 0; ++at) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[at])));
        const auto digit = static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        // Refused before the multiplication: past 2^60 the next digit would wrap the size.
        if (value > (kMaxBodyLength - digit) / 16) {
            return false;
        }
        value = value * 16 + digit;
    }
    if (at == 0) {
        return false;
    }
    // Blanks may precede chunk extensions (";name=value"), which carry nothing for us.
    const std::size_t rest = line.find_first_not_of(" \t", at);
    if (rest != std::string::npos && line[rest] != ';') {
        return false;
    }
    size = value;
    return true;
}

bool ParseStatusLine(const std::string& header, int& status) {
    const std::size_t firstEnd = header.find("\r\n");
    const std::string statusLine =
        firstEnd == std::string::npos ? "" : Lower(header.substr(0, firstEnd));
    const std::size_t blank = statusLine.find(' ');
    if (statusLine.rfind("http/", 0) != 0 || blank == std::string::npos ||
        statusLine.size() < blank + 5 || statusLine[blank + 4] != ' ' ||
        !AllDigits(statusLine.substr(blank + 1, 3))) {
        return false;
    }
    status = std::atoi(statusLine.substr(blank + 1, 3).c_str());
    return true;
}

std::optional<std::string> HeaderField(const std::string& header, const std::string& name) {
    const std::string lower = Lower(header);
    const std::string key = "\r\n" + name + ":";
    const std::size_t at = lower.find(key);
    const std::size_t from = at + key.size();
    const std::size_t end = at == std::string::npos ? at : lower.find("\r\n", from);
    if (end == std::string::npos) {
        return std::nullopt;
    }
    return TrimBlanks(header.substr(from, end - from));
}

bool ParseBodyFraming(const std::string& header, bool& chunked, std::uint64_t& contentLength) {
    const std::string lower = Lower(header);
    // Generated documents often come in chunks, without a length; the chunks end the body.
    const std::vector<std::string> codings = FieldValues(lower, "transfer-encoding");
    if (!codings.empty()) {
        // A coding (gzip, ...) this downloader cannot undo is refused.
        chunked = codings.size() == 1 && codings[0] == "chunked";
        return chunked;
    }
    // Digits only, and every length the same: a body whose end is in doubt could be cut
    // short, or run into whatever follows it, and still be taken as complete.
    const std::vector<std::string> lengths = FieldValues(lower, "content-length");
    const bool agreed =
        !lengths.empty() && std::all_of(lengths.begin(), lengths.end(), [&](const std::string& v) {
            return v == lengths[0] && AllDigits(v) && v.size() <= 19;
        });
    const unsigned long long length =
        agreed ? std::strtoull(lengths[0].c_str(), nullptr, 10) : kMaxBodyLength + 1;
    if (length > kMaxBodyLength) {
        return false;
    }
    chunked = false;
    contentLength = length;
    return true;
}

bool ParseContentRange(const std::string& value, std::uint64_t& first, std::uint64_t& last,
                       std::uint64_t& total) {
    const std::string text = Lower(TrimBlanks(value));
    const std::size_t dash = text.find('-');
    const std::size_t slash = text.find('/');
    if (text.rfind("bytes ", 0) != 0 || dash == std::string::npos || slash == std::string::npos ||
        dash > slash) {
        return false;
    }
    const std::string numbers[] = {TrimBlanks(text.substr(6, dash - 6)),
                                   text.substr(dash + 1, slash - dash - 1), text.substr(slash + 1)};
    for (const std::string& n : numbers) {
        if (!AllDigits(n) || n.size() > 18) {
            return false;
        }
    }
    first = std::strtoull(numbers[0].c_str(), nullptr, 10);
    last = std::strtoull(numbers[1].c_str(), nullptr, 10);
    total = std::strtoull(numbers[2].c_str(), nullptr, 10);
    return first <= last && last < total;
}

std::optional<std::string> ResolveRedirect(const std::string& currentUrl, std::string location) {
    if (HasOtherScheme(location)) {
        return std::nullopt;  // a scheme this downloader does not speak
    }
    if (StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://")) {
        return location;
    }
    std::replace(location.begin(), location.end(), '\\', '/');
    const bool secure = IsSecureUrl(currentUrl);
    if (location.rfind("//", 0) == 0) {
        // "//host/path": another server, with the scheme of the current address.
        return (secure ? "https:" : "http:") + location;
    }
    if (!location.empty() && location.front() == '/') {
        std::string host, object;
        std::uint16_t port = 0;
        if (!ParseUrl(currentUrl, host, object, port)) {
            return std::nullopt;
        }
        return (secure ? "https://" : "http://") + HostAndPort(host, port, secure) + location;
    }
    int up = 0;
    for (std::size_t dots; (dots = location.find("../")) != std::string::npos; ++up) {
        location = location.substr(dots + 3);
    }
    std::string base = currentUrl;
    for (int cut = 0; cut <= up; ++cut) {
        const std::size_t slash = base.rfind('/');
        if (slash != std::string::npos) {
            base.resize(slash);
        }
    }
    return base + "/" + location;
}

}  // namespace tavrin
