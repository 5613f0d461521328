#pragma once
// The full path of this program's own file.
#include <windows.h>

#include <string>

namespace win {

// Empty when the system cannot tell it.
inline std::wstring ModuleFilePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        // A full buffer means the path was cut; try again with room for a longer one.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

}  // namespace win
