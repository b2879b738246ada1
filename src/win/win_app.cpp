#include "win/win_app.h"

#include <windows.h>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "app/version.h"
#include "game/player_font.h"
#include "platform/system_paths.h"
#include "win/message_box.h"
#include "win/shell_open.h"
#include "win/webview2_engine.h"

namespace tavrin::win {

namespace {

// What the player is told about the engine; where Microsoft's runtime would help, the box
// offers to fetch its installer in the player's browser.
void TellAboutEngine(const std::string& whatToDo) {
    if (!RuntimeDownloadHelps(whatToDo)) {
        ShowMessage(nullptr, {MessageKind::kOk, whatToDo});
    } else if (ShowMessage(nullptr, {MessageKind::kYesNo, whatToDo + kRuntimeDownloadQuestion}) ==
               MessageAnswer::kYes) {
        Diagnose("tavrin: opening the WebView2 runtime's download for the player");
        OpenWebAddress(kRuntimeDownloadAddress);
    }
}

}  // namespace

int RunLauncher(WebEngine& engine, const std::string& iniPath) {
    g_strBaseName = ComputeBaseName(GetModulePath());
    // From here on every diagnostic line is also kept, for whoever helps the player.
    SetDiagnosticsFile(DiagnosticsFileFor(platform::UserStateFolder(), g_strBaseName));
    Diagnose("tavrin: version %s starting as %s", kLauncherVersionText, g_strBaseName.c_str());
    // Text and pictures are drawn for the screen's real pixels, not scaled up by the system.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // Before anything else: without an engine there is no login page and no game.
    std::string whatToDo;
    if (!engine.Available(whatToDo)) {
        TellAboutEngine(whatToDo);
        return kExitNoWebEngine;
    }
    WinLauncher launcher(engine);
    // An engine that was there but does not start after all: said, then the program ends.
    engine.onFailed = [&launcher](const std::string& failure) {
        TellAboutEngine(failure);
        launcher.flow.RunExitSequence(kExitNoWebEngine);
    };
    launcher.services.Configure(iniPath.empty() ? ConfigIniPath() : iniPath, g_strBaseName);
    // Ready long before a game window asks for it.
    PreparePlayerFont(PlayerFontCacheFolder());
    if (launcher.flow.Start()) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    engine.onFailed = nullptr;
    return launcher.flow.ExitCode();
}

}  // namespace tavrin::win
