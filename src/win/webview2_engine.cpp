#include "win/webview2_engine.h"

#include <objbase.h>

#include <utility>

#include "app/diagnostics.h"
#include "win/win_text.h"

namespace tavrin::win {

const char* const kLoaderMissingText =
    "游戏网页组件缺失（WebView2Loader.dll），安装已损坏。\n请重新安装启动器。";
const char* const kRuntimeMissingText =
    "此电脑缺少 Microsoft Edge WebView2 运行时，无法显示登录页面和游戏。\n"
    "请从微软官网下载并安装“WebView2 运行时”（Evergreen 版），然后重新启动游戏。";

namespace {

// The loader's export that names the installed runtime's version, or fails without one.
using VersionFunction = HRESULT(STDAPICALLTYPE*)(PCWSTR browserFolder, LPWSTR* version);

}  // namespace

WebView2Engine::WebView2Engine(std::string programFolder) : m_strFolder(std::move(programFolder)) {}

WebView2Engine::~WebView2Engine() {
    if (m_loader != nullptr) {
        FreeLibrary(m_loader);
    }
}

bool WebView2Engine::Available(std::string& whatToDo) {
    if (m_loader == nullptr) {
        // From the program's own folder only: a loader elsewhere on the search path is
        // not the one the operator shipped.
        const std::wstring path = WideFromAnsi(m_strFolder + "WebView2Loader.dll");
        m_loader = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    const auto version =
        m_loader != nullptr
            ? reinterpret_cast<VersionFunction>(reinterpret_cast<void*>(
                  GetProcAddress(m_loader, "GetAvailableCoreWebView2BrowserVersionString")))
            : nullptr;
    if (version == nullptr) {
        Diagnose("tavrin: no usable WebView2Loader.dll in %s", m_strFolder.c_str());
        whatToDo = kLoaderMissingText;
        return false;
    }
    LPWSTR found = nullptr;
    const HRESULT result = version(nullptr, &found);
    if (FAILED(result) || found == nullptr) {
        Diagnose("tavrin: no WebView2 runtime on this machine (0x%08lx)",
                 static_cast<unsigned long>(result));
        whatToDo = kRuntimeMissingText;
        return false;
    }
    m_strVersion = Utf8FromWide(found);
    CoTaskMemFree(found);
    Diagnose("tavrin: WebView2 runtime %s", m_strVersion.c_str());
    return true;
}

std::unique_ptr<WebView> WebView2Engine::CreateView(HWND, const RECT&) {
    return nullptr;
}

}  // namespace tavrin::win
