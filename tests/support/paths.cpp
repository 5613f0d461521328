#include "tests/support/paths.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace testing_support {

namespace {

// A folder named by the build in an environment variable, as a Unix path that
// Wine reaches through drive Z:.
fs::path FolderFromEnvironment(const wchar_t* variable) {
    wchar_t value[1024];
    DWORD length = ::GetEnvironmentVariableW(variable, value, 1024);
    if (length == 0 || length >= 1024) throw std::runtime_error("a test folder variable is not set");
    std::wstring path(value, length);
    if (path[0] == L'/') {
        for (wchar_t& c : path) if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    return fs::path(path);
}

}  // namespace

fs::path InstallDir() { return FolderFromEnvironment(L"TIDEPOOL_BUILD_DIR") / L"installed"; }

fs::path TestBinDir() { return FolderFromEnvironment(L"TIDEPOOL_BUILD_DIR") / L"tests"; }

TempInstall::TempInstall(const std::wstring& label) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    dir_ = fs::path(temp) / (label + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                             std::to_wstring(++counter));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::copy(InstallDir(), dir_, fs::copy_options::recursive);
}

TempInstall::~TempInstall() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

}  // namespace testing_support
