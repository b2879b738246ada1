#include <windows.h>

#include <shlobj.h>

#include "platform/system_paths.h"

namespace tavrin::platform {

char PathSeparator() {
    return '\\';
}

const char* ExecutableSuffix() {
    return ".exe";
}

std::string ModuleFileName() {
    char buffer[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    return std::string(buffer, n);
}

std::string LocalAppDataFolder() {
    LPITEMIDLIST pidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_LOCAL_APPDATA, &pidl))) {
        return {};
    }
    char buffer[MAX_PATH] = {};
    const BOOL ok = SHGetPathFromIDListA(pidl, buffer);
    CoTaskMemFree(pidl);
    return ok ? std::string(buffer) : std::string();
}

std::string UserStateFolder() {
    return LocalAppDataFolder();
}

}  // namespace tavrin::platform
