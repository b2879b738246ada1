// Percent-decoding of configuration values: never longer than its input, the identity on text
// without escapes, and the inverse of escaping every byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/config.h"
#include "fuzz_check.h"

using tavrin::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = tavrin::UrlDecode(text);
    Check(decoded.size() <= text.size(), "decoding never lengthens");
    if (text.find_first_of("%+") == std::string::npos) {
        Check(decoded == text, "text without escapes stays as it is");
    }

    static const char kUpper[] = "0123456789ABCDEF";
    static const char kLower[] = "0123456789abcdef";
    std::string escaped;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // Both cases of hex digits, as servers write either.
        const char* digits = i % 2 == 0 ? kUpper : kLower;
        escaped += '%';
        escaped += digits[byte >> 4];
        escaped += digits[byte & 15];
    }
    Check(tavrin::UrlDecode(escaped) == text, "decoding undoes escaping");
    return 0;
}
