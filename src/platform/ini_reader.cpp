#include "platform/ini_reader.h"

#include <algorithm>
#include <cctype>

namespace tavrin::platform {

namespace {

bool IsBlank(char c) {
    // Control-Z is what old editors left at the end of text files.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Calls visit(line) for each line of the text, without its line end.
template <typename Visit>
bool ForEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (visit(line)) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace

std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    section = Trim(section);
    key = Trim(key);

    bool inside = false;
    std::optional<std::string> result;
    ForEachLine(text, [&](std::string_view rawLine) {
        const std::string_view line = Trim(rawLine);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                if (inside) {
                    return true;  // only the first section of a name is searched
                }
                inside = EqualsNoCase(Trim(line.substr(1, close - 1)), section);
                return false;
            }
        }
        if (!inside) {
            return false;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || !EqualsNoCase(Trim(line.substr(0, eq)), key)) {
            return false;
        }
        result = std::string(StripQuotes(Trim(line.substr(eq + 1))));
        return true;
    });
    return result;
}

std::string IniValueOrDefault(std::string_view text, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize) {
    std::string value = FindIniValue(text, section, key).value_or(std::string(defaultValue));
    value.resize(std::min(value.size(), bufferSize == 0 ? 0 : bufferSize - 1));
    return value;
}

}  // namespace tavrin::platform
