#include "common/user_identity.h"

#include <sddl.h>

#include "win/unique_resource.h"

namespace identity {
namespace {

// SE_GROUP_LOGON_ID is two bits; a group with only one of them is no logon group.
constexpr DWORD kLogonIdMask = 0xC0000000;

// The token information of `kind` in a zeroed block of the process heap, or none.
win::unique_heap_block QueryToken(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    if (::GetTokenInformation(token, kind, nullptr, 0, &size) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    win::unique_heap_block block(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!block || !::GetTokenInformation(token, kind, block.get(), size, &size)) return {};
    return block;
}

std::wstring SidToString(PSID sid) {
    if (!::IsValidSid(sid)) return {};
    const DWORD length = ::GetLengthSid(sid);
    win::unique_heap_block copy(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, length));
    if (!copy || !::CopySid(length, copy.get(), sid)) return {};
    win::unique_hlocal text;
    if (!::ConvertSidToStringSidW(copy.get(), reinterpret_cast<LPWSTR*>(text.put()))) return {};
    return static_cast<const wchar_t*>(text.get());
}

}  // namespace

std::wstring GetUserSidString(HANDLE token) {
    const win::unique_heap_block block = QueryToken(token, TokenUser);
    if (!block) return {};
    return SidToString(static_cast<const TOKEN_USER*>(block.get())->User.Sid);
}

std::wstring GetLogonSidString(HANDLE token) {
    const win::unique_heap_block block = QueryToken(token, TokenGroups);
    if (!block) return {};
    return LogonSidFromGroups(*static_cast<const TOKEN_GROUPS*>(block.get()));
}

std::wstring LogonSidFromGroups(const TOKEN_GROUPS& groups) {
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        if ((groups.Groups[i].Attributes & kLogonIdMask) == kLogonIdMask) return SidToString(groups.Groups[i].Sid);
    }
    return {};
}

}  // namespace identity
