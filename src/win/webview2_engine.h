// The Chromium-based engine Windows ships (WebView2), found at run time: its loader
// (WebView2Loader.dll, shipped by the operator beside the program) and the engine's runtime
// on the machine. Without either the player is told what to do and the launcher ends.
#pragma once

#include <windows.h>

#include <string>

#include "win/web_engine.h"

namespace tavrin::win {

class WebView2Engine : public WebEngine {
public:
    // Looks for the loader in `programFolder` (with its separator).
    explicit WebView2Engine(std::string programFolder);
    ~WebView2Engine() override;
    WebView2Engine(const WebView2Engine&) = delete;
    WebView2Engine& operator=(const WebView2Engine&) = delete;

    bool Available(std::string& whatToDo) override;
    // The engine's views are not built yet: none, so the window that asked says it cannot
    // show its page.
    std::unique_ptr<WebView> CreateView(HWND parent, const RECT& bounds) override;

    // The runtime's version, once Available has found it.
    const std::string& Version() const { return m_strVersion; }

private:
    std::string m_strFolder;
    HMODULE m_loader = nullptr;
    std::string m_strVersion;
};

// What the player reads when the loader is missing, and when the runtime is.
extern const char* const kLoaderMissingText;
extern const char* const kRuntimeMissingText;

}  // namespace tavrin::win
