#include "tests/support/paths.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace testing_support {

fs::path InstallDir() {
    wchar_t value[1024];
    DWORD length = ::GetEnvironmentVariableW(L"TIDEPOOL_INSTALL_DIR", value, 1024);
    if (length == 0 || length >= 1024) throw std::runtime_error("TIDEPOOL_INSTALL_DIR is not set");
    std::wstring path(value, length);
    if (path[0] == L'/') {
        for (wchar_t& c : path) if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    return fs::path(path);
}

TempInstall::TempInstall() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    dir_ = fs::path(temp) / (L"tidepool-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
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
