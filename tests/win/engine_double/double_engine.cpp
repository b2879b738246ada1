// The double's loader exports, its environment, and the tests' handle on it.
#include <deque>
#include <mutex>
#include <set>

#include "engine_double/double_args.h"
#include "engine_double/double_state.h"
#include "win/win_text.h"

namespace tavrin::test::engine_double {

int g_handlersRunning = 0;

void BrowserProcessEnded();
std::vector<ViewDouble*> AllViews();

EngineState& State() {
    static EngineState state;
    return state;
}

namespace {

// Watches the task allocator: which of the strings the double handed out are still the
// caller's, and which were freed a second time.
class FreeWatch : public IMallocSpy {
public:
    void HandedOut(void* text) {
        std::lock_guard lock(m_mutex);
        m_live.insert(text);
    }
    int DoubleFrees() {
        std::lock_guard lock(m_mutex);
        return m_doubleFrees;
    }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_doubleFrees = 0;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *out = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
        std::lock_guard lock(m_mutex);
        m_freed.erase(actual);  // the address is someone's again
        return actual;
    }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override {
        std::lock_guard lock(m_mutex);
        if (m_live.erase(request) > 0) {
            m_freed.insert(request);
            return request;
        }
        if (m_freed.count(request) > 0) {
            ++m_doubleFrees;
            return nullptr;  // freeing nothing
        }
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** out, BOOL) override {
        *out = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    std::mutex m_mutex;
    std::set<void*> m_live;
    std::set<void*> m_freed;
    int m_doubleFrees = 0;
};

FreeWatch& Watch() {
    static FreeWatch* watch = [] {
        auto* spy = new FreeWatch;
        CoRegisterMallocSpy(spy);
        return spy;
    }();
    return *watch;
}

}  // namespace

LPWSTR Dup(const std::wstring& text) {
    FreeWatch& watch = Watch();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    CopyMemory(copy, text.c_str(), bytes);
    watch.HandedOut(copy);
    return copy;
}

LPWSTR Dup(const std::string& utf8) {
    return Dup(win::WideFromUtf8(utf8));
}

namespace {

std::mutex g_workMutex;
std::deque<std::function<void()>> g_work;

LRESULT CALLBACK Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::function<void()> work;
    {
        const std::lock_guard<std::mutex> lock(g_workMutex);
        if (message != WM_APP || g_work.empty()) {
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        work = std::move(g_work.front());
        g_work.pop_front();
    }
    work();
    return 0;
}

HWND Mailbox() {
    static HWND window = [] {
        WNDCLASSW c{};
        c.lpfnWndProc = Deliver;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = L"TavrinEngineDoubleMail";
        RegisterClassW(&c);
        return CreateWindowExW(0, c.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               c.hInstance, nullptr);
    }();
    return window;
}

// Creates `folder` and those above it, as the engine does with its user data folder.
HRESULT MakeFolder(const std::wstring& folder) {
    for (std::size_t at = folder.find_first_of(L"\\/", 3); at != std::wstring::npos;
         at = folder.find_first_of(L"\\/", at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
        const std::wstring probe = folder + L"\\probe.tmp";
        HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return S_OK;
        }
    }
    return HRESULT_FROM_WIN32(GetLastError());
}

class Environment : public Com<wv2::ICoreWebView2Environment> {
public:
    explicit Environment(int generation) : m_generation(generation) {}
    HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parent,
        wv2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* done) override {
        if (done == nullptr) {
            return E_POINTER;
        }
        auto handler =
            ComPtr<wv2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::Share(done);
        const int generation = m_generation;
        Later([handler, parent, generation] {
            std::vector one{handler};
            if (generation != State().generation || !IsWindow(parent)) {
                Raise(one, kInvalidState, static_cast<wv2::ICoreWebView2Controller*>(nullptr));
                return;
            }
            auto controller = MakeController(parent, generation);
            Raise(one, S_OK, controller.Get());
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    CreateWebResourceResponse(IStream* content, int status, LPCWSTR, LPCWSTR headers,
                              wv2::ICoreWebView2WebResourceResponse** out) override {
        auto response = Make<Response>();
        response->status = status;
        response->headers = win::Utf8FromWide(headers != nullptr ? headers : L"");
        if (content != nullptr) {
            content->Seek({}, STREAM_SEEK_SET, nullptr);
            char buffer[65536];
            ULONG read = 0;
            while (SUCCEEDED(content->Read(buffer, sizeof buffer, &read)) && read > 0) {
                response->body.append(buffer, read);
            }
        }
        *out = response.Get();
        response->AddRef();
        return S_OK;
    }

private:
    int m_generation;
};

class Control : public EngineDouble {
public:
    void Reset() override {
        auto& state = State();
        state.browsers.clear();
        state.cookies.clear();
        state.failStart = S_OK;
        state.failCookieDomains = false;
        state.profile.clear();
        Watch().Reset();
    }
    std::vector<ViewDouble*> Views() override { return AllViews(); }
    void SetCookie(const platform::BrowserCookie& cookie) override { StoreCookie(cookie); }
    std::wstring ProfileFolder() override { return State().profile; }
    void FailStart(HRESULT result) override { State().failStart = result; }
    void FailCookieDomains(bool fail) override { State().failCookieDomains = fail; }
    void BrowserExits() override { BrowserProcessEnded(); }
    bool InHandler() override { return g_handlersRunning > 0; }
    int DoubleFrees() override { return Watch().DoubleFrees(); }
};

}  // namespace

void Later(std::function<void()> work) {
    const HWND mailbox = Mailbox();
    {
        const std::lock_guard<std::mutex> lock(g_workMutex);
        g_work.push_back(std::move(work));
    }
    PostMessageW(mailbox, WM_APP, 0, 0);
}

}  // namespace tavrin::test::engine_double

namespace ed = tavrin::test::engine_double;

extern "C" __declspec(dllexport) tavrin::test::EngineDouble* TavrinEngineDouble() {
    static ed::Control control;
    return &control;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    GetAvailableCoreWebView2BrowserVersionString(PCWSTR, LPWSTR* version) {
    *version = ed::Dup(std::wstring(L"131.0.2903.99 (engine double)"));
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR, PCWSTR userDataFolder, ed::wv2::ICoreWebView2EnvironmentOptions*,
    ed::wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* done) {
    if (done == nullptr) {
        return E_POINTER;
    }
    // Its windows and pending work outlive any one loader handle: the double stays loaded.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&TavrinEngineDouble), &self);
    const std::wstring folder = userDataFolder != nullptr ? userDataFolder : L"";
    ed::State().profile = folder;
    auto handler =
        ed::ComPtr<ed::wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::Share(
            done);
    ed::Later([handler, folder] {
        HRESULT result = std::exchange(ed::State().failStart, S_OK);
        if (SUCCEEDED(result) && !folder.empty()) {
            result = ed::MakeFolder(folder);
        }
        std::vector one{handler};
        if (FAILED(result)) {
            ed::Raise(one, result, static_cast<ed::wv2::ICoreWebView2Environment*>(nullptr));
            return;
        }
        auto environment = ed::Make<ed::Environment>(ed::State().generation);
        ed::Raise(one, S_OK, static_cast<ed::wv2::ICoreWebView2Environment*>(environment.Get()));
    });
    return S_OK;
}
