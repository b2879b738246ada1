#include <windows.h>
// shellapi.h needs the declarations of windows.h before it.
#include <shellapi.h>

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/named_mutex.h"
#include "platform/process.h"

namespace tavrin::platform {

bool ErrorOutputIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

std::uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

namespace {

bool ShellOpen(const std::string& program, const std::string& argument) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", program.c_str(), argument.c_str(), nullptr, SW_SHOW));
    return result > 32;
}

// The program with inheritable copies of `handles` and nothing else inherited, their values
// in the environment variable. False when it cannot be started so.
bool StartWithHandles(const std::string& program, const std::string& argument,
                      std::vector<HANDLE>& handles) {
    std::string values;
    for (HANDLE h : handles) {
        values += (values.empty() ? "" : ",") +
                  std::to_string(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(h)));
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        return false;
    }
    bool started = false;
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                  handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
        STARTUPINFOEXA startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.lpAttributeList = attributes;
        std::string command = "\"" + program + "\" " + argument;
        PROCESS_INFORMATION process{};
        // The variable goes into this process's environment just for the child to copy.
        SetEnvironmentVariableA(kHandedOnLocksVariable, values.c_str());
        started = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                 EXTENDED_STARTUPINFO_PRESENT | CREATE_NEW_PROCESS_GROUP, nullptr,
                                 nullptr, &startup.StartupInfo, &process) != 0;
        SetEnvironmentVariableA(kHandedOnLocksVariable, nullptr);
        if (started) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    DeleteProcThreadAttributeList(attributes);
    return started;
}

}  // namespace

bool StartDetached(const std::string& program, const std::string& argument,
                   const std::vector<const NamedMutex*>& handedOn) {
    if (handedOn.empty()) {
        return ShellOpen(program, argument);
    }
    // Inheritable copies of the mutexes: the names exist, so another copy of the launcher
    // sees them taken, for as long as the program keeps its handles.
    std::vector<HANDLE> handles;
    for (const NamedMutex* mutex : handedOn) {
        HANDLE copy = nullptr;
        const auto own = reinterpret_cast<HANDLE>(mutex->Native());
        if (own != nullptr && DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy,
                                              0, TRUE, DUPLICATE_SAME_ACCESS)) {
            handles.push_back(copy);
        }
    }
    bool started = !handles.empty() && StartWithHandles(program, argument, handles);
    for (HANDLE h : handles) {
        CloseHandle(h);
    }
    // An updater that asks to run as administrator cannot inherit: started as before.
    if (!started) {
        started = ShellOpen(program, argument);
    }
    return started;
}

bool ReleaseHandedOnLocks() {
    char values[512];
    const DWORD n = GetEnvironmentVariableA(kHandedOnLocksVariable, values, sizeof values);
    if (n == 0 || n >= sizeof values) {
        return false;
    }
    std::string list(values, n);
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t end = std::min(list.find(',', at), list.size());
        const unsigned long long value =
            std::strtoull(list.substr(at, end - at).c_str(), nullptr, 10);
        // Only handles this process has are closed, whatever the variable says.
        const auto h = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value));
        DWORD flags = 0;
        if (value != 0 && GetHandleInformation(h, &flags)) {
            CloseHandle(h);
        }
        at = end + 1;
    }
    SetEnvironmentVariableA(kHandedOnLocksVariable, nullptr);
    return true;
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
