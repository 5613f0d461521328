#pragma once
#include <windows.h>

#include <string>

namespace win {

// String resource `id` of this program, cut to capacity - 1 characters as a
// fixed buffer of that size would hold it; empty when there is none.
inline std::wstring LoadResourceString(UINT id, int capacity = 520) {
    std::wstring text(static_cast<size_t>(capacity), L'\0');
    int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, text.data(), capacity);
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

}  // namespace win
