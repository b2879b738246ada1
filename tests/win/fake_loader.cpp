// A WebView2 loader of a machine without the engine's runtime: it answers as the real loader
// does there (measured under Wine: the file-not-found error).
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    GetAvailableCoreWebView2BrowserVersionString(PCWSTR, LPWSTR* version) {
    *version = nullptr;
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}
