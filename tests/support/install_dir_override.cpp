#include "tests/support/install_dir_override.h"

#include <stdexcept>

#include "common/install_location.h"
#include "win/unique_resource.h"

namespace testing_support {
namespace {

// Written through the same API and view as the product reads, so a 32-bit build
// and a 64-bit build each see what their own test wrote.
win::unique_hkey CreateKey() {
    win::unique_hkey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, install::kInstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the install key");
    return key;
}

}  // namespace

InstallDirOverride::InstallDirOverride() {
    win::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, install::kInstallKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    keyExisted_ = true;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), install::kInstallDirValue, nullptr, &type_, nullptr, &size) != ERROR_SUCCESS)
        return;
    data_.resize(size);
    valueExisted_ = ::RegQueryValueExW(key.get(), install::kInstallDirValue, nullptr, &type_, data_.data(),
                                       &size) == ERROR_SUCCESS;
}

InstallDirOverride::~InstallDirOverride() {
    if (valueExisted_) {
        try {
            SetRaw(type_, data_.data(), static_cast<DWORD>(data_.size()));
        } catch (const std::runtime_error&) {
            // Nothing more a destructor can do; the next override records what is there.
        }
    } else if (keyExisted_) {
        Remove();
    } else {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, install::kInstallKey);
    }
}

void InstallDirOverride::SetRaw(DWORD type, const void* bytes, DWORD size) {
    win::unique_hkey key = CreateKey();
    if (::RegSetValueExW(key.get(), install::kInstallDirValue, 0, type, static_cast<const BYTE*>(bytes), size) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot set the install folder value");
}

void InstallDirOverride::Set(const std::wstring& text) {
    SetRaw(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void InstallDirOverride::Remove() {
    win::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, install::kInstallKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        ::RegDeleteValueW(key.get(), install::kInstallDirValue);
}

bool InstallDirValueExists() {
    win::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, install::kInstallKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExW(key.get(), install::kInstallDirValue, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

}  // namespace testing_support
