#include "win/win_text.h"

#include <windows.h>

#include "app/app_globals.h"
#include "app/version.h"

namespace tavrin::win {

namespace {

std::wstring Widen(UINT codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    }
    return wide;
}

}  // namespace

std::wstring WideFromUtf8(std::string_view utf8) {
    return Widen(CP_UTF8, utf8);
}

std::wstring WideFromAnsi(std::string_view ansi) {
    return Widen(CP_ACP, ansi);
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    }
    return utf8;
}

std::wstring CaptionName() {
    return kProductName[0] != '\0' ? WideFromUtf8(kProductName) : WideFromAnsi(g_strBaseName);
}

}  // namespace tavrin::win
