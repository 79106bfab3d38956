#pragma once
// Owners for Windows resources: kernel handles (the platform's UniqueAny), COM
// pointers, BSTRs and VARIANTs. Each releases what it holds on every path.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

#include "platform/RunError.h"
#include "platform/UniqueAny.h"

namespace platform::win32 {

// A kernel handle closed with CloseHandle; INVALID_HANDLE_VALUE and null hold nothing.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(Value handle) noexcept { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueAny<KernelHandleTraits>;

// An open registry key, closed with RegCloseKey.
struct RegistryKeyTraits {
    using Value = HKEY;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value key) noexcept { return key != nullptr; }
    static void Close(Value key) noexcept { RegCloseKey(key); }
};
using UniqueRegistryKey = UniqueAny<RegistryKeyTraits>;

// A reference to a COM interface, released when the owner goes.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) {
        if (ptr_) ptr_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr(other).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }
    void swap(ComPtr& other) noexcept { std::swap(ptr_, other.ptr_); }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    // For calls that hand out a new reference.
    T** put() noexcept {
        reset();
        return &ptr_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept {
        if (ptr_) std::exchange(ptr_, nullptr)->Release();
    }

private:
    T* ptr_ = nullptr;
};

// A BSTR freed with SysFreeString.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(const wchar_t* text) : bstr_(SysAllocString(text)) {}
    ~UniqueBstr() { SysFreeString(bstr_); }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&&) = delete;
    UniqueBstr& operator=(UniqueBstr&&) = delete;

    BSTR get() const noexcept { return bstr_; }
    // For calls that hand out a new string.
    BSTR* put() noexcept {
        SysFreeString(std::exchange(bstr_, nullptr));
        return &bstr_;
    }
    std::wstring text() const { return bstr_ ? std::wstring(bstr_, SysStringLen(bstr_)) : std::wstring(); }

private:
    BSTR bstr_ = nullptr;
};

// A VARIANT cleared with VariantClear.
class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    UniqueVariant(UniqueVariant&&) = delete;
    UniqueVariant& operator=(UniqueVariant&&) = delete;

    VARIANT* get() noexcept { return &value_; }
    const VARIANT* get() const noexcept { return &value_; }
    VARIANT* put() noexcept {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_{};
};

// The calling thread's last error as the program's error, with what failed.
[[noreturn]] inline void FailWithLastError(const std::wstring& what) {
    Fail(static_cast<std::int32_t>(HRESULT_FROM_WIN32(GetLastError())), what);
}

}  // namespace platform::win32
