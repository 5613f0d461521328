#pragma once
// One owner template for every kind of Windows resource: move-only, released by
// its destructor, with get/reset/release and put() for out-parameters.
#include <windows.h>

#include <utility>

namespace win {

template <typename Traits>
class unique_resource {
public:
    using pointer = typename Traits::pointer;

    unique_resource() noexcept = default;
    explicit unique_resource(pointer value) noexcept : value_(value) {}
    unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    ~unique_resource() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = std::exchange(value_, value);
        if (old != Traits::invalid()) Traits::close(old);
    }
    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // Frees the current value first, so the callee never overwrites a live one.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

// Null-empty handles and pointers.
template <typename T, auto Close>
struct null_traits {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer value) noexcept { Close(value); }
};

// Handles whose empty value is INVALID_HANDLE_VALUE (files, searches).
template <auto Close>
struct invalid_handle_traits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer value) noexcept { Close(value); }
};

inline void FreeProcessHeapBlock(void* block) noexcept { ::HeapFree(::GetProcessHeap(), 0, block); }

// Cookies whose empty value is zero.
template <typename T, auto Close>
struct zero_traits {
    using pointer = T;
    static pointer invalid() noexcept { return 0; }
    static void close(pointer value) noexcept { Close(value); }
};

using unique_handle = unique_resource<null_traits<HANDLE, ::CloseHandle>>;
using unique_hfile = unique_resource<invalid_handle_traits<::CloseHandle>>;
using unique_find = unique_resource<invalid_handle_traits<::FindClose>>;
using unique_view = unique_resource<null_traits<void*, ::UnmapViewOfFile>>;
using unique_hkey = unique_resource<null_traits<HKEY, ::RegCloseKey>>;
using unique_hmenu = unique_resource<null_traits<HMENU, ::DestroyMenu>>;
using unique_hlocal = unique_resource<null_traits<HLOCAL, ::LocalFree>>;
using unique_heap_block = unique_resource<null_traits<void*, FreeProcessHeapBlock>>;
using unique_event_source = unique_resource<null_traits<HANDLE, ::DeregisterEventSource>>;
using unique_service_handle = unique_resource<null_traits<SC_HANDLE, ::CloseServiceHandle>>;
// A class object registered with COM; revoked when the owner lets it go.
using unique_class_object = unique_resource<zero_traits<DWORD, ::CoRevokeClassObject>>;

}  // namespace win
