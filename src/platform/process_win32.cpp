#include <windows.h>
// shellapi.h needs the declarations of windows.h before it.
#include <shellapi.h>

#include "platform/process.h"

namespace tavrin::platform {

std::uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

bool StartDetached(const std::string& program, const std::string& argument) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", program.c_str(), argument.c_str(), nullptr, SW_SHOW));
    return result > 32;
}

std::string FindFirstProgram(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*.exe").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return {};
    }
    FindClose(find);
    return data.cFileName;
}

}  // namespace tavrin::platform
