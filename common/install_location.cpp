#include "common/install_location.h"

#include <windows.h>

#include "win/unique_resource.h"

namespace install {

std::wstring GetInstallDirValue() {
    win::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return {};
    wchar_t buffer[kPathCapacity];
    DWORD bytes = sizeof(buffer);
    // Any stored type is read as text; a value too long for the buffer fails here
    // with ERROR_MORE_DATA and gives nothing.
    if (::RegQueryValueExW(key.get(), kInstallDirValue, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                           &bytes) != ERROR_SUCCESS)
        return {};
    const size_t length = bytes / sizeof(wchar_t);
    // Data that fills the buffer without a terminator leaves no room for one.
    if (length == kPathCapacity && buffer[kPathCapacity - 1] != L'\0') return {};
    // As a C string: the text ends at the data's end or at its first zero.
    std::wstring value(buffer, length);
    value.resize(wcsnlen(value.c_str(), length));
    return value;
}

std::wstring GetModuleFolder() {
    wchar_t path[kPathCapacity];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return {};
    std::wstring folder(path, length);
    const size_t slash = folder.rfind(L'\\');
    if (slash != std::wstring::npos) folder.resize(slash);
    return folder;
}

std::wstring GetInstallFolder() {
    std::wstring folder = GetInstallDirValue();
    return folder.empty() ? GetModuleFolder() : folder;
}

std::wstring GetConfigFilePath() {
    const std::wstring folder = GetInstallFolder();
    if (folder.empty()) return {};
    return JoinPath(folder, kConfigFileName);
}

std::wstring JoinPath(const std::wstring& folder, const wchar_t* name) {
    std::wstring path = folder;
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + name;
}

}  // namespace install
