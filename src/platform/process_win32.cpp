#include <windows.h>
// shellapi.h needs the declarations of windows.h before it.
#include <shellapi.h>

#include <io.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_system.h"
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
                   const std::vector<std::intptr_t>& handedOn) {
    if (handedOn.empty()) {
        return ShellOpen(program, argument);
    }
    // Inheritable copies of the mutexes: the names exist, so another copy of the launcher
    // sees them taken, for as long as the program keeps its handles.
    std::vector<HANDLE> handles;
    for (const std::intptr_t native : handedOn) {
        HANDLE copy = nullptr;
        const auto own = reinterpret_cast<HANDLE>(native);
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

namespace {

// The handles named in the variable that this process really has, whatever it says.
std::vector<HANDLE> HandedOnHandles() {
    std::vector<HANDLE> handles;
    char values[512];
    const DWORD n = GetEnvironmentVariableA(kHandedOnLocksVariable, values, sizeof values);
    if (n == 0 || n >= sizeof values) {
        return handles;
    }
    std::string list(values, n);
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t end = std::min(list.find(',', at), list.size());
        const unsigned long long value =
            std::strtoull(list.substr(at, end - at).c_str(), nullptr, 10);
        const auto h = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value));
        DWORD flags = 0;
        if (value != 0 && GetHandleInformation(h, &flags)) {
            handles.push_back(h);
        }
        at = end + 1;
    }
    return handles;
}

// The process that started this one, from the system's list of processes; 0 when unknown.
DWORD ParentProcessId() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD parent = 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

}  // namespace

std::string SingleArgument(int, char**) {
    // The program's name, quoted or up to the first blank, then the blanks after it.
    const char* line = GetCommandLineA();
    if (*line == '"') {
        const char* end = std::strchr(line + 1, '"');
        line = end != nullptr ? end + 1 : line + std::strlen(line);
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t') {
            ++line;
        }
    }
    while (*line == ' ' || *line == '\t') {
        ++line;
    }
    return line;
}

std::vector<std::intptr_t> HandedOnLocks() {
    std::vector<std::intptr_t> locks;
    for (HANDLE h : HandedOnHandles()) {
        locks.push_back(reinterpret_cast<std::intptr_t>(h));
    }
    return locks;
}

bool OwnHandedOnLocks(int timeoutMs) {
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (HANDLE h : HandedOnHandles()) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < until ? static_cast<DWORD>(until - now) : 0;
        // Abandoned when the launcher's thread that owned it has ended: ours all the same.
        const DWORD wait = WaitForSingleObject(h, left);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
            return false;
        }
    }
    return true;
}

bool ReleaseHandedOnLocks() {
    char probe[2];
    if (GetEnvironmentVariableA(kHandedOnLocksVariable, probe, sizeof probe) == 0) {
        return false;
    }
    for (HANDLE h : HandedOnHandles()) {
        CloseHandle(h);
    }
    SetEnvironmentVariableA(kHandedOnLocksVariable, nullptr);
    return true;
}

bool WaitForParentToEnd(const std::string& programPath, int timeoutMs) {
    const DWORD parentId = ParentProcessId();
    HANDLE parent = parentId != 0 ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                                                FALSE, parentId)
                                  : nullptr;
    if (parent == nullptr) {
        return true;  // gone already
    }
    // The number may have passed to another process since: only the launcher is waited for.
    char image[MAX_PATH * 2];
    DWORD size = sizeof image;
    const bool isProgram = QueryFullProcessImageNameA(parent, 0, image, &size) &&
                           SameFileName(std::string(image, size), programPath);
    const bool ended =
        !isProgram || WaitForSingleObject(parent, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
    CloseHandle(parent);
    return ended;
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
