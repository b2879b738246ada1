// The COM interfaces of the Chromium-based engine Windows ships (WebView2), as far as the
// launcher uses them: written from the engine's published interface definition, whose
// interface identifiers and method order are the binary interface. Each interface lists every
// method up to the last one used, in order; those the launcher never calls hold their place
// as `Unused...` slots without their parameters. Names follow the definition's, so that its
// documentation reads for them.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <cstdint>

namespace tavrin::win::wv2 {

// An interface identifier from its text form ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx").
constexpr int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : throw "not a hex digit";
}
constexpr std::uint64_t HexAt(const char* text, int at, int digits) {
    std::uint64_t value = 0;
    for (int i = 0; i < digits; ++i) {
        value = value * 16 + static_cast<std::uint64_t>(HexDigit(text[at + i]));
    }
    return value;
}
constexpr GUID Iid(const char (&text)[37]) {
    GUID id{static_cast<unsigned long>(HexAt(text, 0, 8)),
            static_cast<unsigned short>(HexAt(text, 9, 4)),
            static_cast<unsigned short>(HexAt(text, 14, 4)),
            {}};
    const int bytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) {
        id.Data4[i] = static_cast<unsigned char>(HexAt(text, bytes[i], 2));
    }
    return id;
}

struct EventToken {
    std::int64_t value;
};

#define TAVRIN_WV2_UNUSED(name) virtual HRESULT STDMETHODCALLTYPE Unused##name() = 0

enum WebResourceContext { kResourceAll = 0, kResourceDocument = 1 };
enum ScriptDialogKind { kDialogAlert = 0, kDialogConfirm = 1, kDialogPrompt = 2 };
enum KeyEventKind { kKeyDown = 0, kKeyUp = 1, kSystemKeyDown = 2, kSystemKeyUp = 3 };
enum MoveFocusReason { kFocusProgrammatic = 0 };
enum ProcessFailedKind {
    kBrowserProcessExited = 0,
    kRenderProcessExited = 1,
    kRenderProcessUnresponsive = 2,
    kFrameRenderProcessExited = 3,
};

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;

struct ICoreWebView2Deferral : IUnknown {
    static constexpr GUID kIid = Iid("c10e7f7b-b585-46f0-a623-8befbf3e4ee0");
    virtual HRESULT STDMETHODCALLTYPE Complete() = 0;
};

struct ICoreWebView2HttpRequestHeaders : IUnknown {
    static constexpr GUID kIid = Iid("e86cac0e-5523-465c-b536-8fb9fc8c8c60");
    virtual HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) = 0;
};

struct ICoreWebView2WebResourceRequest : IUnknown {
    static constexpr GUID kIid = Iid("97055cd4-512c-4264-8b5f-e3f446cea6a5");
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    TAVRIN_WV2_UNUSED(put_Uri);
    virtual HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) = 0;
    TAVRIN_WV2_UNUSED(put_Method);
    TAVRIN_WV2_UNUSED(get_Content);
    TAVRIN_WV2_UNUSED(put_Content);
    virtual HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** headers) = 0;
};

struct ICoreWebView2WebResourceResponse : IUnknown {
    static constexpr GUID kIid = Iid("aafcc94f-fa27-48fd-97df-830ef75aaec9");
};

struct ICoreWebView2WebResourceRequestedEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("453e667f-12c7-49d4-be6d-ddbe7956f57a");
    virtual HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) = 0;
    TAVRIN_WV2_UNUSED(get_Response);
    virtual HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ResourceContext(int* context) = 0;
};

struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("5b495469-e119-438a-9b18-7604f25f2e49");
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    TAVRIN_WV2_UNUSED(get_IsUserInitiated);
    TAVRIN_WV2_UNUSED(get_IsRedirected);
    TAVRIN_WV2_UNUSED(get_RequestHeaders);
    TAVRIN_WV2_UNUSED(get_Cancel);
    TAVRIN_WV2_UNUSED(put_Cancel);
    virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* id) = 0;
};

