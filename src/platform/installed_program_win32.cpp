#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/installed_program.h"

namespace tavrin::platform {

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::wstring WideFromAnsi(const std::string& text) {
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    }
    return wide;
}

std::wstring ReadString(HKEY key, const wchar_t* value) {
    wchar_t text[2048] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    return text;
}

// A folder as entries write it: maybe quoted, maybe with a closing separator.
std::wstring PlainFolder(std::wstring folder) {
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
        folder = folder.substr(1, folder.size() - 2);
    }
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder;
}

// The folder of an icon entry: "C:\x\tavrin.exe", "C:\x\tavrin.exe",0 or C:\x\tavrin.exe,0.
std::wstring IconFolder(std::wstring icon) {
    if (!icon.empty() && icon.front() == L'"') {
        icon = icon.substr(1, icon.find(L'"', 1) - 1);
    } else if (const std::size_t comma = icon.rfind(L','); comma != std::wstring::npos) {
        icon.resize(comma);
    }
    const std::size_t slash = icon.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : icon.substr(0, slash);
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string ProgramFileVersion(const std::string& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    std::vector<char> info(size);
    struct Language {
        WORD language;
        WORD codePage;
    }* languages = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(file.c_str(), 0, size, info.data()) ||
        !VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&languages), &length) ||
        length < sizeof(Language)) {
        return {};
    }
    char path[64];
    std::snprintf(path, sizeof(path), "\\StringFileInfo\\%04x%04x\\ProductVersion",
                  languages->language, languages->codePage);
    char* version = nullptr;
    if (!VerQueryValueA(info.data(), path, reinterpret_cast<void**>(&version), &length) ||
        length == 0) {
        return {};
    }
    return std::string(version, strnlen(version, length));
}

int RecordInstalledVersion(const std::string& folder, const std::string& version) {
    HKEY entries = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &entries) != ERROR_SUCCESS) {
        return 0;
    }
    const std::wstring program = PlainFolder(WideFromAnsi(folder));
    const std::wstring text = WideFromAnsi(version);
    int recorded = 0;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        if (RegEnumKeyExW(entries, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        HKEY entry = nullptr;
        if (RegOpenKeyExW(entries, name, 0, KEY_READ | KEY_SET_VALUE, &entry) != ERROR_SUCCESS) {
            continue;
        }
        if ((SameFolder(PlainFolder(ReadString(entry, L"InstallLocation")), program) ||
             SameFolder(IconFolder(ReadString(entry, L"DisplayIcon")), program)) &&
            RegSetValueExW(
                entry, L"DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS) {
            ++recorded;
        }
        RegCloseKey(entry);
    }
    RegCloseKey(entries);
    return recorded;
}

}  // namespace tavrin::platform
