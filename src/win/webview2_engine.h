// The Chromium-based engine Windows ships (WebView2), found at run time: its loader
// (WebView2Loader.dll, shipped by the operator beside the program) and the engine's runtime
// on the machine. Without either the player is told what to do and the launcher ends. The
// engine starts once, with the launcher's profile folder; each view is a controller of it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/com_ptr.h"
#include "win/ui_mailbox.h"
#include "win/web_engine.h"
#include "win/webview2_view.h"

namespace tavrin::win {

class WebView2Engine : public WebView2Host {
public:
    // Looks for the loader in `programFolder` (with its separator).
    explicit WebView2Engine(std::string programFolder);
    ~WebView2Engine() override;
    WebView2Engine(const WebView2Engine&) = delete;
    WebView2Engine& operator=(const WebView2Engine&) = delete;

    bool Available(std::string& whatToDo) override;
    std::unique_ptr<WebView> CreateView(HWND parent, const RECT& bounds) override;

    // The runtime's version, once Available has found it.
    const std::string& Version() const { return m_strVersion; }
    std::string Description() const override { return "WebView2 runtime " + m_strVersion; }

    void WhenStarted(std::function<void(wv2::ICoreWebView2Environment*)> ready) override;
    void Restart(wv2::ICoreWebView2Environment* environment) override;
    ComPtr<wv2::ICoreWebView2WebResourceResponse> Response(int status, const std::string& headers,
                                                           const std::string& body) override;
    // Where the engine keeps the player's logins and the games' saved data.
    std::wstring ProfileFolder() const;

private:
    void Started(HRESULT result, wv2::ICoreWebView2Environment* environment);

    std::string m_strFolder;
    HMODULE m_loader = nullptr;
    std::string m_strVersion;
    enum class State { kIdle, kStarting, kStarted, kFailed } m_state = State::kIdle;
    ComPtr<wv2::ICoreWebView2Environment> m_environment;
    std::vector<std::function<void(wv2::ICoreWebView2Environment*)>> m_waiting;
    UiMailbox m_mailbox;
};

// What the player reads when the loader is missing, when the runtime is, and when the engine
// is there but does not start.
extern const char* const kLoaderMissingText;
extern const char* const kRuntimeMissingText;
extern const char* const kEngineFailedText;
// When the engine cannot use its folder (no right to write there, a full disk); %s is the
// folder.
extern const char* const kProfileFolderText;
// Microsoft's runtime installer (the Evergreen bootstrapper, which fetches the rest), offered
// to the player in the boxes it would help: those about a missing runtime and one that does
// not start. The question ends those boxes.
extern const char* const kRuntimeDownloadAddress;
extern const char* const kRuntimeDownloadQuestion;
bool RuntimeDownloadHelps(const std::string& whatToDo);

}  // namespace tavrin::win
