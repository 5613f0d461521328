#pragma once
#include <filesystem>

namespace testing_support {

// The product's install folder prepared by the build (under TIDEPOOL_BUILD_DIR).
std::filesystem::path InstallDir();

// The folder of the test programs and stand-ins .
std::filesystem::path TestBinDir();

// A fresh copy of the install folder under the temporary folder, removed again
// when the object goes away, so each system test starts from the product as installed.
class TempInstall {
public:
    // `label` names the folder; one with blanks gives a path with blanks.
    explicit TempInstall(const std::wstring& label = L"tidepool-test");
    ~TempInstall();
    TempInstall(const TempInstall&) = delete;
    TempInstall& operator=(const TempInstall&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path operator/(const wchar_t* name) const { return dir_ / name; }

private:
    std::filesystem::path dir_;
};

}  // namespace testing_support
