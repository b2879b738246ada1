#include <fstream>
#include <iterator>

#include "platform/ini_reader.h"
#include "platform/profile.h"

namespace tavrin::platform {

namespace {
// Settings files are a few lines long; a larger file is not one of ours and is treated as
// missing rather than read into memory.
constexpr std::streamsize kMaxProfileBytes = 1 << 20;
}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& path) {
    std::string text;
    std::ifstream file(path, std::ios::binary);
    if (file) {
        text.resize(kMaxProfileBytes + 1);
        file.read(text.data(), kMaxProfileBytes + 1);
        text.resize(static_cast<std::size_t>(file.gcount()));
        if (text.size() > static_cast<std::size_t>(kMaxProfileBytes)) {
            text.clear();
        }
    }
    return IniValueOrDefault(text, section, key, defaultValue, bufferSize);
}

}  // namespace tavrin::platform
