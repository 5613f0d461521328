// Putting a saved configuration back at start. The saved file's name in the
// temporary folder is fixed and the install folder value is machine-wide, so
// these tests run serially.
#include <gtest/gtest.h>
#include <windows.h>

#include "agent/uninstall_cleanup.h"
#include "tests/support/files.h"
#include "tests/support/install_dir_override.h"

namespace fs = std::filesystem;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::ScratchFolder;
using testing_support::TempFolder;
using testing_support::UniqueName;
using testing_support::WriteBytes;

namespace {

class SavedConfig : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Exists(saved_)) << "a saved configuration is already waiting";
        installDir_.Set(install_.path().wstring());
        WriteBytes(config_, "old");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove(saved_, ignored);
    }

    testing_support::InstallDirOverride installDir_;
    ScratchFolder install_{TempFolder() / UniqueName(L"tidepool-install")};
    fs::path config_ = install_ / L"PellanConfig.xml";
    // GetTempPathW's folder ends with a backslash; the saved file follows it once.
    fs::path saved_ = TempFolder() / kSavedConfigName;
};

TEST_F(SavedConfig, SavedCopyReplacesTheConfigurationAndGoes) {
    WriteBytes(saved_, "new");
    RestoreSavedConfig();
    EXPECT_EQ("new", ReadBytes(config_));
    EXPECT_FALSE(Exists(saved_));
    // The next start finds nothing to restore.
    WriteBytes(config_, "edited");
    RestoreSavedConfig();
    EXPECT_EQ("edited", ReadBytes(config_));
}

TEST_F(SavedConfig, SavedCopyAlsoCreatesAMissingConfiguration) {
    fs::remove(config_);
    WriteBytes(saved_, "new");
    RestoreSavedConfig();
    EXPECT_EQ("new", ReadBytes(config_));
    EXPECT_FALSE(Exists(saved_));
}

TEST_F(SavedConfig, WithoutSavedCopyNothingChanges) {
    RestoreSavedConfig();
    EXPECT_EQ("old", ReadBytes(config_));
}

TEST_F(SavedConfig, FailedCopyKeepsTheSavedCopyForTheNextStart) {
    WriteBytes(saved_, "new");
    {
        SCOPED_TRACE("configuration path is a folder");
        fs::remove(config_);
        fs::create_directory(config_);
        RestoreSavedConfig();
        EXPECT_TRUE(fs::is_directory(config_));
        EXPECT_EQ("new", ReadBytes(saved_));
        fs::remove(config_);
    }
    {
        SCOPED_TRACE("configuration file is locked");
        WriteBytes(config_, "old");
        HANDLE lock = ::CreateFileW(config_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, lock);
        RestoreSavedConfig();
        ::CloseHandle(lock);
        EXPECT_EQ("old", ReadBytes(config_));
        EXPECT_EQ("new", ReadBytes(saved_));
    }
    {
        SCOPED_TRACE("next start");
        RestoreSavedConfig();
        EXPECT_EQ("new", ReadBytes(config_));
        EXPECT_FALSE(Exists(saved_));
    }
}

TEST_F(SavedConfig, InstallFolderThatDoesNotExistKeepsTheSavedCopy) {
    installDir_.Set((install_ / L"missing").wstring());
    WriteBytes(saved_, "new");
    RestoreSavedConfig();
    EXPECT_EQ("new", ReadBytes(saved_));
    EXPECT_FALSE(Exists(install_ / L"missing"));
}

}  // namespace
