#include <windows.h>

#include <vector>

#include "platform/profile.h"

namespace tavrin::platform {

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& path) {
    if (bufferSize == 0) {
        return {};
    }
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD n =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                 static_cast<DWORD>(bufferSize), path.c_str());
    return std::string(buffer.data(), n);
}

}  // namespace tavrin::platform
