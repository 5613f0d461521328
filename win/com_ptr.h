#pragma once
// Owners for COM: interface pointers, BSTRs and VARIANTs.
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace win {

template <typename T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Takes a new reference to `p`.
    explicit com_ptr(T* p) noexcept : p_(p) {
        if (p_) p_->AddRef();
    }
    com_ptr(const com_ptr& other) noexcept : com_ptr(other.p_) {}
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~com_ptr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void reset() noexcept {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Adopts a reference the caller already owns.
    void attach(T* p) noexcept {
        reset();
        p_ = p;
    }
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    template <typename U>
    HRESULT query(const IID& iid, com_ptr<U>* out) const noexcept {
        return p_ ? p_->QueryInterface(iid, out->put_void()) : E_POINTER;
    }

private:
    T* p_ = nullptr;
};

class unique_bstr {
public:
    unique_bstr() noexcept = default;
    explicit unique_bstr(const wchar_t* text) : b_(::SysAllocString(text)) {}
    unique_bstr(unique_bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    unique_bstr& operator=(unique_bstr&& other) noexcept {
        if (this != &other) {
            reset();
            b_ = std::exchange(other.b_, nullptr);
        }
        return *this;
    }
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    ~unique_bstr() { reset(); }

    BSTR get() const noexcept { return b_; }
    void reset() noexcept {
        ::SysFreeString(b_);
        b_ = nullptr;
    }
    BSTR* put() noexcept {
        reset();
        return &b_;
    }

private:
    BSTR b_ = nullptr;
};

class unique_variant : public VARIANT {
public:
    unique_variant() noexcept { ::VariantInit(this); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    ~unique_variant() { ::VariantClear(this); }

    void reset() noexcept { ::VariantClear(this); }
    VARIANT* put() noexcept {
        ::VariantClear(this);
        return this;
    }
};

}  // namespace win
