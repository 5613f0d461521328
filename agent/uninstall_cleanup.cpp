#include "agent/uninstall_cleanup.h"

#include <windows.h>

#include <shlobj.h>
#include <sys/stat.h>

#include <cwchar>

#include "common/config_file.h"
#include "common/install_location.h"
#include "win/unique_resource.h"

namespace {

using install::kPathCapacity;

bool EntryExists(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    return static_cast<bool>(win::unique_find(::FindFirstFileW(path.c_str(), &entry)));
}

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

bool DeleteEntry(const std::wstring& path, DWORD attributes) {
    // A junction or symbolic link may lead outside the folder: it goes as itself,
    // and its attributes are left alone, since changing them would change the target.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(path.c_str()) != FALSE
                                                       : ::DeleteFileW(path.c_str()) != FALSE;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return DeleteFolderTree(path);
    if (attributes & FILE_ATTRIBUTE_READONLY) _wchmod(path.c_str(), _S_IWRITE);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

}  // namespace

void RunUninstallCleanup() {
    const std::wstring configPath = install::GetConfigFilePath();
    if (configPath.empty() || !EntryExists(configPath)) return;
    const std::wstring name = config::ReadConfigUsbPath(configPath);

    wchar_t appData[MAX_PATH];
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return;
    DeleteDataFolder(appData, name);
}

bool DeleteDataFolder(const std::wstring& appDataFolder, const std::wstring& name) {
    if (!IsSafeDataFolderName(name)) return false;
    return DeleteFolderTree(appDataFolder + L"\\." + name);
}

bool IsSafeDataFolderName(const std::wstring& name) {
    if (name.empty() || name.find(L"..") != std::wstring::npos) return false;
    if (name.find_first_not_of(L". ") == std::wstring::npos) return false;
    for (wchar_t c : name) {
        // Control characters first: wcschr would find a zero as the set's terminator.
        if (c < L' ' || wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return true;
}

bool DeleteFolderTree(const std::wstring& path) {
    // In place of the folder itself, a link is removed and its target left alone.
    const DWORD own = ::GetFileAttributesW(path.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT))
        return ::RemoveDirectoryW(path.c_str()) != FALSE;

    const std::wstring prefix = path + L"\\";
    const std::wstring pattern = prefix + L"*";
    if (pattern.size() >= kPathCapacity) return false;
    WIN32_FIND_DATAW entry;
    win::unique_find search(::FindFirstFileW(pattern.c_str(), &entry));
    if (!search) return false;
    // Every entry counts, the search's first one too: not every file system opens with ".".
    do {
        if (IsDotEntry(entry.cFileName)) continue;
        const std::wstring entryPath = prefix + entry.cFileName;
        if (entryPath.size() >= kPathCapacity) return false;
        if (!DeleteEntry(entryPath, entry.dwFileAttributes)) return false;
    } while (::FindNextFileW(search.get(), &entry));
    if (::GetLastError() != ERROR_NO_MORE_FILES) return false;

    search.reset();
    return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

void RestoreSavedConfig() {
    wchar_t temp[kPathCapacity];
    const DWORD length = ::GetTempPathW(kPathCapacity, temp);
    if (length == 0 || length >= kPathCapacity) return;
    const std::wstring savedPath = install::JoinPath(std::wstring(temp, length), kSavedConfigName);
    if (!EntryExists(savedPath)) return;
    const std::wstring configPath = install::GetConfigFilePath();
    if (configPath.empty()) return;
    // Removed only once it is in place, so a failed copy is tried again at the next start.
    if (::CopyFileW(savedPath.c_str(), configPath.c_str(), FALSE)) ::DeleteFileW(savedPath.c_str());
}
