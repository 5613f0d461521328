#pragma once
// The COM error exception: failures that the design raises carry their HRESULT.
#include <windows.h>

namespace win {

class com_error {
public:
    explicit com_error(HRESULT hr) noexcept : hr_(hr) {}
    HRESULT code() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

inline void throw_if_failed(HRESULT hr) {
    if (FAILED(hr)) throw com_error(hr);
}

inline HRESULT hresult_from_last_error() noexcept {
    DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace win
