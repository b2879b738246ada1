#include "win/webview2_engine.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "win/webview2_view.h"
#include "win/win_text.h"

namespace tavrin::win {

const char* const kLoaderMissingText =
    "游戏网页组件缺失（WebView2Loader.dll），安装已损坏。\n请重新安装启动器。";
const char* const kRuntimeMissingText =
    "此电脑缺少 Microsoft Edge WebView2 运行时，无法显示登录页面和游戏。\n"
    "请从微软官网下载并安装“WebView2 运行时”（Evergreen 版），然后重新启动游戏。";
const char* const kEngineFailedText =
    "游戏网页组件（WebView2 运行时）无法启动。\n"
    "请重新安装“WebView2 运行时”后重新启动游戏；如仍无法启动，请联系客服。";

const char* const kRuntimeDownloadAddress = "https://go.microsoft.com/fwlink/p/?LinkId=2124703";
const char* const kRuntimeDownloadQuestion =
    "\n\n现在用浏览器下载微软的安装程序（MicrosoftEdgeWebview2Setup.exe）吗？";

bool RuntimeDownloadHelps(const std::string& whatToDo) {
    return whatToDo == kRuntimeMissingText || whatToDo == kEngineFailedText;
}

const char* const kProfileFolderText =
    "游戏网页组件无法使用它的数据文件夹：\n%s\n"
    "请确认该文件夹所在的磁盘有剩余空间、当前用户可以写入，然后重新启动游戏。";

namespace {

// Failures of the engine's start that come from its folder, not from the runtime.
bool IsFolderFailure(HRESULT result) {
    for (const DWORD error :
         {ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL, ERROR_PATH_NOT_FOUND,
          ERROR_WRITE_PROTECT, ERROR_INVALID_NAME, ERROR_DIRECTORY, ERROR_SHARING_VIOLATION}) {
        if (result == HRESULT_FROM_WIN32(error)) {
            return true;
        }
    }
    return result == E_ACCESSDENIED;
}

}  // namespace

std::string TakeEngineString(LPWSTR text) {
    if (text == nullptr) {
        return {};
    }
    std::string utf8 = Utf8FromWide(text);
    CoTaskMemFree(text);
    return utf8;
}

WebView2Engine::WebView2Engine(std::string programFolder) : m_strFolder(std::move(programFolder)) {}

WebView2Engine::~WebView2Engine() {
    m_environment.Reset();
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
            ? reinterpret_cast<wv2::VersionFunction>(reinterpret_cast<void*>(
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
    m_strVersion = TakeEngineString(found);
    Diagnose("tavrin: WebView2 runtime %s", m_strVersion.c_str());
    return true;
}

std::unique_ptr<WebView> WebView2Engine::CreateView(HWND parent, const RECT& bounds) {
    if (m_loader == nullptr || m_state == State::kFailed) {
        return nullptr;
    }
    return std::make_unique<WebView2View>(*this, parent, bounds);
}

void WebView2Engine::WhenStarted(std::function<void(wv2::ICoreWebView2Environment*)> ready) {
    switch (m_state) {
        case State::kStarted:
            ready(m_environment.Get());
            return;
        case State::kFailed:
            return;
        case State::kStarting:
            m_waiting.push_back(std::move(ready));
            return;
        case State::kIdle:
            break;
    }
    m_waiting.push_back(std::move(ready));
    m_state = State::kStarting;
    const auto create = reinterpret_cast<wv2::CreateEnvironmentFunction>(reinterpret_cast<void*>(
        GetProcAddress(m_loader, "CreateCoreWebView2EnvironmentWithOptions")));
    if (create == nullptr) {
        Started(E_NOINTERFACE, nullptr);
        return;
    }
    // A game's sound plays without waiting for a click, as in the Flash player.
    SetEnvironmentVariableW(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS",
                            L"--autoplay-policy=no-user-gesture-required");
    const std::wstring folder = ProfileFolder();
    if (folder.empty()) {
        Diagnose("no per-user folder for the browser profile: the engine chooses one");
    }
    auto done = MakeHandler<wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
        [this](HRESULT result, wv2::ICoreWebView2Environment* environment) {
            Started(result, environment);
            return S_OK;
        });
    const HRESULT result =
        create(nullptr, folder.empty() ? nullptr : folder.c_str(), nullptr, done.Get());
    if (FAILED(result) && m_state == State::kStarting) {
        Started(result, nullptr);
    }
}

std::wstring WebView2Engine::ProfileFolder() const {
    // Logins, storage and the games' saved data stay with the player between runs, in the
    // same per-user place as the launcher's other data; asked for in UTF-16, as a user name
    // need not fit the system's code page.
    if (!DataFolder().empty()) {
        return WideFromAnsi(DataFolder());
    }
    PWSTR local = nullptr;
    std::wstring folder;
    if (IsUsableBaseName(g_strBaseName) &&
        SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &local))) {
        folder = std::wstring(local) + L"\\" + WideFromAnsi(g_strBaseName) + L".browser\\";
    }
    CoTaskMemFree(local);
    return folder;
}

void WebView2Engine::Restart(wv2::ICoreWebView2Environment* environment) {
    if (m_state == State::kStarted && m_environment.Get() == environment) {
        Diagnose("tavrin: starting the WebView2 runtime again");
        m_state = State::kIdle;
        m_environment.Reset();
    }
}

void WebView2Engine::Started(HRESULT result, wv2::ICoreWebView2Environment* environment) {
    if (m_state != State::kStarting) {
        return;
    }
    std::vector<std::function<void(wv2::ICoreWebView2Environment*)>> waiting;
    waiting.swap(m_waiting);
    if (FAILED(result) || environment == nullptr) {
        m_state = State::kFailed;
        Diagnose("tavrin: the WebView2 runtime %s does not start (0x%08lx)", m_strVersion.c_str(),
                 static_cast<unsigned long>(result));
        std::string text = kEngineFailedText;
        if (IsFolderFailure(result)) {
            const std::string folder = Utf8FromWide(ProfileFolder());
            std::vector<char> buffer(std::strlen(kProfileFolderText) + folder.size() + 1);
            std::snprintf(buffer.data(), buffer.size(), kProfileFolderText, folder.c_str());
            text = buffer.data();
        }
        // Not from inside the loader's call: the player's answer waits in a box.
        m_mailbox.Post([this, text] {
            if (onFailed) {
                onFailed(text);
            }
        });
        return;
    }
    m_state = State::kStarted;
    m_environment = ComPtr<wv2::ICoreWebView2Environment>::Share(environment);
    for (auto& ready : waiting) {
        ready(m_environment.Get());
    }
}

ComPtr<wv2::ICoreWebView2WebResourceResponse> WebView2Engine::Response(int status,
                                                                       const std::string& headers,
                                                                       const std::string& body) {
    ComPtr<wv2::ICoreWebView2WebResourceResponse> response;
    if (!m_environment) {
        return response;
    }
    IStream* content = SHCreateMemStream(reinterpret_cast<const BYTE*>(body.data()),
                                         static_cast<UINT>(body.size()));
    const wchar_t* reason = status == 200 ? L"OK" : status == 403 ? L"Forbidden" : L"Not Found";
    m_environment->CreateWebResourceResponse(content, status, reason, WideFromUtf8(headers).c_str(),
                                             response.Put());
    if (content != nullptr) {
        content->Release();
    }
    return response;
}

}  // namespace tavrin::win
