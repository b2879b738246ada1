#include <windows.h>

#include "platform/codepage.h"

namespace tavrin::platform {

std::size_t CharLength(const std::string& s, std::size_t pos) {
    // std::string keeps a terminator after its last byte, so CharNextExA may look one
    // byte ahead; it never steps over that terminator.
    const char* here = s.c_str() + pos;
    const char* next = CharNextExA(CP_ACP, here, 0);
    const std::size_t step = next > here ? static_cast<std::size_t>(next - here) : 1;
    return pos + step <= s.size() ? step : s.size() - pos;
}

}  // namespace tavrin::platform
