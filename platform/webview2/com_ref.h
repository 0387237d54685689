// Counted COM references and the strings the engine hands out, for the WebView2
// backend: each reference is held by exactly one owner and released when it is
// replaced or dropped; each string is freed with CoTaskMemFree.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>
#include <utility>

#include "platform/win32/wide_path.h"

namespace qk::platform::webview2 {

template <class T>
class ComRef {
public:
    ComRef() = default;
    // Takes a new reference to `p`.
    explicit ComRef(T* p) : p_(p) {
        if (p_ != nullptr) p_->AddRef();
    }
    ComRef(const ComRef& other) : ComRef(other.p_) {}
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComRef() { reset(); }

    // Takes over a reference the caller already owns (a new object's first one).
    static ComRef adopt(T* p) {
        ComRef r;
        r.p_ = p;
        return r;
    }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // For an out parameter: drops what is held and lets the callee fill it.
    T** put() {
        reset();
        return &p_;
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// A string the engine allocated for the caller.
class CoTaskString {
public:
    CoTaskString() = default;
    CoTaskString(const CoTaskString&) = delete;
    CoTaskString& operator=(const CoTaskString&) = delete;
    ~CoTaskString() { ::CoTaskMemFree(p_); }

    LPWSTR* put() {
        ::CoTaskMemFree(p_);
        p_ = nullptr;
        return &p_;
    }
    bool empty() const { return p_ == nullptr; }
    LPCWSTR get() const { return p_; }
    std::string utf8() const { return p_ == nullptr ? std::string() : win32::narrow(p_); }

private:
    LPWSTR p_ = nullptr;
};

}  // namespace qk::platform::webview2
