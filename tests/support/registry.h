#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace testing_support {

// The string value `name` (nullptr: the default value) of the key `path` below
// `root`; nothing when the key or the value is missing or not a string.
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const wchar_t* name = nullptr);

bool KeyExists(HKEY root, const std::wstring& path);

// A key of the test's own below HKCU\Software, deleted with all below it when done.
class ScratchKey {
public:
    ScratchKey();
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    HKEY get() const { return key_; }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

}  // namespace testing_support
