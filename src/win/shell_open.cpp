#include "win/shell_open.h"

#include <windows.h>

#include <shellapi.h>

#include <cctype>
#include <utility>

#include "win/win_text.h"

namespace tavrin::win {

bool IsWebAddress(const std::string& address) {
    std::string scheme = address.substr(0, address.find(':'));
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return (scheme == "http" || scheme == "https") && address.find("://") == scheme.size();
}

namespace {
std::function<void(const std::string&)> g_hook;
}  // namespace

void SetBrowserOpenHook(std::function<void(const std::string&)> hook) {
    g_hook = std::move(hook);
}

void OpenWebAddress(const std::string& address) {
    if (!IsWebAddress(address)) {
        return;
    }
    if (g_hook) {
        g_hook(address);
        return;
    }
    const std::wstring wide = WideFromUtf8(address);
    ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace tavrin::win
