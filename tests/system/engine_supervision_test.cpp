// The agent's engine start, handshake, supervision and ordered shut-down, seen
// by a stand-in runtime that records how it was started and by this test, which
// plays the engine's HTTP endpoint, the shell's window and the pipe listener.
#include "tests/support/agent_fixture.h"  // winsock2.h before windows.h

#include <fstream>
#include <regex>
#include <thread>

#include "common/shared_names.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace testing_support;

namespace {

std::string RegexEscape(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

using EngineSupervision = AgentTest;

TEST(EngineCommandLine, RecordedByTheRuntime) {
    const std::string sid = R"(sid=S-1-5-21-[0-9-]+)";
    struct Case {
        const char* name;
        const wchar_t* arguments;
        const wchar_t* runtime;  // where the stand-in lies
        bool privateRuntime;
        const char* tail;
    };
    const Case cases[] = {
        {"no switches", L"", L"jre\\bin\\javaw.exe", true, ""},
        {"log", L"-log", L"jre\\bin\\javaw.exe", true, " logging"},
        {"console", L"/console", L"jre\\bin\\java.exe", true, ""},
        {"console and log", L"-LOG -Console", L"jre\\bin\\java.exe", true, " logging"},
        {"no private runtime: the bare name, found beside the agent", L"", L"javaw.exe", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempInstall install;
        fs::create_directories(install / L"Java");
        const fs::path runtime = InstallRecorder(install.dir(), c.runtime);

        RawListener engine({200, ""});
        Process agent(install / L"Tidepool.exe", c.arguments);
        ASSERT_TRUE(WaitUntil([&] { return !ReadLaunchLog(runtime).starts.empty(); }, 30s));
        ASSERT_TRUE(WaitUntil(EngineReady, 30s));
        AgentTest::Quit(agent);

        const auto [commandLine, folder] = ReadLaunchLog(runtime).starts.front();
        const std::string runtimeText = c.privateRuntime ? Narrow(runtime) : Narrow(runtime.filename());
        const std::regex expected(RegexEscape(runtimeText) +
                                  R"(  -Xms(\d+)m -Xmx(\d+)m  -classpath \.;tandels\.jar )"
                                  R"(pellanDesktop\.pellanDesktopMain )" + sid + RegexEscape(c.tail));
        std::smatch match;
        ASSERT_TRUE(std::regex_match(commandLine, match, expected)) << commandLine;
        const int initial = std::stoi(match[1]), maximum = std::stoi(match[2]);
        EXPECT_EQ(2 * initial, maximum);
        EXPECT_GE(initial, 16);
        EXPECT_LE(initial, 48);
        EXPECT_EQ(Narrow(install / L"Java"), folder);
        EXPECT_EQ(1u, CountRequests(engine, "/initialize/?random="));
    }
}

class EngineSupervisionWithBlanks : public AgentTest {
protected:
    EngineSupervisionWithBlanks() : AgentTest(L"KX Tidepool test") {}
};

TEST_F(EngineSupervisionWithBlanks, RuntimePathWithBlanksIsQuoted) {
    Process agent = StartAgent();
    Quit(agent);
    const auto starts = ReadLaunchLog(runtime_).starts;
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(0u, starts[0].first.find("\"" + Narrow(runtime_) + "\"  -Xms")) << starts[0].first;
}

class SilentEngine : public AgentTest {
protected:
    SilentEngine() : AgentTest(L"tidepool-test", {200, "", 0, /*drop=*/true}) {}
};

TEST_F(SilentEngine, HandshakeRepeatsTheSamePathTwentyTimes) {
    Process agent = StartAgent();
    const auto requests = engine_.Requests();
    const auto ticks = engine_.ArrivalTicks();
    ASSERT_EQ(20u, requests.size());
    const std::string first = ParseRequest(requests[0]).requestLine;
    EXPECT_TRUE(std::regex_match(first, std::regex(R"(GET /initialize/\?random=-?\d+ HTTP/1\.1)"))) << first;
    for (size_t i = 1; i < requests.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "attempt " << i + 1);
        EXPECT_EQ(first, ParseRequest(requests[i]).requestLine);
        EXPECT_GE(ticks[i] - ticks[i - 1], 450u) << "attempts pause about 500 ms";
    }
    EXPECT_TRUE(agent.Running()) << "an engine that never answers still counts as started";
    Quit(agent);
}

class EngineAnswering404 : public AgentTest {
protected:
    EngineAnswering404() : AgentTest(L"tidepool-test", {404, "no"}) {}
};

TEST_F(EngineAnswering404, HandshakeEndsAtAnyAnswer) {
    Process agent = StartAgent();
    ::Sleep(1500);
    EXPECT_EQ(1u, CountRequests(engine_, "/initialize/"));
    Quit(agent);
}

TEST_F(EngineAnswering404, FailedEngineStartEndsTheAgent) {
    // No runtime anywhere: the start fails, the handshake still asks, the event is set.
    fs::remove(runtime_);
    Process agent(install_ / L"Tidepool.exe", L"");
    EXPECT_EQ(0x80004005u, agent.WaitForExit(30s));
    EXPECT_EQ(1u, CountRequests(engine_, "/initialize/"));
    EXPECT_TRUE(ReadLaunchLog(runtime_).starts.empty());
}

TEST_F(EngineSupervision, EngineReadyEventThatCannotBeMadeEndsTheAgentCleanly) {
    // Another kind of object under the event's name makes CreateEventW fail.
    win::unique_handle squatter(::CreateMutexW(nullptr, FALSE, names::kEngineReadyEvent));
    ASSERT_TRUE(squatter);
    Process agent(install_ / L"Tidepool.exe", L"");
    const DWORD code = agent.WaitForExit(30s);
    EXPECT_NE(STILL_ACTIVE, code);
    EXPECT_NE(0u, code);
    EXPECT_NE(0xC0000005u, code);
    EXPECT_EQ(0u, CountRequests(engine_, "/initialize/"));
    EXPECT_TRUE(ReadLaunchLog(runtime_).starts.empty()) << "no engine is started";
}

TEST_F(EngineSupervision, KilledEngineIsStartedAgainWithoutTheAgentsSwitches) {
    Process agent = StartAgent(L"-log");
    ASSERT_TRUE(WaitUntil([&] { return ReadLaunchLog(runtime_).starts.size() == 1; }, 10s));
    win::unique_handle first(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, EngineOf(agent)));
    ASSERT_TRUE(first);
    ::TerminateProcess(first.get(), 9);
    ASSERT_TRUE(WaitUntil([&] { return ReadLaunchLog(runtime_).starts.size() == 2; }, 30s))
        << "no restart within one tick";
    const auto starts = ReadLaunchLog(runtime_).starts;
    EXPECT_NE(std::string::npos, starts[0].first.find(" logging"));
    EXPECT_EQ(std::string::npos, starts[1].first.find(" logging"));
    EXPECT_EQ(2u, CountRequests(engine_, "/initialize/"));
    Quit(agent);
}

TEST_F(EngineSupervision, RestartThatFailsIsNotRetried) {
    Process agent = StartAgent();
    win::unique_handle first(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, EngineOf(agent)));
    ASSERT_TRUE(first);
    ::TerminateProcess(first.get(), 9);
    ::WaitForSingleObject(first.get(), 5000);
    fs::remove(runtime_);

