// The registry entries, written below a scratch key that stands for the classes root.
#include "agent/com_registration.h"

#include <gtest/gtest.h>

#include "agent/tandels_ids.h"
#include "tests/support/registry.h"

using testing_support::KeyExists;
using testing_support::ReadString;
using testing_support::ScratchKey;

namespace {

const std::wstring kClassKey = L"CLSID\\{75530569-E9D1-4D2B-89C7-45DAE99B40D2}";
const std::wstring kAppIdKey = L"AppID\\{B365C76C-03DF-46F2-A131-8DB2A8E2237A}";
const std::wstring kServer = L"C:\\Program Files\\KX Tidepool\\Tidepool.exe";

void CreateKey(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                               nullptr));
    ::RegCloseKey(key);
}

TEST(ComRegistration, GuidTextIsTheRegistryForm) {
    EXPECT_EQ(L"{75530569-E9D1-4D2B-89C7-45DAE99B40D2}", GuidText(CLSID_TandelAPI));
    EXPECT_EQ(L"{B365C76C-03DF-46F2-A131-8DB2A8E2237A}", GuidText(APPID_Tandels));
}

TEST(ComRegistration, ClassKeysReadBackKeyByKey) {
    ScratchKey classes;
    ASSERT_EQ(S_OK, RegisterTandelClass(classes.get(), kServer));

    struct Expected {
        std::wstring path;
        std::optional<std::wstring> value;
    };
    const Expected expected[] = {
        {L"Tandels.TandelAPI.1", L"TandelAPI Class"},
        {L"Tandels.TandelAPI.1\\CLSID", L"{75530569-E9D1-4D2B-89C7-45DAE99B40D2}"},
        {L"Tandels.TandelAPI", L"TandelAPI Class"},
        {L"Tandels.TandelAPI\\CLSID", L"{75530569-E9D1-4D2B-89C7-45DAE99B40D2}"},
        {L"Tandels.TandelAPI\\CurVer", L"Tandels.TandelAPI.1"},
        {kClassKey, L"TandelAPI Class"},
        {kClassKey + L"\\ProgID", L"Tandels.TandelAPI.1"},
        {kClassKey + L"\\VersionIndependentProgID", L"Tandels.TandelAPI"},
        {kClassKey + L"\\Programmable", std::nullopt},
        {kClassKey + L"\\LocalServer32", kServer},
        {kClassKey + L"\\TypeLib", L"{}"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(std::string(e.path.begin(), e.path.end()));
        EXPECT_TRUE(KeyExists(classes.get(), e.path));
        EXPECT_EQ(e.value, ReadString(classes.get(), e.path));
    }
    // The class's key names no AppID.
    EXPECT_EQ(std::nullopt, ReadString(classes.get(), kClassKey, L"AppID"));
}

TEST(ComRegistration, ClassKeyIsReplacedWholeAndRegistrationRepeats) {
    ScratchKey classes;
    CreateKey(classes.get(), kClassKey + L"\\InprocServer32");
    CreateKey(classes.get(), kClassKey + L"\\Programmable\\Stale");
    ASSERT_EQ(S_OK, RegisterTandelClass(classes.get(), L"C:\\old\\Tidepool.exe"));
    ASSERT_EQ(S_OK, RegisterTandelClass(classes.get(), kServer));
    EXPECT_FALSE(KeyExists(classes.get(), kClassKey + L"\\InprocServer32"));
    EXPECT_FALSE(KeyExists(classes.get(), kClassKey + L"\\Programmable\\Stale"));
    EXPECT_EQ(kServer, ReadString(classes.get(), kClassKey + L"\\LocalServer32"));
}

TEST(ComRegistration, UnregisteringTheClassLeavesTheCLSIDKeyAndOtherClasses) {
    ScratchKey classes;
    const std::wstring other = L"CLSID\\{00000000-1111-2222-3333-444444444444}";
    CreateKey(classes.get(), other);
    CreateKey(classes.get(), L"Tandels.Other");
    ASSERT_EQ(S_OK, RegisterTandelClass(classes.get(), kServer));
    ASSERT_EQ(S_OK, UnregisterTandelClass(classes.get()));
    for (const wchar_t* gone : {L"Tandels.TandelAPI.1", L"Tandels.TandelAPI"}) {
        SCOPED_TRACE(std::string(gone, gone + wcslen(gone)));
        EXPECT_FALSE(KeyExists(classes.get(), gone));
    }
    EXPECT_FALSE(KeyExists(classes.get(), kClassKey));
    EXPECT_TRUE(KeyExists(classes.get(), L"CLSID"));
    EXPECT_TRUE(KeyExists(classes.get(), other));
    EXPECT_TRUE(KeyExists(classes.get(), L"Tandels.Other"));
    // Nothing left to remove is no failure.
    EXPECT_EQ(S_OK, UnregisterTandelClass(classes.get()));
}

TEST(ComRegistration, AppIdKeysAndLocalService) {
    ScratchKey classes;
    CreateKey(classes.get(), L"AppID\\{00000000-1111-2222-3333-444444444444}");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), SetAppIdLocalService(classes.get(), L"Tandels"));
    EXPECT_EQ(S_OK, RemoveAppIdLocalService(classes.get()));

    ASSERT_EQ(S_OK, RegisterAppId(classes.get()));
    EXPECT_EQ(L"Tandels", ReadString(classes.get(), kAppIdKey));
    EXPECT_TRUE(KeyExists(classes.get(), L"AppID\\Tandels.EXE"));
    EXPECT_EQ(std::nullopt, ReadString(classes.get(), L"AppID\\Tandels.EXE"));
    EXPECT_EQ(L"{B365C76C-03DF-46F2-A131-8DB2A8E2237A}",
              ReadString(classes.get(), L"AppID\\Tandels.EXE", L"AppID"));

    ASSERT_EQ(S_OK, SetAppIdLocalService(classes.get(), L"Tandels"));
    EXPECT_EQ(L"Tandels", ReadString(classes.get(), kAppIdKey, L"LocalService"));
    ASSERT_EQ(S_OK, RemoveAppIdLocalService(classes.get()));
    EXPECT_EQ(std::nullopt, ReadString(classes.get(), kAppIdKey, L"LocalService"));
    EXPECT_EQ(S_OK, RemoveAppIdLocalService(classes.get()));

    ASSERT_EQ(S_OK, SetAppIdLocalService(classes.get(), L"Tandels"));
    ASSERT_EQ(S_OK, UnregisterAppId(classes.get()));
    EXPECT_FALSE(KeyExists(classes.get(), kAppIdKey));
    EXPECT_FALSE(KeyExists(classes.get(), L"AppID\\Tandels.EXE"));
    // The AppID key and other applications' entries stay.
    EXPECT_TRUE(KeyExists(classes.get(), L"AppID"));
    EXPECT_TRUE(KeyExists(classes.get(), L"AppID\\{00000000-1111-2222-3333-444444444444}"));
    EXPECT_EQ(S_OK, UnregisterAppId(classes.get()));
}

TEST(ComRegistration, MissingTypeLibraryFailsClearly) {
    EXPECT_TRUE(FAILED(RegisterTypeLibrary(L"C:\\nowhere\\Tidepool.exe", RegistrationScope::User)));
    EXPECT_TRUE(FAILED(UnregisterTypeLibrary(L"C:\\nowhere\\Tidepool.exe", RegistrationScope::User)));
}

}  // namespace
