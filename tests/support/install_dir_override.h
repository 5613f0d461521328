#pragma once
// Tests that set the install folder value: the value as it was is put back when
// the override goes away. The value is machine-wide, so only serial tests use this.
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

class InstallDirOverride {
public:
    InstallDirOverride();  // records the present state; changes nothing yet
    ~InstallDirOverride();
    InstallDirOverride(const InstallDirOverride&) = delete;
    InstallDirOverride& operator=(const InstallDirOverride&) = delete;

    // Stores `bytes` as the value, of registry type `type`.
    void SetRaw(DWORD type, const void* bytes, DWORD size);
    // Stores a REG_SZ value with its terminator.
    void Set(const std::wstring& text);
    void Remove();

private:
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// True when the install folder value exists, read the way the product reads it.
bool InstallDirValueExists();

}  // namespace testing_support
