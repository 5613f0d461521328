// Security identifiers of tokens in string form.
#include "common/user_identity.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <vector>

#include "win/unique_resource.h"

namespace {

win::unique_handle ProcessToken() {
    win::unique_handle token;
    EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    return token;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// A TOKEN_GROUPS with room for `attributes.size()` groups, all with `sid`.
std::vector<BYTE> Groups(PSID sid, const std::vector<DWORD>& attributes) {
    std::vector<BYTE> block(sizeof(TOKEN_GROUPS) + attributes.size() * sizeof(SID_AND_ATTRIBUTES));
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(block.data());
    groups->GroupCount = static_cast<DWORD>(attributes.size());
    for (size_t i = 0; i < attributes.size(); ++i) groups->Groups[i] = {sid, attributes[i]};
    return block;
}

}  // namespace

TEST(UserIdentity, ProcessTokenHasAUserSidAndALogonSid) {
    const win::unique_handle token = ProcessToken();
    const std::wstring user = identity::GetUserSidString(token.get());
    EXPECT_TRUE(StartsWith(user, L"S-1-5-21-")) << std::string(user.begin(), user.end());
    // Wine's single logon session: S-1-5-5-0-0.
    const std::wstring logon = identity::GetLogonSidString(token.get());
    EXPECT_TRUE(StartsWith(logon, L"S-1-5-5-")) << std::string(logon.begin(), logon.end());
}

TEST(UserIdentity, NoTokenGivesEmptyStrings) {
    EXPECT_EQ(L"", identity::GetUserSidString(nullptr));
    EXPECT_EQ(L"", identity::GetLogonSidString(nullptr));
    EXPECT_EQ(L"", identity::GetUserSidString(INVALID_HANDLE_VALUE));
}

TEST(UserIdentity, LogonSidIsTheFirstGroupWithBothLogonBits) {
    PSID logonA = nullptr;
    PSID logonB = nullptr;
    ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-5-5-0-1234", &logonA));
    ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-5-5-0-5678", &logonB));
    win::unique_hlocal ownA(logonA);
    win::unique_hlocal ownB(logonB);

    struct Case {
        const char* name;
        std::vector<BYTE> groups;
        const wchar_t* expected;
    } cases[] = {
        {"no groups", Groups(logonA, {}), L""},
        {"ordinary groups only", Groups(logonA, {0x7, 0xF}), L""},
        {"only one of the two bits", Groups(logonA, {0x80000007, 0x40000007}), L""},
        {"both bits", Groups(logonA, {0x7, 0xC0000007}), L"S-1-5-5-0-1234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, identity::LogonSidFromGroups(*reinterpret_cast<const TOKEN_GROUPS*>(c.groups.data())));
    }

    std::vector<BYTE> two = Groups(logonA, {0xC0000000, 0xC0000007});
    reinterpret_cast<TOKEN_GROUPS*>(two.data())->Groups[1].Sid = logonB;
    EXPECT_EQ(L"S-1-5-5-0-1234", identity::LogonSidFromGroups(*reinterpret_cast<const TOKEN_GROUPS*>(two.data())));
}
