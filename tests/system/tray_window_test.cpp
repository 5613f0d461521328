// The tray window driven by the messages the notification area and the system
// send it, and the sync check of a real timer tick against the engine simulator.
#include "tests/support/agent_fixture.h"  // winsock2.h before windows.h

#include "common/shared_names.h"
#include "tests/support/engine_log.h"
#include "tests/support/engine_simulator.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace testing_support;

namespace {

constexpr UINT kTrayCallback = WM_USER + 3;

class TrayWindow : public AgentTest {
protected:
    TrayWindow() { shell_ = InstallRecorder(install_.dir(), L"KXTidepool.exe"); }

    // The agent's hidden tray window.
    static HWND TrayOf(const Process& agent) {
        HWND found = nullptr;
        WaitUntil([&] {
            for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"Tidepool.TrayWindow", nullptr));) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(w, &pid);
                if (pid == agent.pid()) found = w;
            }
            return found != nullptr;
        }, 10s);
        return found;
    }

    fs::path shell_;
};

TEST_F(TrayWindow, DoubleClickAndLaunchCommandStartTheShell) {
    Process agent = StartAgent();
    HWND tray = TrayOf(agent);
    ASSERT_TRUE(tray);
    EXPECT_FALSE(::IsWindowVisible(tray));

    EXPECT_EQ(1, ::SendMessageW(tray, kTrayCallback, 103, WM_LBUTTONDBLCLK));
    ASSERT_TRUE(WaitUntil([&] { return ReadLaunchLog(shell_).starts.size() == 1; }, 10s));
    EXPECT_EQ(1, ::SendMessageW(tray, WM_COMMAND, 0x8001, 0));
    ASSERT_TRUE(WaitUntil([&] { return ReadLaunchLog(shell_).starts.size() == 2; }, 10s));
    for (const auto& [commandLine, folder] : ReadLaunchLog(shell_).starts) {
        EXPECT_EQ("KXTidepool.exe ", commandLine);
        EXPECT_EQ(Narrow(install_.dir()), folder) << "the install folder";
    }
    Quit(agent);
}

TEST_F(TrayWindow, NothingIsStartedWhileAShellRuns) {
    Process agent = StartAgent();
    HWND tray = TrayOf(agent);
    ASSERT_TRUE(tray);
    {
        win::unique_handle shellMutex(::CreateMutexW(nullptr, FALSE, names::kShellMutex));
        ::SendMessageW(tray, kTrayCallback, 103, WM_LBUTTONDBLCLK);
        ::SendMessageW(tray, WM_COMMAND, 0x8001, 0);
        ::Sleep(1000);
        EXPECT_TRUE(ReadLaunchLog(shell_).starts.empty());
    }
    // Other mouse messages count as handled and do nothing.
    EXPECT_EQ(1, ::SendMessageW(tray, kTrayCallback, 103, WM_MOUSEMOVE));
    EXPECT_EQ(1, ::SendMessageW(tray, kTrayCallback, 103, WM_LBUTTONUP));
    ::Sleep(500);
    EXPECT_TRUE(ReadLaunchLog(shell_).starts.empty());
    Quit(agent);
}

TEST_F(TrayWindow, SuspendTellsTheEngineAndResumeDoesNot) {
    Process agent = StartAgent();
    HWND tray = TrayOf(agent);
    ASSERT_TRUE(tray);
    EXPECT_EQ(TRUE, ::SendMessageW(tray, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0));
    EXPECT_EQ(TRUE, ::SendMessageW(tray, WM_POWERBROADCAST, PBT_APMSUSPEND, 0));
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(engine_, "/Notifications/?") == 1; }, 10s));
    for (const std::string& raw : engine_.Requests()) {
        const auto request = ParseRequest(raw);
        if (request.requestLine == "GET /Notifications/? HTTP/1.1") {
            EXPECT_EQ("'{\"key\":\"sync\", \"value\":\"'cancel'\",\"valuetype\":\"string\"}'", request.body);
        }
    }
    ::Sleep(500);
    EXPECT_EQ(1u, CountRequests(engine_, "/Notifications/?"));
    Quit(agent);
}

TEST_F(TrayWindow, ExitCommandEndsTheAgent) {
    Process agent = StartAgent();
    HWND tray = TrayOf(agent);
    ASSERT_TRUE(tray);
    ::PostMessageW(tray, WM_COMMAND, 0x8000, 0);
    EXPECT_EQ(0u, agent.WaitForExit(20s));
    EXPECT_FALSE(::IsWindow(tray));
    EXPECT_EQ(1u, CountRequests(engine_, "/shutdown?cleanup=1")) << "the engine was stopped";
}

// A real 20-second tick against the engine simulator, in sync mode 1: a known
// computer that comes back after a tick without it opens the shell minimized.
TEST(SyncCheckTick, KnownComputerReturningOpensTheShellMinimized) {
    TempInstall install;
    InstallEngineSimulatorAsRuntime(install.dir());
    const fs::path shell = InstallRecorder(install.dir(), L"KXTidepool.exe");
    const fs::path java = install / L"Java";
    WriteEngineState(java, "mode=1\nfrequency=0\ncomputers=Office PC,PC2\npresent=\n");

    Process agent(install / L"Tidepool.exe", L"");
    ASSERT_TRUE(WaitUntil(EngineReady, 30s));
    // First tick: nobody known is present.
    ASSERT_TRUE(WaitUntil([&] {
        size_t names = 0;
        for (const auto& request : ReadEngineLog(java).requests) names += request.target.rfind("/IPs/?random=", 0) == 0;
        return names == 1;
    }, 30s));
    EXPECT_TRUE(ReadLaunchLog(shell).starts.empty());
    WriteEngineState(java, "mode=1\nfrequency=0\ncomputers=Office PC,PC2\npresent=PC2\n");

    // Second tick: PC2 is back.
    ASSERT_TRUE(WaitUntil([&] { return !ReadLaunchLog(shell).starts.empty(); }, 30s));
    EXPECT_EQ("KXTidepool.exe -minimize", ReadLaunchLog(shell).starts[0].first);
    AgentTest::Quit(agent);
}

}  // namespace
