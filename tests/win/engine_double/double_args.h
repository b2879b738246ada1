// The arguments of the engine's events, and the small objects they hand out, as plain data
// the double fills in and reads back after the launcher's handlers ran.
#pragma once

#include <map>
#include <string>

#include "engine_double/double_com.h"

namespace tavrin::test::engine_double {

class Deferral : public Com<wv2::ICoreWebView2Deferral> {
public:
    HRESULT STDMETHODCALLTYPE Complete() override {
        if (m_bCompleted) {
            return E_UNEXPECTED;
        }
        m_bCompleted = true;
        if (m_then) {
            Later(std::move(m_then));
        }
        return S_OK;
    }
    // Runs `then` once completed (from a later message).
    void Then(std::function<void()> then) {
        if (m_bCompleted) {
            Later(std::move(then));
        } else {
            m_then = std::move(then);
        }
    }

private:
    bool m_bCompleted = false;
    std::function<void()> m_then;
};

// Runs `then` after the handlers: at once, or when the deferral one of them took completes.
inline void AfterDeferral(const ComPtr<Deferral>& deferral, std::function<void()> then) {
    if (deferral) {
        deferral->Then(std::move(then));
    } else {
        Later(std::move(then));
    }
}

class Response : public Com<wv2::ICoreWebView2WebResourceResponse> {
public:
    int status = 0;
    std::string headers;
    std::string body;
};

class Headers : public Com<wv2::ICoreWebView2HttpRequestHeaders> {
public:
    HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override {
        const auto found = values.find(Lowered(name));
        if (found == values.end()) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);  // `value` untouched
        }
        *value = Dup(found->second);
        return S_OK;
    }
    static std::wstring Lowered(std::wstring text) {
        for (wchar_t& c : text) {
            c = static_cast<wchar_t>(towlower(c));
        }
        return text;
    }
    std::map<std::wstring, std::wstring> values;  // by lower-case name
};

class Request : public Com<wv2::ICoreWebView2WebResourceRequest> {
public:
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
        *uri = Dup(this->uri);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) override {
        *method = Dup(L"GET");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Headers(wv2::ICoreWebView2HttpRequestHeaders** out) override {
        headers->AddRef();
        *out = headers.Get();
        return S_OK;
    }
    DOUBLE_UNUSED(put_Uri)
    DOUBLE_UNUSED(put_Method)
    DOUBLE_UNUSED(get_Content)
    DOUBLE_UNUSED(put_Content)
    std::string uri;
    ComPtr<Headers> headers = Make<Headers>();
};

class ResourceArgs : public Com<wv2::ICoreWebView2WebResourceRequestedEventArgs> {
public:
    HRESULT STDMETHODCALLTYPE get_Request(wv2::ICoreWebView2WebResourceRequest** out) override {
        request->AddRef();
        *out = request.Get();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Response(wv2::ICoreWebView2WebResourceResponse* r) override {
        response = ComPtr<Response>::Share(static_cast<Response*>(r));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDeferral(wv2::ICoreWebView2Deferral** out) override {
        if (!deferral) {
            deferral = Make<Deferral>();
        }
        deferral->AddRef();
        *out = deferral.Get();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ResourceContext(int* out) override {
        *out = context;
        return S_OK;
    }
    DOUBLE_UNUSED(get_Response)
    ComPtr<Request> request = Make<Request>();
    ComPtr<Response> response;
    ComPtr<Deferral> deferral;
    int context = wv2::kResourceAll;
};

class WebMessageArgs : public Com<wv2::ICoreWebView2WebMessageReceivedEventArgs> {
public:
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* out) override {
        *out = Dup(source);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* out) override {
        *out = Dup(json);
        return S_OK;
    }
    std::string source;
    std::string json;
};

class NavigationStartingArgs : public Com<wv2::ICoreWebView2NavigationStartingEventArgs> {
public:
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override {
        *out = Dup(uri);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* out) override {
        *out = id;
        return S_OK;
    }
    DOUBLE_UNUSED(get_IsUserInitiated)
    DOUBLE_UNUSED(get_IsRedirected)
    DOUBLE_UNUSED(get_RequestHeaders)
    DOUBLE_UNUSED(get_Cancel)
    DOUBLE_UNUSED(put_Cancel)
    std::string uri;
    UINT64 id = 0;
};

class NavigationCompletedArgs : public Com<wv2::ICoreWebView2NavigationCompletedEventArgs> {
public:
    HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* out) override {
        *out = success;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_WebErrorStatus(int* out) override {
        *out = status;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* out) override {
        *out = id;
        return S_OK;
    }
    BOOL success = FALSE;
    int status = 0;
    UINT64 id = 0;
};

// The engine's error statuses the double reports.
enum WebErrorStatus {
    kErrorUnknown = 0,
    kErrorConnectionAborted = 9,
    kErrorCannotConnect = 12,
    kErrorOperationCanceled = 14,
};

class NewWindowArgs : public Com<wv2::ICoreWebView2NewWindowRequestedEventArgs> {
public:
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override {
        *out = Dup(uri);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) override {
        handled = value;
        return S_OK;
    }
    DOUBLE_UNUSED(put_NewWindow)
    DOUBLE_UNUSED(get_NewWindow)
    std::string uri;
    BOOL handled = FALSE;
};

class DialogArgs : public Com<wv2::ICoreWebView2ScriptDialogOpeningEventArgs> {
public:
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override {
        *out = Dup(uri);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Kind(int* out) override {
        *out = kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Message(LPWSTR* out) override {
        *out = Dup(message);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Accept() override {
        accepted = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_DefaultText(LPWSTR* out) override {
        *out = Dup(defaultText);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_ResultText(LPCWSTR text) override {
        result = text != nullptr ? text : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDeferral(wv2::ICoreWebView2Deferral** out) override {
        if (!deferral) {
            deferral = Make<Deferral>();
        }
        deferral->AddRef();
        *out = deferral.Get();
        return S_OK;
    }
    DOUBLE_UNUSED(get_ResultText)
    std::string uri;
    int kind = wv2::kDialogAlert;
    std::wstring message;
    std::string defaultText;
    std::wstring result;
    bool accepted = false;
    ComPtr<Deferral> deferral;
};

class KeyArgs : public Com<wv2::ICoreWebView2AcceleratorKeyPressedEventArgs> {
public:
    HRESULT STDMETHODCALLTYPE get_KeyEventKind(int* out) override {
        *out = kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* out) override {
        *out = key;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_KeyEventLParam(INT* out) override {
        *out = lParam;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) override {
        handled = value;
        return S_OK;
    }
    DOUBLE_UNUSED(get_PhysicalKeyStatus)
    DOUBLE_UNUSED(get_Handled)
    int kind = wv2::kKeyDown;
    UINT key = 0;
    INT lParam = 0;
    BOOL handled = FALSE;
};

class ProcessFailedArgs : public Com<wv2::ICoreWebView2ProcessFailedEventArgs> {
public:
    explicit ProcessFailedArgs(int kind) : kind(kind) {}
    HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(int* out) override {
        *out = kind;
        return S_OK;
    }
    int kind;
};

}  // namespace tavrin::test::engine_double
