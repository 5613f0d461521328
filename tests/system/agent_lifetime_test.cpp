// The agent's single-instance rule, its published identifiers and the uninstall
// run that stops it, seen from outside as another program of the session would.
#include "tests/support/agent_fixture.h"  // winsock2.h before windows.h

#include "common/shared_names.h"

using namespace std::chrono_literals;
using testing_support::Process;
using testing_support::ReadBlock;
using testing_support::WaitUntil;

namespace {

class AgentLifetime : public testing_support::AgentTest {
protected:
    // Starts the agent and waits until it has published both identifiers.
    Process StartPublishedAgent() {
        Process agent(install_ / L"Tidepool.exe", L"");
        bool published = WaitUntil(
            [&] {
                DWORD tid = 0, pid = 0;
                return ReadBlock(names::kThreadIdBlock, &tid) && ReadBlock(names::kProcessIdBlock, &pid) &&
                       tid == agent.mainThreadId() && pid == agent.pid();
            },
            20s);
        EXPECT_TRUE(published) << "the agent did not publish its identifiers";
        return agent;
    }

    void ExpectPublishedBy(const Process& agent) {
        DWORD tid = 0, pid = 0;
        EXPECT_TRUE(ReadBlock(names::kThreadIdBlock, &tid));
        EXPECT_TRUE(ReadBlock(names::kProcessIdBlock, &pid));
        EXPECT_EQ(agent.mainThreadId(), tid);
        EXPECT_EQ(agent.pid(), pid);
    }
};

TEST_F(AgentLifetime, RunningAgentHoldsMutexAndPublishesItsIdentifiers) {
    Process agent = StartPublishedAgent();
    EXPECT_TRUE(testing_support::MutexExists(names::kAgentMutex));
    ExpectPublishedBy(agent);
    EXPECT_TRUE(agent.Running());
}

TEST_F(AgentLifetime, SecondPlainAgentEndsSilently) {
    Process first = StartPublishedAgent();
    Process second(install_ / L"Tidepool.exe", L"");
    EXPECT_EQ(0u, second.WaitForExit(10s));
    EXPECT_TRUE(first.Running());
    ExpectPublishedBy(first);
}

TEST_F(AgentLifetime, UninstallRunStopsTheRunningAgent) {
    for (const wchar_t* arguments : {L"-uninstall", L"/UnregServer", L"-UNINSTALL -RegServer"}) {
        SCOPED_TRACE(testing::Message() << "arguments " << std::string(arguments, arguments + wcslen(arguments)));
        Process agent = StartPublishedAgent();
        Process uninstall(install_ / L"Tidepool.exe", arguments);
        EXPECT_EQ(0u, uninstall.WaitForExit(30s));
        // The uninstall run returns only once the agent and its mutex are gone.
        EXPECT_FALSE(agent.Running());
        EXPECT_FALSE(testing_support::MutexExists(names::kAgentMutex));
        EXPECT_EQ(0u, agent.WaitForExit(0ms));
    }
    // Each uninstall run first asked the engine to shut down, and waited for its answer.
    size_t shutdowns = 0;
    for (const std::string& raw : engine_.Requests())
        shutdowns += testing_support::ParseRequest(raw).requestLine == "GET /shutdown?cleanup=1 HTTP/1.1";
    EXPECT_EQ(3u + 3u, shutdowns) << "three uninstall runs and three agents' own ends";
}

TEST_F(AgentLifetime, UninstallRunWithoutAgentPostsNothing) {
    // A thread-id block naming this thread, but no agent mutex: nothing may be posted.
    win::unique_handle block(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4,
                                                  names::kThreadIdBlock));
    ASSERT_TRUE(block);
    win::unique_view view(::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    *static_cast<DWORD*>(view.get()) = ::GetCurrentThreadId();

    Process uninstall(install_ / L"Tidepool.exe", L"-uninstall");
    EXPECT_EQ(0u, uninstall.WaitForExit(30s));
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_FALSE(testing_support::MutexExists(names::kAgentMutex));
}

TEST_F(AgentLifetime, UninstallRunWaitsUntilTheAgentMutexIsGone) {
    // This test plays the running agent: it holds the mutex and publishes its own thread.
    win::unique_handle mutex(::CreateMutexW(nullptr, FALSE, names::kAgentMutex));
    ASSERT_TRUE(mutex);
    ASSERT_NE(ERROR_ALREADY_EXISTS, ::GetLastError());
    win::unique_handle block(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4,
                                                  names::kThreadIdBlock));
    win::unique_view view(::MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    *static_cast<DWORD*>(view.get()) = ::GetCurrentThreadId();

    Process uninstall(install_ / L"Tidepool.exe", L"-uninstall");
    MSG msg = {};
    bool quitReceived = WaitUntil([&] { return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0; }, 20s);
    ASSERT_TRUE(quitReceived);
    EXPECT_EQ(0u, msg.wParam);
    EXPECT_EQ(0, msg.lParam);

    // Still holding the mutex: the uninstall run must keep waiting.
    EXPECT_EQ(STILL_ACTIVE, uninstall.WaitForExit(1s));
    mutex.reset();
    EXPECT_EQ(0u, uninstall.WaitForExit(10s));
}

}  // namespace
