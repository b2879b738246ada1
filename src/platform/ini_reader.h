// An INI reader with the lookup rules of GetPrivateProfileStringA, for systems that have no
// such call: sections and keys match without regard to case, blanks around names and
// values are dropped, one pair of matching quotes around a value is removed, and the first
// section of a name is the one that counts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::platform {

// The value of `key` in `section` of the INI text, or nothing when either is missing.
std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// FindIniValue with a default, cut to bufferSize - 1 bytes (nothing for a size of 0).
std::string IniValueOrDefault(std::string_view text, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize);

}  // namespace tavrin::platform
