#include "win/shell_open.h"

#include <windows.h>

#include <shellapi.h>

#include <cctype>

#include "win/win_text.h"

namespace tavrin::win {

bool IsWebAddress(const std::string& address) {
    std::string scheme = address.substr(0, address.find(':'));
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return (scheme == "http" || scheme == "https") && address.find("://") == scheme.size();
}

void OpenWebAddress(const std::string& address) {
    if (!IsWebAddress(address)) {
        return;
    }
    const std::wstring wide = WideFromUtf8(address);
    ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace tavrin::win
