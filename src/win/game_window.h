// The game window on Windows: opens at the large frame, carries the player's view where the
// shared layout puts the Flash control, reports F5, its close and the movie's refresh to the
// flow. Its frame pictures and title-strip buttons come with the shared rules' paint layout.
#pragma once

#include <windows.h>

#include <memory>

#include "app/config.h"
#include "flow/game_frame.h"
#include "flow/launcher_events.h"
#include "win/web_engine.h"

namespace tavrin::win {

class GameWindow {
public:
    GameWindow(LauncherEvents& events, WebEngine& engine, ClientConfigData config);
    ~GameWindow();
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    // Makes the window at the large frame and loads the movie; false when it cannot.
    bool Create();
    void Show();
    void Hide();
    void FocusPlayer();

    HWND Window() const { return m_hwnd; }
    WebView* Player() const { return m_player.get(); }
    const ClientConfigData& Config() const { return m_config; }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();

    LauncherEvents& m_events;
    WebEngine& m_engine;
    const ClientConfigData m_config;
    HWND m_hwnd = nullptr;
    std::unique_ptr<WebView> m_player;
};

// The primary screen as the frame rules measure it.
ScreenMetrics PrimaryScreen();

}  // namespace tavrin::win
