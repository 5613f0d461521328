// The install folder from the registry value and its fallback, and the
// configuration file's path. These tests set the machine-wide value, so they
// run serially, and each puts back what was there.
#include "common/install_location.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/install_dir_override.h"

using testing_support::InstallDirOverride;

namespace {

std::wstring ExpectedModuleFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring FolderOfLength(size_t length) {
    std::wstring folder = L"C:\\";
    while (folder.size() < length) folder += static_cast<wchar_t>(L'a' + folder.size() % 26);
    return folder;
}

}  // namespace

TEST(InstallLocation, ModuleFolderIsTheProgramFolderWithoutTrailingBackslash) {
    const std::wstring folder = install::GetModuleFolder();
    EXPECT_EQ(ExpectedModuleFolder(), folder);
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(L'\\', folder.back());
}

TEST(InstallLocation, WithoutValueTheModuleFolderIsTheInstallFolder) {
    InstallDirOverride value;
    value.Remove();
    EXPECT_EQ(L"", install::GetInstallDirValue());
    EXPECT_EQ(ExpectedModuleFolder(), install::GetInstallFolder());
    EXPECT_EQ(ExpectedModuleFolder() + L"\\PellanConfig.xml", install::GetConfigFilePath());
}

TEST(InstallLocation, ValueFillingTheBufferIsReadWholeAndALongerOneFallsBack) {
    InstallDirOverride value;
    const std::wstring fits = FolderOfLength(259);
    value.Set(fits);
    EXPECT_EQ(fits, install::GetInstallDirValue());
    EXPECT_EQ(fits, install::GetInstallFolder());

    for (size_t length : {260u, 261u, 1000u}) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        value.Set(FolderOfLength(length));
        EXPECT_EQ(L"", install::GetInstallDirValue());
        EXPECT_EQ(ExpectedModuleFolder(), install::GetInstallFolder());
    }
}

TEST(InstallLocation, ValueOfAnyTypeIsTakenAsText) {
    InstallDirOverride value;
    const std::wstring folder = L"D:\\Apps\\Tidepool";
    const DWORD withTerminator = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
    const DWORD withoutTerminator = static_cast<DWORD>(folder.size() * sizeof(wchar_t));
    struct Case {
        const char* name;
        DWORD type;
        DWORD size;
        std::wstring expected;
    } cases[] = {
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, withTerminator, folder},
        {"REG_BINARY without terminator", REG_BINARY, withoutTerminator, folder},
        {"REG_SZ without terminator", REG_SZ, withoutTerminator, folder},
        {"text cut by its first zero", REG_BINARY, 4 * sizeof(wchar_t), L"D:\\A"},
        {"empty", REG_SZ, 0, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        value.SetRaw(c.type, folder.c_str(), c.size);
        EXPECT_EQ(c.expected, install::GetInstallDirValue());
    }
    // 260 characters with no terminator: as long as the buffer, no room to end it.
    const std::wstring full = FolderOfLength(260);
    value.SetRaw(REG_BINARY, full.c_str(), static_cast<DWORD>(full.size() * sizeof(wchar_t)));
    EXPECT_EQ(L"", install::GetInstallDirValue());
}

TEST(InstallLocation, ConfigPathHasExactlyOneBackslashBeforeTheFileName) {
    InstallDirOverride value;
    for (const wchar_t* folder : {L"D:\\Apps\\Tidepool", L"D:\\Apps\\Tidepool\\"}) {
        SCOPED_TRACE(testing::Message() << "trailing backslash " << (std::wstring(folder).back() == L'\\'));
        value.Set(folder);
        EXPECT_EQ(L"D:\\Apps\\Tidepool\\PellanConfig.xml", install::GetConfigFilePath());
    }
}

TEST(InstallLocation, JoinPathAddsABackslashOnlyWhenMissing) {
    EXPECT_EQ(L"C:\\Temp\\x.dat", install::JoinPath(L"C:\\Temp", L"x.dat"));
    EXPECT_EQ(L"C:\\Temp\\x.dat", install::JoinPath(L"C:\\Temp\\", L"x.dat"));
}
