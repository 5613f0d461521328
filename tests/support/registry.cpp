#include "tests/support/registry.h"

#include <stdexcept>
#include <vector>

namespace testing_support {

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text.data());
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

ScratchKey::ScratchKey()
    : path_(L"Software\\TidepoolTests\\" + std::to_wstring(::GetCurrentProcessId())) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the scratch key");
    }
}

ScratchKey::~ScratchKey() {
    ::RegCloseKey(key_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    // The parent goes only when no other test's key is left in it.
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TidepoolTests");
}

}  // namespace testing_support
