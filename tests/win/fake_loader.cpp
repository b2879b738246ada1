// WebView2 loaders of machines where the engine does not run. By default the loader of a
// machine without the engine's runtime: it answers as the real loader does there (measured
// under Wine: the file-not-found error). With FAKE_RUNTIME_BROKEN, a runtime that is there but
// does not start: the environment's completion reports the failure, as a damaged runtime
// does (an unusable profile folder is the engine double's case).
#include <windows.h>

#include "win/webview2_api.h"

namespace wv2 = tavrin::win::wv2;

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    GetAvailableCoreWebView2BrowserVersionString(PCWSTR, LPWSTR* version) {
#ifdef FAKE_RUNTIME_BROKEN
    static const wchar_t kVersion[] = L"120.0.2210.91";
    *version = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kVersion));
    CopyMemory(*version, kVersion, sizeof kVersion);
    return S_OK;
#else
    *version = nullptr;
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
#endif
}

#ifdef FAKE_RUNTIME_BROKEN
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR, PCWSTR, wv2::ICoreWebView2EnvironmentOptions*,
    wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* done) {
    done->Invoke(E_FAIL, nullptr);
    return S_OK;
}
#endif
