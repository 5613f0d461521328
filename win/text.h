#pragma once
// Conversions between the narrow texts the engine speaks and Windows' wide ones.
#include <windows.h>

#include <string>
#include <string_view>

namespace win {

// Bytes the code page cannot decode become U+FFFD; nothing fails.
inline std::wstring Widen(std::string_view text, UINT codePage = CP_UTF8) {
    std::wstring wide;
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return wide;
    wide.resize(static_cast<size_t>(length));
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

inline std::string Narrow(std::wstring_view text, UINT codePage = CP_UTF8) {
    std::string narrow;
    const int length = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    if (length <= 0) return narrow;
    narrow.resize(static_cast<size_t>(length));
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                          nullptr);
    return narrow;
}

}  // namespace win
