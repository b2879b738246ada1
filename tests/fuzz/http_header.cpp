// Response headers as a server could send them: the header parser must classify every one,
// and a redirect must leave an address that parses into the parts it stored. The same bytes
// go to the date parser and the chunk-size line parser.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "net/http_parse.h"
#include "net/http_request.h"
#include "net/request_result.h"

namespace {

using tavrin::fuzz::Check;

void HeaderHolds(const std::string& text) {
    const std::optional<tavrin::HttpTarget> from =
        tavrin::HttpTarget::Parse("http://files.example.com:8080/game/update/list.xml");
    Check(from.has_value(), "the starting address parses");
    tavrin::ResponseHead head;
    const int result = tavrin::ParseResponseHead(text, *from, head);
    Check(result >= tavrin::kRequestOk && result <= tavrin::kRequestNotFound, "a known result");
    if (result == tavrin::kRequestOk) {
        Check(head.contentLength <= tavrin::kMaxBodyLength, "a length within the largest body");
    }
    Check(head.redirect.has_value() == (result == tavrin::kRequestStoppedOrRedirect),
          "a redirect, and only a redirect, names where it leads");
    if (head.redirect) {
        std::string host;
        std::string object;
        std::uint16_t port = 0;
        Check(tavrin::ParseUrl(head.redirect->url, host, object, port),
              "a redirect leads to an address that parses");
        Check(host == head.redirect->host && object == head.redirect->object &&
                  port == head.redirect->port,
              "a redirect's address agrees with its parts");
    }
}

void DateHolds(const std::string& text) {
    std::int64_t time = 0;
    if (tavrin::ParseHttpDate(text, time)) {
        // Years 1900 to 9999: from 1900-01-01 to the leap second ending 9999.
        Check(time >= -2208988800LL && time <= 253402300800LL, "a date within its years");
    }
}

void ChunkSizeHolds(const std::string& text) {
    std::uint64_t size = 0;
    if (!tavrin::ParseChunkSizeLine(text, size)) {
        return;
    }
    // The leading hex digits, read here another way.
    std::size_t digits = 0;
    while (digits < text.size() && std::isxdigit(static_cast<unsigned char>(text[digits]))) {
        ++digits;
    }
    const std::string number = text.substr(0, digits);
    const std::size_t first = number.find_first_not_of('0');
    Check(first == std::string::npos || number.size() - first <= 16, "at most 64 bits of size");
    Check(size == std::strtoull(number.c_str(), nullptr, 16), "the size its digits say");
    Check(size <= tavrin::kMaxBodyLength, "a size within the largest body");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    HeaderHolds(text);
    DateHolds(text);
    ChunkSizeHolds(text);
    return 0;
}