struct ICoreWebView2NavigationCompletedEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("30d68b7d-20d9-4752-a9ca-ec8448fbb5c1");
    virtual HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* success) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WebErrorStatus(int* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* id) = 0;
};

// What the page posted with chrome.webview.postMessage, and from which document.
struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("0f99a40c-e962-4207-9e92-e3d542eff849");
    virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) = 0;
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("34acb11c-fc37-4418-9132-f9c21d1eafb9");
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    TAVRIN_WV2_UNUSED(put_NewWindow);
    TAVRIN_WV2_UNUSED(get_NewWindow);
    virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
};

struct ICoreWebView2ScriptDialogOpeningEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("7390bb70-abe0-4843-9529-f143b31b03d6");
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Kind(int* kind) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Message(LPWSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE Accept() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefaultText(LPWSTR* text) = 0;
    TAVRIN_WV2_UNUSED(get_ResultText);
    virtual HRESULT STDMETHODCALLTYPE put_ResultText(LPCWSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
};

struct ICoreWebView2AcceleratorKeyPressedEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("9f760f8a-fb79-42be-9990-7b56900fa9c7");
    virtual HRESULT STDMETHODCALLTYPE get_KeyEventKind(int* kind) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* key) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_KeyEventLParam(INT* lParam) = 0;
    TAVRIN_WV2_UNUSED(get_PhysicalKeyStatus);
    TAVRIN_WV2_UNUSED(get_Handled);
    virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
};

struct ICoreWebView2ProcessFailedEventArgs : IUnknown {
    static constexpr GUID kIid = Iid("8155a9a4-1474-4a86-8cae-151b0fa6b8ca");
    virtual HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(int* kind) = 0;
};

struct ICoreWebView2Cookie : IUnknown {
    static constexpr GUID kIid = Iid("ad26d6be-1486-43e6-bf87-a2034006ca21");
    virtual HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(LPWSTR* value) = 0;
    TAVRIN_WV2_UNUSED(put_Value);
    virtual HRESULT STDMETHODCALLTYPE get_Domain(LPWSTR* domain) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Expires(double* expires) = 0;
    TAVRIN_WV2_UNUSED(put_Expires);
    virtual HRESULT STDMETHODCALLTYPE get_IsHttpOnly(BOOL* httpOnly) = 0;
    TAVRIN_WV2_UNUSED(put_IsHttpOnly);
    TAVRIN_WV2_UNUSED(get_SameSite);
    TAVRIN_WV2_UNUSED(put_SameSite);
    virtual HRESULT STDMETHODCALLTYPE get_IsSecure(BOOL* secure) = 0;
    TAVRIN_WV2_UNUSED(put_IsSecure);
    virtual HRESULT STDMETHODCALLTYPE get_IsSession(BOOL* session) = 0;
};

struct ICoreWebView2CookieList : IUnknown {
    static constexpr GUID kIid = Iid("f7f6f714-5d2a-43c6-9503-346ece02d186");
    virtual HRESULT STDMETHODCALLTYPE get_Count(UINT32* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT32 index,
                                                      ICoreWebView2Cookie** cookie) = 0;
};

