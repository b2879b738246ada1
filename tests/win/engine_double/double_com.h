// The engine double's COM plumbing: reference counting, strings handed out as the engine
// hands them (CoTaskMemAlloc), the slots the launcher never calls, and work delivered on a
// later message of the thread that made the engine.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/com_ptr.h"
#include "win/webview2_api.h"

namespace tavrin::test::engine_double {

namespace wv2 = win::wv2;
using win::ComPtr;

template <typename Interface, typename... Also>
class Com : public Interface {
public:
    virtual ~Com() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Interface::kIid) ||
            (IsEqualIID(iid, Also::kIid) || ...)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    ULONG m_refs = 1;
};

// A new object, owned by the pointer.
template <typename T, typename... Args>
ComPtr<T> Make(Args&&... args) {
    return ComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

// The same object as one of the engine's interfaces it implements.
template <typename Base, typename T>
ComPtr<Base> Upcast(const ComPtr<T>& object) {
    return ComPtr<Base>::Share(object.Get());
}

#define DOUBLE_UNUSED(name)                             \
    HRESULT STDMETHODCALLTYPE Unused##name() override { \
        return E_NOTIMPL;                               \
    }

// What a getter of the engine's hands out: the caller frees it with CoTaskMemFree.
LPWSTR Dup(const std::wstring& text);
LPWSTR Dup(const std::string& utf8);

// Runs `work` from a later message of the thread that made the engine; callable from any
// thread once the engine has started.
void Later(std::function<void()> work);

// Calls each of the launcher's handlers, noting that one is running.
template <typename Handler, typename A, typename B>
void Raise(const std::vector<ComPtr<Handler>>& handlers, A a, B b) {
    extern int g_handlersRunning;
    const auto copy = handlers;
    for (const auto& handler : copy) {
        ++g_handlersRunning;
        handler->Invoke(a, b);
        --g_handlersRunning;
    }
}

// What a closed controller or the view of a browser process that ended answers.
inline const HRESULT kInvalidState = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

}  // namespace tavrin::test::engine_double
