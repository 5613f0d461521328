#pragma once
#include <filesystem>

namespace testing_support {

// The product's install folder prepared by the build (TIDEPOOL_INSTALL_DIR, a
// Unix path that Wine reaches through drive Z:).
std::filesystem::path InstallDir();

// A fresh copy of the install folder under the temporary folder, removed again
// when the object goes away, so each system test starts from the product as installed.
class TempInstall {
public:
    TempInstall();
    ~TempInstall();
    TempInstall(const TempInstall&) = delete;
    TempInstall& operator=(const TempInstall&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path operator/(const wchar_t* name) const { return dir_ / name; }

private:
    std::filesystem::path dir_;
};

}  // namespace testing_support