// The completion and event handlers all take two arguments; the launcher implements them.
template <typename First, typename Second>
struct Handler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(First first, Second second) = 0;
};

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler
    : Handler<HRESULT, ICoreWebView2Environment*> {
    static constexpr GUID kIid = Iid("4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d");
};
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler
    : Handler<HRESULT, ICoreWebView2Controller*> {
    static constexpr GUID kIid = Iid("6c4819f3-c9b7-4260-8127-c9f5bde7f68c");
};
struct ICoreWebView2GetCookiesCompletedHandler : Handler<HRESULT, ICoreWebView2CookieList*> {
    static constexpr GUID kIid = Iid("5a4f5069-5c15-47c3-8646-f4de1c116670");
};
struct ICoreWebView2ExecuteScriptCompletedHandler : Handler<HRESULT, LPCWSTR> {
    static constexpr GUID kIid = Iid("49511172-cc67-4bca-9923-137112f4c4cc");
};
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler
    : Handler<HRESULT, LPCWSTR> {
    static constexpr GUID kIid = Iid("b99369f3-9b11-47b5-bc6f-8e7895fcea17");
};
struct ICoreWebView2NavigationStartingEventHandler
    : Handler<ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*> {
    static constexpr GUID kIid = Iid("9adbe429-f36d-432b-9ddc-f8881fbd76e3");
};
struct ICoreWebView2NavigationCompletedEventHandler
    : Handler<ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*> {
    static constexpr GUID kIid = Iid("d33a35bf-1c49-4f98-93ab-006e0533fe1c");
};
struct ICoreWebView2NewWindowRequestedEventHandler
    : Handler<ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*> {
    static constexpr GUID kIid = Iid("d4c185fe-c81c-4989-97af-2d3fa7ab5651");
};
struct ICoreWebView2WebResourceRequestedEventHandler
    : Handler<ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs*> {
    static constexpr GUID kIid = Iid("ab00b74c-15f1-4646-80e8-e76341d25d71");
};
struct ICoreWebView2WebMessageReceivedEventHandler
    : Handler<ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*> {
    static constexpr GUID kIid = Iid("57213f19-00e6-49fa-8e07-898ea01ecbd2");
};
struct ICoreWebView2ScriptDialogOpeningEventHandler
    : Handler<ICoreWebView2*, ICoreWebView2ScriptDialogOpeningEventArgs*> {
    static constexpr GUID kIid = Iid("ef381bf9-afa8-4e37-91c4-8ac48524bdfb");
};
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler
    : Handler<ICoreWebView2*, IUnknown*> {
    static constexpr GUID kIid = Iid("e45d98b1-afef-45be-8baf-6c7728867f73");
};
struct ICoreWebView2ProcessFailedEventHandler
    : Handler<ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs*> {
    static constexpr GUID kIid = Iid("79e0aea4-990b-42d9-aa1d-0fcc2e5bc7f1");
};
struct ICoreWebView2AcceleratorKeyPressedEventHandler
    : Handler<ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs*> {
    static constexpr GUID kIid = Iid("b29c7e28-fa79-41a8-8e44-65811c76dcb2");
};

struct ICoreWebView2Settings : IUnknown {
    static constexpr GUID kIid = Iid("e562e4f0-d7fa-43ac-8d71-c05150499f00");
    TAVRIN_WV2_UNUSED(get_IsScriptEnabled);
    TAVRIN_WV2_UNUSED(put_IsScriptEnabled);
    TAVRIN_WV2_UNUSED(get_IsWebMessageEnabled);
    virtual HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL enabled) = 0;
    TAVRIN_WV2_UNUSED(get_AreDefaultScriptDialogsEnabled);
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL enabled) = 0;
    TAVRIN_WV2_UNUSED(get_IsStatusBarEnabled);
    virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL enabled) = 0;
    TAVRIN_WV2_UNUSED(get_AreDevToolsEnabled);
    virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL enabled) = 0;
    TAVRIN_WV2_UNUSED(get_AreDefaultContextMenusEnabled);
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;
    TAVRIN_WV2_UNUSED(get_AreHostObjectsAllowed);
    virtual HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL allowed) = 0;
    TAVRIN_WV2_UNUSED(get_IsZoomControlEnabled);
    virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;
};

