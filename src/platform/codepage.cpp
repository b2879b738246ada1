#include "platform/codepage.h"

namespace tavrin::platform {

namespace {
bool IsGbkLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
}  // namespace

std::size_t GbkCharLength(const std::string& s, std::size_t pos) {
    if (IsGbkLead(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size()) {
        return 2;
    }
    return 1;
}

std::size_t Gb18030CharLength(const std::string& s, std::size_t pos) {
    // GB18030 adds four-byte characters: lead, digit, lead, digit.
    if (pos + 3 < s.size() && IsGbkLead(static_cast<unsigned char>(s[pos]))) {
        const auto b1 = static_cast<unsigned char>(s[pos + 1]);
        const auto b2 = static_cast<unsigned char>(s[pos + 2]);
        const auto b3 = static_cast<unsigned char>(s[pos + 3]);
        if (b1 >= '0' && b1 <= '9' && IsGbkLead(b2) && b3 >= '0' && b3 <= '9') {
            return 4;
        }
    }
    return GbkCharLength(s, pos);
}

std::size_t FindFirstMbChar(const std::string& s, char ch) {
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
        if (s[i] == ch) {
            return i;
        }
    }
    return std::string::npos;
}

std::size_t FindLastMbChar(const std::string& s, char ch) {
    std::size_t found = std::string::npos;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
        if (s[i] == ch) {
            found = i;
        }
    }
    return found;
}

std::size_t FindMbString(const std::string& s, const std::string& needle) {
    if (needle.empty()) {
        return 0;
    }
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
        if (s.compare(i, needle.size(), needle) == 0) {
            return i;
        }
    }
    return std::string::npos;
}

}  // namespace tavrin::platform
