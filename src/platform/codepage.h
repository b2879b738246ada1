// Walking strings character by character in the active multibyte code page.
//
// Paths and addresses are byte strings in the system code page. On a Chinese Windows system
// that is code page 936 (GBK), where the second byte of a double-byte character may have
// the value of '\\' or '/'. A byte-wise search for a separator would then cut a character
// in half, so every such search walks whole characters.
#pragma once

#include <cstddef>
#include <string>

namespace tavrin::platform {

// Number of bytes of the character that starts at s[pos] (1 or 2, or 4 for GB18030's
// four-byte form). A lead byte at the very end of the string counts as one byte.
std::size_t CharLength(const std::string& s, std::size_t pos);

// Character lengths for the Chinese code pages, independent of the active one; the
// POSIX implementation uses them when the user's locale is GBK or GB18030.
std::size_t GbkCharLength(const std::string& s, std::size_t pos);
std::size_t Gb18030CharLength(const std::string& s, std::size_t pos);

// Position of the first / last character equal to `ch` (an ASCII byte), or npos.
std::size_t FindFirstMbChar(const std::string& s, char ch);
std::size_t FindLastMbChar(const std::string& s, char ch);

// Position of the first occurrence of `needle` that starts on a character boundary, or npos.
std::size_t FindMbString(const std::string& s, const std::string& needle);

}  // namespace tavrin::platform
