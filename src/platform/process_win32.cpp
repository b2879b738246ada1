#include <windows.h>
// shellapi.h needs the declarations of windows.h before it.
#include <shellapi.h>

#include <io.h>

#include <cstdio>

#include "platform/process.h"

namespace tavrin::platform {

bool ErrorOutputIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

std::uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

bool StartDetached(const std::string& program, const std::string& argument) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", program.c_str(), argument.c_str(), nullptr, SW_SHOW));
    return result > 32;
}

namespace {

// "*.exe" also matches the short names of "x.exe1" and the like: only a name that really
// ends so is a program.
bool EndsWithExe(const std::string& name) {
    return name.size() > 4 && lstrcmpiA(name.c_str() + name.size() - 4, ".exe") == 0;
}

}  // namespace

std::vector<std::string> ListPrograms(const std::string& folder) {
    std::vector<std::string> programs;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*.exe").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return programs;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            EndsWithExe(data.cFileName)) {
            programs.emplace_back(data.cFileName);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return programs;
}

}  // namespace tavrin::platform
