// Requests from the game movie. The input as a whole is a request to read the name from; split
// at its NUL bytes it is a name and arguments to build a request of and read the name back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "flow/flash_protocol.h"
#include "fuzz_check.h"

using tavrin::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tavrin::FlashRequestName(text);

    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\0', start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    const std::string name = parts.front();
    const std::vector<std::string> args(parts.begin() + 1, parts.end());
    const std::string request = tavrin::BuildFlashRequest(name, args);
    // The name goes in unescaped, and an XML reader turns CR into LF and resolves
    // references: only names free of those characters can come back unchanged.
    if (name.find_first_of("\"<>&\r") == std::string::npos) {
        Check(tavrin::FlashRequestName(request) == name, "a built request keeps its name");
    }
    return 0;
}
