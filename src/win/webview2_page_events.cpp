// What the engine tells the view about its page as it goes: dialogs (the login pages' bridge
// among them), new windows, keys, full screen and the ends of the engine's processes.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <utility>

#include "app/diagnostics.h"
#include "platform/url_fetch.h"
#include "win/message_box.h"
#include "win/shell_open.h"
#include "win/webview2_view.h"
#include "win/win_text.h"

namespace tavrin::win {

namespace {

// The mark of a `window.external` call in the page's prompt().
constexpr wchar_t kBridgeMark[] = L"\u0001tavrin-bridge";

}  // namespace

HRESULT WebView2View::OnDialog(wv2::ICoreWebView2ScriptDialogOpeningEventArgs* args) {
    int kind = wv2::kDialogAlert;
    args->get_Kind(&kind);
    LPWSTR rawMessage = nullptr;
    args->get_Message(&rawMessage);
    const std::wstring message = rawMessage != nullptr ? rawMessage : L"";
    CoTaskMemFree(rawMessage);
    if (kind == wv2::kDialogPrompt && message == kBridgeMark) {
        // A call of `window.external`, from a frame of the page's own origin only.
        LPWSTR rawUri = nullptr;
        args->get_Uri(&rawUri);
        LPWSTR rawText = nullptr;
        args->get_DefaultText(&rawText);
        const std::string request = TakeEngineString(rawText);
        // The page that is there now: a navigation that started but never replaced it (a
        // download, one that failed) does not change whose calls these are.
        LPWSTR rawSource = nullptr;
        m_view->get_Source(&rawSource);
        const std::string page = OriginOf(TakeEngineString(rawSource));
        if (!page.empty() && OriginOf(TakeEngineString(rawUri)) == page) {
            args->put_ResultText(WideFromUtf8(AnswerExternalCall(request)).c_str());
            args->Accept();
        }
        return S_OK;
    }
    if (kind != wv2::kDialogAlert && kind != wv2::kDialogConfirm) {
        // A page's own prompt (the launcher has no text box for it) or a question before
        // leaving it: left as if dismissed, or let go.
        if (kind != wv2::kDialogPrompt) {
            args->Accept();
        }
        return S_OK;
    }
    // The page's alert or confirm in the launcher's own box, once the engine's handler has
    // returned; the page waits for it.
    ComPtr<wv2::ICoreWebView2Deferral> deferral;
    args->GetDeferral(deferral.Put());
    auto pending = ComPtr<wv2::ICoreWebView2ScriptDialogOpeningEventArgs>::Share(args);
    HWND owner = GetAncestor(m_parent, GA_ROOT);
    m_mailbox.Post([pending, deferral, owner, kind, text = Utf8FromWide(message)] {
        const MessageAnswer answer = ShowMessage(
            owner, {kind == wv2::kDialogConfirm ? MessageKind::kYesNo : MessageKind::kOk, text,
                    MessageOwner::kNone, MessageIcon::kUsual});
        if (answer == MessageAnswer::kOk || answer == MessageAnswer::kYes) {
            pending->Accept();
        }
        if (deferral) {
            deferral->Complete();
        }
    });
    return S_OK;
}

HRESULT WebView2View::OnNewWindow(wv2::ICoreWebView2NewWindowRequestedEventArgs* args) {
    LPWSTR uri = nullptr;
    args->get_Uri(&uri);
    const std::string address = TakeEngineString(uri);
    // No window of the engine's own: the address goes to the player's browser, once the
    // page's script that asked has gone on.
    args->put_Handled(TRUE);
    if (IsWebAddress(address)) {
        m_mailbox.Post([address] { OpenWebAddress(address); });
    } else {
        Diagnose("browser: a new window for %s was not opened", address.c_str());
    }
    return S_OK;
}

HRESULT WebView2View::OnKey(wv2::ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
    int kind = wv2::kKeyUp;
    args->get_KeyEventKind(&kind);
    UINT key = 0;
    args->get_VirtualKey(&key);
    if (kind != wv2::kKeyDown && kind != wv2::kSystemKeyDown) {
        return S_OK;
    }
    // A key held down repeats: the launcher acts on its first press only.
    INT lParam = 0;
    args->get_KeyEventLParam(&lParam);
    const bool repeat = (lParam & (1 << 30)) != 0;
    // F5 never reloads a page of the launcher's; the window decides what it means.
    const bool taken = !repeat && onKey && onKey(key);
    if (taken || key == VK_F5) {
        args->put_Handled(TRUE);
    }
    return S_OK;
}

HRESULT WebView2View::OnFullScreenChanged() {
    BOOL contains = FALSE;
    m_view->get_ContainsFullScreenElement(&contains);
    if ((contains != FALSE) != m_bFullScreen) {
        m_bFullScreen = contains != FALSE;
        if (onFullScreen) {
            onFullScreen(m_bFullScreen);
        }
    }
    return S_OK;
}

HRESULT WebView2View::OnProcessFailed(wv2::ICoreWebView2ProcessFailedEventArgs* args) {
    int kind = 0;
    args->get_ProcessFailedKind(&kind);
    Diagnose("browser: a process of the engine ended (kind %d) while showing %s", kind,
             m_strLocation.c_str());
    std::weak_ptr<WebView2View*> self = m_self;
    // Not from inside the engine's handler: the view may be made anew.
    if (kind == wv2::kBrowserProcessExited) {
        m_mailbox.Post([self] {
            if (const auto view = self.lock()) {
                (*view)->Recreate();
            }
        });
    } else if (kind == wv2::kRenderProcessExited) {
        // The page is gone and an error page shows: the same page again.
        m_mailbox.Post([self] {
            const auto view = self.lock();
            if (view && (*view)->m_view) {
                (*view)->m_view->Reload();
            }
        });
    }
    return S_OK;
}

void WebView2View::Recreate() {
    m_engine.Restart(m_environment.Get());
    if (m_controller) {
        m_controller->Close();
    }
    m_controller.Reset();
    m_view.Reset();
    m_environment.Reset();
    m_bExternalInstalled = false;
    m_bScriptPending = false;
    m_movieFilters.clear();
    if (m_bFullScreen) {
        m_bFullScreen = false;
        if (onFullScreen) {
            onFullScreen(false);
        }
    }
    m_waiting.clear();
    // What the view showed comes back in the new one.
    if (!m_strPage.empty() && NormalisedAddress(m_strLocation) == m_strMovieUri) {
        ShowPlayerPage(m_strMovie, m_strPage);
    } else if (!m_strLocation.empty()) {
        Navigate(m_strLocation);
    }
    MakeController();
}

// The player page's messages ({"id": N, ...}; its game sockets' calls), from the movie's own
// document only, each answered to the page that asked with {"id": N, "answer": ...}.
HRESULT WebView2View::OnWebMessage(wv2::ICoreWebView2WebMessageReceivedEventArgs* args) {
    LPWSTR rawSource = nullptr;
    args->get_Source(&rawSource);
    const std::string source = TakeEngineString(rawSource);
    if (m_strMovieUri.empty() || !onPageMessage ||
        OriginOf(NormalisedAddress(source)) != OriginOf(m_strMovieUri)) {
        Diagnose("player: a message of %s ignored: not the player's page",
                 AddressForLog(source).c_str());
        return S_OK;
    }
    LPWSTR rawJson = nullptr;
    args->get_WebMessageAsJson(&rawJson);
    const nlohmann::json message = nlohmann::json::parse(TakeEngineString(rawJson), nullptr, false);
    const auto id = message.is_object() ? message.find("id") : message.end();
    if (!message.is_object() || id == message.end() || !id->is_number_integer()) {
        return S_OK;
    }
    std::weak_ptr<WebView2View*> self = m_self;
    onPageMessage(message.dump(), [self, id = id->get<std::int64_t>(),
                                   page = m_nPlayerPage](const std::string& answer) {
        const auto view = self.lock();
        if (!view || (*view)->m_nPlayerPage != page || !(*view)->m_view) {
            return;  // the page that asked has gone
        }
        const nlohmann::json reply{{"id", id},
                                   {"answer", nlohmann::json::parse(answer, nullptr, false)}};
        (*view)->m_view->PostWebMessageAsJson(WideFromUtf8(reply.dump()).c_str());
    });
    return S_OK;
}

}  // namespace tavrin::win
