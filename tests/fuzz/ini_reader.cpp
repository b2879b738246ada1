// The settings file reader. The input is split at its first two NUL bytes into the file's
// text, the section and the key.
#include "platform/ini_reader.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"

using tavrin::fuzz::Check;

namespace {

std::string_view NextPart(std::string_view& rest) {
    const std::size_t end = rest.find('\0');
    const std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return part;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view text = NextPart(rest);
    const std::string_view section = NextPart(rest);
    const std::string_view key = NextPart(rest);

    const auto value = tavrin::platform::FindIniValue(text, section, key);
    if (value) {
        Check(value->find('\n') == std::string::npos, "a value stays within its line");
    }
    Check(tavrin::platform::FindIniValue(text, Upper(section), Upper(key)) == value,
          "names match without regard to case");

    const std::string_view fallback = "fallback";
    const std::string whole = value.value_or(std::string(fallback));
    Check(tavrin::platform::IniValueOrDefault(text, section, key, fallback, whole.size() + 1) ==
              whole,
          "a buffer that fits takes the whole value");
    const std::size_t buffer = size % 17;
    Check(tavrin::platform::IniValueOrDefault(text, section, key, fallback, buffer) ==
              whole.substr(0, buffer == 0 ? 0 : buffer - 1),
          "a small buffer takes the value's beginning");
    return 0;
}
