// Reading one value from an INI file ("private profile"). Windows uses the system's
// GetPrivateProfileStringA; elsewhere the project's own reader follows the same rules
// (see platform/ini_reader.h).
#pragma once

#include <cstddef>
#include <string>

namespace tavrin::platform {

// The value of `key` in `section` of the file at `path`, or `defaultValue` when the file,
// section or key is missing. The result is cut to bufferSize - 1 bytes, as a buffer of
// bufferSize characters with its terminator would hold it.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& path);

}  // namespace tavrin::platform
