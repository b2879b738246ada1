// The engine double: WebView2Loader.dll for machines where the Chromium-based engine cannot
// run (Wine). It implements, in this process, the engine's interfaces the launcher uses, as the
// engine's documentation describes them, choosing the least convenient behaviour it allows:
// every completion on a later message, a document script only for navigations started after
// its completion, resource filters matched against the normalised address with wildcards,
// deferrals that hold the page until completed, cookies from its own store, events in the
// engine's order on the thread that made the controller.
//
// It runs no JavaScript. Documents come from the network (WinInet) or from the launcher's
// resource handler; what a page's scripts would do, a test asks of the page here, and the
// double turns it into the engine's events as the launcher's page scripts would cause them.
// Tests reach it through the loader's extra export, TavrinEngineDouble().
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/url_fetch.h"

namespace tavrin::test {

// What a page got for a request.
struct DoubleResponse {
    bool fromLauncher = false;  // the launcher's resource handler answered it
    int status = 0;             // 0: no answer at all (the network failed)
    std::string headers;        // "Name: value" lines, CRLF-separated
    std::string body;
};

class PageDouble {
public:
    // The committed document's address (normalised) and text.
    virtual std::string Address() = 0;
    virtual std::string Text() = 0;
    // True when `window.external` is there: the launcher's bridge script was ready before
    // this document's navigation started.
    virtual bool HasExternal() = 0;
    // window.external.<method>(args...) as the bridge script makes it: a marked prompt. The
    // answer is the dialog's result text, or null (false) when it was dismissed.
    virtual void CallExternal(const std::string& request,
                              std::function<void(bool answered, std::string text)> done) = 0;
    // alert() (kind 0) or confirm() (kind 1); true when accepted.
    virtual void Dialog(int kind, const std::string& text, std::function<void(bool)> done) = 0;
    // A request of the page's (a synchronous XMLHttpRequest when `context` is 7, a font 5, a
    // script 6), with an Origin header when `origin` is not empty.
    virtual void Fetch(const std::string& address, int context, const std::string& origin,
                       std::function<void(DoubleResponse)> done) = 0;
    // A link or `location = ...`: a navigation of the page's own.
    virtual void Navigate(const std::string& address) = 0;
    // window.open(address).
    virtual void OpenWindow(const std::string& address) = 0;
    virtual void RequestFullScreen(bool on) = 0;
    // chrome.webview.postMessage(<json>): the launcher hears it on a later message, from this
    // document, when web messages were on as its navigation started (the engine's default);
    // otherwise the page has no chrome.webview and false comes back.
    virtual bool PostWebMessage(const std::string& json) = 0;
    // What the launcher posts to this document (JSON) goes to `message`, on a later message,
    // until another document commits.
    virtual void OnWebMessage(std::function<void(const std::string& json)> message) = 0;
    // The keys that reach the document (those the engine and the launcher leave to it) go to
    // `key` until another document commits.
    virtual void OnKey(std::function<void(UINT key)> key) = 0;
    // The scripts the launcher ran in this document, in order.
    virtual std::vector<std::string> Scripts() = 0;
};

class ViewDouble {
public:
    virtual PageDouble& Page() = 0;
    // The view's own child window in its parent.
    virtual HWND Window() = 0;
    virtual RECT Bounds() = 0;
    virtual bool Visible() = 0;
    virtual bool Closed() = 0;
    // How often the launcher told the view that its top-level window moved.
    virtual int PositionNotices() = 0;
    // A key pressed in the page (as the engine reports it to the launcher first); `repeat`
    // for one held down. False when the page does not have the keyboard focus.
    virtual bool PressKey(UINT key, bool control, bool repeat) = 0;
    // The page's renderer ends (a crash, or the system ended it).
    virtual void RendererExits() = 0;
    // What the engine itself did: "reload", "print", "find", "window <address>", "navigate
    // <address>", "complete <address> ok|failed".
    virtual std::vector<std::string> Log() = 0;
};

class EngineDouble {
public:
    // Forgets the views, cookies and faults of earlier runs.
    virtual void Reset() = 0;
    // The views made so far, the closed ones included, in order.
    virtual std::vector<ViewDouble*> Views() = 0;
    virtual void SetCookie(const platform::BrowserCookie& cookie) = 0;
    // The user data folder the launcher gave the engine.
    virtual std::wstring ProfileFolder() = 0;
    // The next start fails with `result` (0: starts again).
    virtual void FailStart(HRESULT result) = 0;
    // Cookies whose domain cannot be read (the getter fails, its out-parameter untouched).
    virtual void FailCookieDomains(bool fail) = 0;
    // The engine's browser process ends: every view of it is gone.
    virtual void BrowserExits() = 0;
    // True while one of the launcher's handlers runs.
    virtual bool InHandler() = 0;
    // Strings the double handed out that were freed again after they had been freed (the
    // second free is kept from reaching the heap).
    virtual int DoubleFrees() = 0;
};

}  // namespace tavrin::test

extern "C" __declspec(dllexport) tavrin::test::EngineDouble* TavrinEngineDouble();