// The third version of the settings (its second adds the user agent) switches the browser's
// own shortcuts (reload, print, find, developer tools) off.
struct ICoreWebView2Settings3 : ICoreWebView2Settings {
    static constexpr GUID kIid = Iid("fdb5ab74-af33-4854-84f0-0a631deb5eba");
    TAVRIN_WV2_UNUSED(get_IsBuiltInErrorPageEnabled);
    TAVRIN_WV2_UNUSED(put_IsBuiltInErrorPageEnabled);
    TAVRIN_WV2_UNUSED(get_UserAgent);
    TAVRIN_WV2_UNUSED(put_UserAgent);
    TAVRIN_WV2_UNUSED(get_AreBrowserAcceleratorKeysEnabled);
    virtual HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL enabled) = 0;
};

struct ICoreWebView2CookieManager : IUnknown {
    static constexpr GUID kIid = Iid("177cd9e7-b6f5-451a-94a0-5d7a3a4c4141");
    TAVRIN_WV2_UNUSED(CreateCookie);
    TAVRIN_WV2_UNUSED(CopyCookie);
    virtual HRESULT STDMETHODCALLTYPE GetCookies(LPCWSTR uri,
                                                 ICoreWebView2GetCookiesCompletedHandler* done) = 0;
};

struct ICoreWebView2 : IUnknown {
    static constexpr GUID kIid = Iid("76eceacb-0462-4d94-ac83-423a6793775e");
    virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;
    TAVRIN_WV2_UNUSED(NavigateToString);
    virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(
        ICoreWebView2NavigationStartingEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_NavigationStarting);
    TAVRIN_WV2_UNUSED(add_ContentLoading);
    TAVRIN_WV2_UNUSED(remove_ContentLoading);
    TAVRIN_WV2_UNUSED(add_SourceChanged);
    TAVRIN_WV2_UNUSED(remove_SourceChanged);
    TAVRIN_WV2_UNUSED(add_HistoryChanged);
    TAVRIN_WV2_UNUSED(remove_HistoryChanged);
    virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(
        ICoreWebView2NavigationCompletedEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_NavigationCompleted);
    TAVRIN_WV2_UNUSED(add_FrameNavigationStarting);
    TAVRIN_WV2_UNUSED(remove_FrameNavigationStarting);
    TAVRIN_WV2_UNUSED(add_FrameNavigationCompleted);
    TAVRIN_WV2_UNUSED(remove_FrameNavigationCompleted);
    virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(
        ICoreWebView2ScriptDialogOpeningEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_ScriptDialogOpening);
    TAVRIN_WV2_UNUSED(add_PermissionRequested);
    TAVRIN_WV2_UNUSED(remove_PermissionRequested);
    virtual HRESULT STDMETHODCALLTYPE
    add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_ProcessFailed);
    virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
        LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* done) = 0;
    TAVRIN_WV2_UNUSED(RemoveScriptToExecuteOnDocumentCreated);
    virtual HRESULT STDMETHODCALLTYPE
    ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* done) = 0;
    TAVRIN_WV2_UNUSED(CapturePreview);
    virtual HRESULT STDMETHODCALLTYPE Reload() = 0;
    virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) = 0;
    TAVRIN_WV2_UNUSED(PostWebMessageAsString);
    virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
        ICoreWebView2WebMessageReceivedEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_WebMessageReceived);
    TAVRIN_WV2_UNUSED(CallDevToolsProtocolMethod);
    TAVRIN_WV2_UNUSED(get_BrowserProcessId);
    virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;
    TAVRIN_WV2_UNUSED(get_CanGoForward);
    virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;
    TAVRIN_WV2_UNUSED(GoForward);
    TAVRIN_WV2_UNUSED(GetDevToolsProtocolEventReceiver);
    TAVRIN_WV2_UNUSED(Stop);
    virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(
        ICoreWebView2NewWindowRequestedEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_NewWindowRequested);
    TAVRIN_WV2_UNUSED(add_DocumentTitleChanged);
    TAVRIN_WV2_UNUSED(remove_DocumentTitleChanged);
    TAVRIN_WV2_UNUSED(get_DocumentTitle);
    TAVRIN_WV2_UNUSED(AddHostObjectToScript);
    TAVRIN_WV2_UNUSED(RemoveHostObjectFromScript);
    TAVRIN_WV2_UNUSED(OpenDevToolsWindow);
    virtual HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
        ICoreWebView2ContainsFullScreenElementChangedEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_ContainsFullScreenElementChanged);
    virtual HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* contains) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(
        ICoreWebView2WebResourceRequestedEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_WebResourceRequested);
    virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR uri, int context) = 0;
};

