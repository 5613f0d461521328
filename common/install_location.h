#pragma once
// Where the product is installed and where its engine's configuration file lies.
// Each lookup reads afresh and returns an empty string when it finds nothing.
#include <string>

namespace install {

// The registry key and value in which the installer records the install folder.
constexpr wchar_t kInstallKey[] = L"Software\\Fenwright\\KX Tidepool";
constexpr wchar_t kInstallDirValue[] = L"InstallDir";
constexpr wchar_t kConfigFileName[] = L"PellanConfig.xml";

// Paths and registry values are read into buffers of this many characters,
// the terminating zero included.
constexpr size_t kPathCapacity = 260;

// "InstallDir" under HKEY_LOCAL_MACHINE exactly as stored, whatever its type;
// empty when it is missing or does not fit kPathCapacity with its terminator.
std::wstring GetInstallDirValue();

// The running program file's folder, without a trailing backslash.
std::wstring GetModuleFolder();

// The recorded install folder, or the program file's folder when none is recorded.
std::wstring GetInstallFolder();

// "PellanConfig.xml" in the install folder, or empty.
std::wstring GetConfigFilePath();

// `folder` and `name` joined by exactly one backslash, a trailing one of the
// folder's included.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* name);

}  // namespace install
