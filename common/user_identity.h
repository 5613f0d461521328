#pragma once
// Security identifiers of a process token in their string form ("S-1-5-..."),
// empty on any failure; nothing here raises.
#include <windows.h>

#include <string>

namespace identity {

// The token's user.
std::wstring GetUserSidString(HANDLE token);

// The token's logon-session group, or empty when it has none.
std::wstring GetLogonSidString(HANDLE token);

// The first group with both bits of the logon-identifier mask set, in string form.
std::wstring LogonSidFromGroups(const TOKEN_GROUPS& groups);

}  // namespace identity
