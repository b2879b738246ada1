// The web engine behind the Windows windows: a browser view in a window, and what it tells
// its owner. The real one is the Chromium-based engine Windows ships; a stand-in draws a plain
// page and lets tests play the page's part, so that every window runs where no engine does.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/url_fetch.h"

namespace tavrin::win {

struct PlayerAddresses {
    std::string files;
    std::string scriptOrigin;
    std::string fontUrl;
    std::string bridge;
    // How the page's game sockets reach the launcher: "webmessage" (the engine's web
    // messages); none for an engine that has no channel (its movies' sockets fail).
    std::string channel;
};

class WebView {
public:
    virtual ~WebView() = default;

    virtual void Navigate(const std::string& address) = 0;
    // The address of the latest navigation, exactly as it was asked for.
    virtual std::string Location() const = 0;
    // True when there is a page before the current one (not a blank one) to go back to.
    virtual bool CanGoBack() const = 0;
    virtual void GoBack() = 0;
    // The cookies the view's pages have set, for the launcher's own fetches.
    virtual std::vector<platform::BrowserCookie> Cookies() const = 0;
    // Where the view lies in its parent window, in the parent's pixels.
    virtual void SetBounds(const RECT& bounds) = 0;
    virtual void Focus() = 0;

    // Where this view's player pages find Ruffle's files, the Chinese font and the bridge to
    // their player (PlayerPageSetup's files, scriptOrigin, fontUrl, bridge); `token` is the
    // secret that only the page knows.
    virtual PlayerAddresses AddressesFor(const std::string& token) const = 0;
    // Plays a game movie: `page` shown as the document at `movie`, so that the page has the
    // movie's origin. Its messages come to onPageMessage.
    virtual void ShowPlayerPage(const std::string& movie, const std::string& page) = 0;
    // Runs a script in the page, not waiting for what it gives.
    virtual void RunScript(const std::string& script) = 0;
    // Leaves the page's full screen, if it is in it.
    virtual void ExitFullScreen() = 0;
    // The top-level window holding the view moved: pop-ups of the page (its drop-down lists,
    // the input method's candidates) follow it.
    virtual void ParentMoved() = 0;

    // Told, after the current message, when the document of the latest navigation is
    // complete, with its address.
    std::function<void(const std::string& address)> onDocumentComplete;
    // A message of the player page, to be answered once, now or later, on this thread.
    using Answer = std::function<void(const std::string& answer)>;
    std::function<void(const std::string& message, Answer answer)> onPageMessage;
    // The page asks for full screen (true) or leaves it.
    std::function<void(bool on)> onFullScreen;
    // A key the page would get; true when the launcher took it (F5, Esc in full screen).
    std::function<bool(UINT key)> onKey;
};

class WebEngine {
public:
    virtual ~WebEngine() = default;
    // False, with what the player must do, when the engine cannot run on this machine.
    virtual bool Available(std::string& whatToDo) = 0;
    // A view in `parent`, at `bounds`; null when the engine cannot make one.
    virtual std::unique_ptr<WebView> CreateView(HWND parent, const RECT& bounds) = 0;
    // What the engine is, with its version once Available has found it (for reports).
    virtual std::string Description() const { return "stand-in engine"; }

    // Where the player pages' files (Ruffle's) are read from.
    void SetPlayerFolder(std::string folder) { m_strPlayerFolder = std::move(folder); }
    const std::string& PlayerFolder() const { return m_strPlayerFolder; }
    // Where the engine keeps its profile, when not the player's own (a check's or the
    // self-test's run keeps nothing of the player's); set before the first view.
    void SetDataFolder(std::string folder) { m_strDataFolder = std::move(folder); }
    const std::string& DataFolder() const { return m_strDataFolder; }

    // Told what the engine delivered with the first bridge request of each player page (its
    // Origin header, or that it had none): the engine may hand requests over before its network
    // stack adds headers, and the self-test reports what it does.
    std::function<void(const std::string& headers)> onPlayerRequest;

    // Told, after the current message, when the engine that was available cannot start after
    // all (its runtime damaged, its profile folder not writable), with what the player must do.
    std::function<void(const std::string& whatToDo)> onFailed;

private:
    std::string m_strPlayerFolder;
    std::string m_strDataFolder;
};

}  // namespace tavrin::win
