#pragma once
// The two file operations around the engine's data: removing its data folder
// when the product is uninstalled or updated, and putting back a configuration
// file that the installer saved before an update.
#include <string>

// The saved configuration, in the user's temporary folder.
constexpr wchar_t kSavedConfigName[] = L"kxtidepool75829.dat";

// Removes the data folder that the configuration file's `usbPath` names, inside
// the common application-data folder. Does nothing without a configuration file;
// lets the win::com_error of the configuration lookup through, nothing deleted.
void RunUninstallCleanup();

// Deletes the data folder of `name` below `appDataFolder` (the folder, "\.",
// the name). A name that could point anywhere else is refused: nothing is deleted.
// True when the data folder was removed.
bool DeleteDataFolder(const std::wstring& appDataFolder, const std::wstring& name);

// False for a name that is empty, holds a path separator, a drive colon, "..",
// a character no file name may hold, or only dots and blanks (which Windows trims).
bool IsSafeDataFolderName(const std::wstring& name);

// Deletes the folder `path` with everything in it, read-only files included;
// true when the folder itself was removed. Junctions and symbolic links are
// removed as links and never followed. The walk stops at the first entry it
// cannot delete, or whose path would not fit 260 characters, and leaves the
// rest in place.
bool DeleteFolderTree(const std::wstring& path);

// Copies a saved configuration from the temporary folder over the configuration
// file, then removes the saved copy. A failed copy keeps it for the next start.
void RestoreSavedConfig();
