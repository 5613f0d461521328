#include "tests/support/files.h"

#include <windows.h>

#include <winioctl.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/support/process.h"
#include "win/unique_resource.h"

namespace fs = std::filesystem;

namespace testing_support {
namespace {

// The mount-point form of a reparse buffer; mingw's headers leave it to the driver kit.
struct MountPointReparseBuffer {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    wchar_t names[MAX_PATH * 2];
};

constexpr DWORD kMountPointTag = 0xA0000003;
constexpr DWORD kReparseHeaderBytes = 8;

bool MakeJunction(const fs::path& link, const fs::path& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    win::unique_hfile folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const std::wstring substitute = L"\\??\\" + target.wstring();
    MountPointReparseBuffer buffer = {};
    buffer.tag = kMountPointTag;
    buffer.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    buffer.printOffset = static_cast<WORD>(buffer.substituteLength + sizeof(wchar_t));
    substitute.copy(buffer.names, substitute.size());
    // Four name fields, both names and their two terminators.
    buffer.dataLength = static_cast<WORD>(8 + buffer.substituteLength + 2 * sizeof(wchar_t));
    DWORD returned = 0;
    if (folder && ::DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, &buffer,
                                    kReparseHeaderBytes + buffer.dataLength, nullptr, 0, &returned, nullptr))
        return true;
    folder.reset();
    ::RemoveDirectoryW(link.c_str());
    return false;
}

std::string UnixPath(const fs::path& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unix = toUnix(path.c_str());
    if (!unix) return {};
    std::string result(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

// Wine starts a Unix program given by its Unix path, but hands back no handle to
// wait on (WaitForSingleObject fails at once), so callers poll for its effect.
bool StartUnix(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    win::unique_handle process(info.hProcess);
    win::unique_handle thread(info.hThread);
    return true;
}

bool IsLink(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

std::wstring UniqueName(const wchar_t* stem) {
    static unsigned counter = 0;
    return std::wstring(stem) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

fs::path CommonAppData() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("ProgramData is not set");
    return fs::path(path);
}

fs::path TempFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("no temporary folder");
    return fs::path(std::wstring(path, length));
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool Exists(const fs::path& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ScratchFolder::ScratchFolder(fs::path path) : path_(std::move(path)) {
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    // Read-only files would stop remove_all on Windows.
    for (fs::recursive_directory_iterator it(path_, ignored), end; !ignored && it != end; it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

LinkKind MakeFolderLink(const fs::path& link, const fs::path& target) {
    if (MakeJunction(link, target)) return LinkKind::Junction;
    const std::string unixLink = UnixPath(link);
    const std::string unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty()) return LinkKind::None;
    if (!StartUnix(L"/bin/ln -s \"" + Widen(unixTarget) + L"\" \"" + Widen(unixLink) + L"\"")) return LinkKind::None;
    return WaitUntil([&] { return IsLink(link); }, std::chrono::seconds(10)) ? LinkKind::UnixSymlink : LinkKind::None;
}

void RemoveFolderLink(const fs::path& link, LinkKind kind) {
    if (kind == LinkKind::Junction) ::RemoveDirectoryW(link.c_str());
    // Wine 8.0 removes a Unix symbolic link to a folder by neither RemoveDirectoryW nor DeleteFileW.
    if (kind == LinkKind::UnixSymlink && StartUnix(L"/bin/rm -f \"" + Widen(UnixPath(link)) + L"\""))
        WaitUntil([&] { return !Exists(link); }, std::chrono::seconds(10));
}

}  // namespace testing_support
