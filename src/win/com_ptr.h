// COM for the engine's interfaces: an owning pointer, and the launcher's own handler objects
// (the engine calls them back when something it was asked for has finished or happened).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>

#include "win/webview2_api.h"

namespace tavrin::win {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes a reference the caller already holds.
    static ComPtr Adopt(T* raw) {
        ComPtr p;
        p.m_raw = raw;
        return p;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* raw) {
        if (raw != nullptr) {
            raw->AddRef();
        }
        return Adopt(raw);
    }
    ComPtr(const ComPtr& other) : m_raw(other.m_raw) {
        if (m_raw != nullptr) {
            m_raw->AddRef();
        }
    }
    ComPtr(ComPtr&& other) noexcept : m_raw(std::exchange(other.m_raw, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_raw, other.m_raw);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (m_raw != nullptr) {
            std::exchange(m_raw, nullptr)->Release();
        }
    }
    T* Get() const { return m_raw; }
    T* operator->() const { return m_raw; }
    explicit operator bool() const { return m_raw != nullptr; }
    // For a method that hands out a reference.
    T** Put() {
        Reset();
        return &m_raw;
    }
    // The same object as another interface of it, or null.
    template <typename U>
    ComPtr<U> As() const {
        ComPtr<U> other;
        if (m_raw != nullptr) {
            m_raw->QueryInterface(U::kIid, reinterpret_cast<void**>(other.Put()));
        }
        return other;
    }

private:
    T* m_raw = nullptr;
};

namespace detail {

template <typename First, typename Second>
struct HandlerArgs {
    using A = First;
    using B = Second;
};
template <typename First, typename Second>
HandlerArgs<First, Second> ArgsOf(const wv2::Handler<First, Second>*);

template <typename Interface>
class Callback final : public Interface {
    using Args = decltype(ArgsOf(static_cast<Interface*>(nullptr)));

public:
    using Function = std::function<HRESULT(typename Args::A, typename Args::B)>;
    explicit Callback(Function function) : m_function(std::move(function)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Interface::kIid)) {
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
    HRESULT STDMETHODCALLTYPE Invoke(typename Args::A a, typename Args::B b) override {
        return m_function ? m_function(a, b) : S_OK;
    }

private:
    std::atomic<ULONG> m_refs{1};
    Function m_function;
};

}  // namespace detail

// A handler object of the engine's `Interface` that calls `function`; the engine takes its
// own reference.
template <typename Interface, typename Function>
ComPtr<Interface> MakeHandler(Function function) {
    return ComPtr<Interface>::Adopt(new detail::Callback<Interface>(std::move(function)));
}

// A string the engine handed out (CoTaskMemAlloc), as UTF-8; empty for none.
std::string TakeEngineString(LPWSTR text);

}  // namespace tavrin::win