    // First tick: the restart fails, though its handshake still asks.
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(engine_, "/initialize/") == 2; }, 30s));
    // Second tick: nothing more.
    ::Sleep(22000);
    EXPECT_EQ(2u, CountRequests(engine_, "/initialize/"));
    EXPECT_TRUE(agent.Running());
    Quit(agent);
}

// A window captioned like the shell's, on a thread of its own, that records the
// WM_QUIT it is sent. It holds the shell mutex, as a running shell does.
class FakeShellWindow {
public:
    FakeShellWindow() : mutex_(::CreateMutexW(nullptr, FALSE, names::kShellMutex)) {
        ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ended_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_ = std::thread([this] {
            threadId_ = ::GetCurrentThreadId();
            HWND window = ::CreateWindowExW(0, L"STATIC", L"KX Tidepool", WS_POPUP, 0, 0, 10, 10, nullptr,
                                            nullptr, nullptr, nullptr);
            ::SetEvent(ready_.get());
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
            quitWParam_ = msg.message == WM_QUIT ? msg.wParam : 0;
            ::DestroyWindow(window);
            ::SetEvent(ended_.get());
        });
        ::WaitForSingleObject(ready_.get(), 10000);
    }
    ~FakeShellWindow() {
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    WPARAM quitWParam() const { return quitWParam_; }
    bool Ended() { return ::WaitForSingleObject(ended_.get(), 0) == WAIT_OBJECT_0; }

private:
    win::unique_handle mutex_;
    win::unique_handle ready_;
    win::unique_handle ended_;
    std::thread thread_;
    DWORD threadId_ = 0;
    WPARAM quitWParam_ = 0;
};

TEST_F(EngineSupervision, ShutdownStopsShellAndEngineInOrderAndNotifiesThePipe) {
    std::ofstream(fs::path(runtime_.wstring() + L".ignore-quit")).put('1');
    win::unique_hfile pipe(::CreateNamedPipeW(L"\\\\.\\pipe\\tandelsMAPI", PIPE_ACCESS_DUPLEX,
                                              PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
    ASSERT_TRUE(pipe);
    std::string notice;
    std::thread listener([&] {
        if (!::ConnectNamedPipe(pipe.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
        char buffer[256];
        DWORD read = 0;
        while (::ReadFile(pipe.get(), buffer, sizeof(buffer), &read, nullptr) && read) notice.append(buffer, read);
    });

    Process agent = StartAgent();
    win::unique_handle engineProcess(::OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, EngineOf(agent)));
    ASSERT_TRUE(engineProcess);
    FakeShellWindow shell;

    const DWORD quitPosted = ::GetTickCount();
    Quit(agent);
    listener.join();

    EXPECT_TRUE(WaitUntil([&] { return shell.Ended(); }, 5s));
    EXPECT_EQ(WPARAM(0xFFFFFFFF), shell.quitWParam());

    // The engine got the shut-down request, then WM_QUIT, then was ended.
    ASSERT_EQ(1u, CountRequests(engine_, "/shutdown?cleanup=1"));
    const auto requests = engine_.Requests();
    const auto ticks = engine_.ArrivalTicks();
    DWORD shutdownTick = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        const auto parsed = ParseRequest(requests[i]);
        if (parsed.requestLine == "GET /shutdown?cleanup=1 HTTP/1.1") {
            shutdownTick = ticks[i];
            EXPECT_EQ(" ", parsed.body);
        }
    }
    const auto quits = ReadLaunchLog(runtime_).quits;
    ASSERT_EQ(1u, quits.size());
    EXPECT_GE(quits[0], shutdownTick);
    EXPECT_GE(shutdownTick, quitPosted);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(engineProcess.get(), 0));
    DWORD engineExit = 0;
    ::GetExitCodeProcess(engineProcess.get(), &engineExit);
    EXPECT_EQ(0xFFFFFFFFu, engineExit) << "an engine that ignores WM_QUIT is terminated";

    EXPECT_EQ(std::string("event=uninitialize\r\ncookie=40817\0", 33), notice);
}

}  // namespace

namespace {

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

using EngineOutput = AgentTest;

TEST_F(EngineOutput, OutSwitchCapturesTheEnginesOutputBesideTheAgent) {
    const fs::path output = install_ / L"engine.log";
    std::ofstream(output) << "left from an earlier run\n";
    Process agent = StartAgent(L"-log -out engine.log");
    ASSERT_TRUE(WaitUntil([&] { return !ReadLaunchLog(runtime_).starts.empty(); }, 20s));
    // The agent holds the file without sharing until it ends.
    Quit(agent);
    const std::string captured = ReadWholeFile(output);
    EXPECT_EQ(std::string::npos, captured.find("earlier run")) << "the file is made anew";
    EXPECT_EQ(0u, captured.find("start\t" + Narrow(runtime_) + "  -Xms")) << captured;
    EXPECT_NE(std::string::npos, captured.find("stderr\n")) << "standard error too";
}

TEST_F(EngineOutput, ConsoleAfterOutBelongsToTheFileNameAndDropsTheCapture) {
    // The file name is the rest of the command line; the scan still sees -console in it.
    const fs::path console = InstallRecorder(install_.dir(), L"jre\\bin\\java.exe");
    Process agent = StartAgent(L"-out x.log -console");
    ASSERT_TRUE(WaitUntil([&] { return !ReadLaunchLog(console).starts.empty(); }, 20s));
    Quit(agent);
    EXPECT_TRUE(fs::exists(install_ / L"x.log -console"));
    EXPECT_EQ("", ReadWholeFile(install_ / L"x.log -console"));
}

TEST_F(EngineOutput, ConsoleBeforeOutIsReplacedByTheCapture) {
    const fs::path console = InstallRecorder(install_.dir(), L"jre\\bin\\java.exe");
    Process agent = StartAgent(L"-console -out x.log");
    ASSERT_TRUE(WaitUntil([&] { return !ReadLaunchLog(console).starts.empty(); }, 20s));
    Quit(agent);
    EXPECT_EQ(0u, ReadWholeFile(install_ / L"x.log").find("start\t" + Narrow(console))) << "java.exe, captured";
}

}  // namespace
