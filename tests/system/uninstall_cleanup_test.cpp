// The agent's file work seen from outside: an uninstall run removes exactly the
// engine's data folder, and an ordinary start puts back a saved configuration.
#include "tests/support/agent_fixture.h"  // winsock2.h before windows.h

#include "agent/uninstall_cleanup.h"
#include "common/shared_names.h"
#include "tests/support/files.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"
#include "tests/support/install_dir_override.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::CommonAppData;
using testing_support::Exists;
using testing_support::Process;
using testing_support::ReadBytes;
using testing_support::ScratchFolder;
using testing_support::UniqueName;
using testing_support::WaitUntil;
using testing_support::WriteBytes;

namespace {

// The agent's engine is the recording stand-in, answered by this test.
class AgentFiles : public testing_support::AgentTest {
protected:
    void SetUp() override {
        // Without the value the agent takes its own folder, the temporary install.
        ASSERT_FALSE(testing_support::InstallDirValueExists()) << "InstallDir is set; the agent would look elsewhere";
    }

    void WriteConfig(const std::wstring& usbPathElement) {
        const std::string narrow(usbPathElement.begin(), usbPathElement.end());
        WriteBytes(config_, "<?xml version=\"1.0\"?>\n<config>\n  " + narrow + "\n</config>\n");
    }

    DWORD RunUninstall() {
        Process uninstall(install_ / L"Tidepool.exe", L"-uninstall");
        return uninstall.WaitForExit(30s);
    }

    fs::path config_ = install_ / L"PellanConfig.xml";
    std::wstring name_ = UniqueName(L"tidepool-data");
    // The data folder and, beside it, folders whose names come close to it.
    ScratchFolder data_{CommonAppData() / (L"." + name_)};
    ScratchFolder near_{CommonAppData() / (L"." + name_ + L"-near")};
    ScratchFolder plain_{CommonAppData() / name_};
};

TEST_F(AgentFiles, UninstallRemovesExactlyTheDataFolder) {
    WriteConfig(L"<usbPath>" + name_ + L"</usbPath>");
    fs::create_directories(data_ / L"db" / L"log");
    WriteBytes(data_ / L"db" / L"log" / L"x.log", "1");
    WriteBytes(data_ / L"settings.dat", "2");
    ASSERT_TRUE(::SetFileAttributesW((data_ / L"settings.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    WriteBytes(near_ / L"keep.txt", "near");
    WriteBytes(plain_ / L"keep.txt", "plain");

    EXPECT_EQ(0u, RunUninstall());
    EXPECT_FALSE(Exists(data_.path()));
    EXPECT_EQ("near", ReadBytes(near_ / L"keep.txt"));
    EXPECT_EQ("plain", ReadBytes(plain_ / L"keep.txt"));
    EXPECT_TRUE(Exists(config_));
    EXPECT_TRUE(Exists(install_ / L"Tidepool.exe"));
    EXPECT_FALSE(testing_support::MutexExists(names::kAgentMutex));

    // A second run finds the folder gone and does nothing else.
    EXPECT_EQ(0u, RunUninstall());
    EXPECT_EQ("near", ReadBytes(near_ / L"keep.txt"));
    EXPECT_TRUE(Exists(config_));
}

TEST_F(AgentFiles, ConfigurationWithoutUsbPathEndsTheRunWithNothingDeleted) {
    WriteBytes(data_ / L"keep.txt", "data");
    struct Case {
        const char* name;
        std::wstring element;
    } cases[] = {
        {"other element", L"<dataPath>" + name_ + L"</dataPath>"},
        // Not well-formed: the text search would find the name, but the XML
        // library is there, so its failure ends the run.
        {"broken XML", L"<usbPath>" + name_ + L"<"},
        {"refused name", L"<usbPath>..</usbPath>"},
        {"empty element", L"<usbPath/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteConfig(c.element);
        EXPECT_EQ(0u, RunUninstall());
        EXPECT_EQ("data", ReadBytes(data_ / L"keep.txt"));
        EXPECT_TRUE(Exists(CommonAppData()));
    }
}

TEST_F(AgentFiles, UninstallWithoutConfigurationDeletesNothing) {
    WriteBytes(data_ / L"keep.txt", "data");
    EXPECT_EQ(0u, RunUninstall());
    EXPECT_EQ("data", ReadBytes(data_ / L"keep.txt"));
}

TEST_F(AgentFiles, OrdinaryStartRestoresTheSavedConfiguration) {
    const fs::path saved = testing_support::TempFolder() / kSavedConfigName;
    ASSERT_FALSE(Exists(saved)) << "a saved configuration is already waiting";
    WriteBytes(config_, "<config>old</config>");
    WriteBytes(saved, "<config>saved</config>");
    {
        Process agent(install_ / L"Tidepool.exe", L"");
        EXPECT_TRUE(WaitUntil([&] { return !Exists(saved); }, 20s)) << "the saved copy was not taken";
        EXPECT_EQ("<config>saved</config>", ReadBytes(config_));
        EXPECT_TRUE(WaitUntil([&] { return ::PostThreadMessageW(agent.mainThreadId(), WM_QUIT, 0, 0) != FALSE; }, 20s));
        EXPECT_EQ(0u, agent.WaitForExit(30s));
    }
    // The next start finds nothing to restore and leaves the configuration alone.
    WriteBytes(config_, "<config>edited</config>");
    Process agent(install_ / L"Tidepool.exe", L"");
    EXPECT_TRUE(WaitUntil([] { return testing_support::MutexExists(names::kAgentMutex); }, 20s));
    EXPECT_TRUE(WaitUntil([&] { return ::PostThreadMessageW(agent.mainThreadId(), WM_QUIT, 0, 0) != FALSE; }, 20s));
    EXPECT_EQ(0u, agent.WaitForExit(30s));
    EXPECT_EQ("<config>edited</config>", ReadBytes(config_));
    std::error_code ignored;
    fs::remove(saved, ignored);
}

}  // namespace