// The second version adds the cookie manager.
struct ICoreWebView2_2 : ICoreWebView2 {
    static constexpr GUID kIid = Iid("9e8f0cf8-e670-4b5e-b2bc-73e061e3184c");
    TAVRIN_WV2_UNUSED(RemoveWebResourceRequestedFilter);
    TAVRIN_WV2_UNUSED(add_WindowCloseRequested);
    TAVRIN_WV2_UNUSED(remove_WindowCloseRequested);
    TAVRIN_WV2_UNUSED(add_WebResourceResponseReceived);
    TAVRIN_WV2_UNUSED(remove_WebResourceResponseReceived);
    TAVRIN_WV2_UNUSED(NavigateWithWebResourceRequest);
    TAVRIN_WV2_UNUSED(add_DOMContentLoaded);
    TAVRIN_WV2_UNUSED(remove_DOMContentLoaded);
    virtual HRESULT STDMETHODCALLTYPE get_CookieManager(ICoreWebView2CookieManager** manager) = 0;
};

struct ICoreWebView2Controller : IUnknown {
    static constexpr GUID kIid = Iid("4d00c0d1-9434-4eb6-8078-8697a560334f");
    TAVRIN_WV2_UNUSED(get_IsVisible);
    virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) = 0;
    TAVRIN_WV2_UNUSED(get_Bounds);
    virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;
    TAVRIN_WV2_UNUSED(get_ZoomFactor);
    TAVRIN_WV2_UNUSED(put_ZoomFactor);
    TAVRIN_WV2_UNUSED(add_ZoomFactorChanged);
    TAVRIN_WV2_UNUSED(remove_ZoomFactorChanged);
    TAVRIN_WV2_UNUSED(SetBoundsAndZoomFactor);
    virtual HRESULT STDMETHODCALLTYPE MoveFocus(int reason) = 0;
    TAVRIN_WV2_UNUSED(add_MoveFocusRequested);
    TAVRIN_WV2_UNUSED(remove_MoveFocusRequested);
    TAVRIN_WV2_UNUSED(add_GotFocus);
    TAVRIN_WV2_UNUSED(remove_GotFocus);
    TAVRIN_WV2_UNUSED(add_LostFocus);
    TAVRIN_WV2_UNUSED(remove_LostFocus);
    virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
        ICoreWebView2AcceleratorKeyPressedEventHandler* handler, EventToken* token) = 0;
    TAVRIN_WV2_UNUSED(remove_AcceleratorKeyPressed);
    TAVRIN_WV2_UNUSED(get_ParentWindow);
    TAVRIN_WV2_UNUSED(put_ParentWindow);
    virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** view) = 0;
};

struct ICoreWebView2Environment : IUnknown {
    static constexpr GUID kIid = Iid("b96d755e-0319-4e92-a296-23436f46a1fc");
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* done) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    CreateWebResourceResponse(IStream* content, int statusCode, LPCWSTR reasonPhrase,
                              LPCWSTR headers, ICoreWebView2WebResourceResponse** response) = 0;
};

// Options for the engine's start; the launcher gives none (its browser arguments go by the
// environment variable the loader reads).
struct ICoreWebView2EnvironmentOptions;

#undef TAVRIN_WV2_UNUSED

// The loader's exports.
using CreateEnvironmentFunction = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browserFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* done);
using VersionFunction = HRESULT(STDAPICALLTYPE*)(PCWSTR browserFolder, LPWSTR* version);

}  // namespace tavrin::win::wv2
