#pragma once
// The ground of the agent's system tests: a temporary install folder with a
// recording stand-in as the engine's runtime, and this test process answering
// on the engine's endpoint.
#include "tests/support/raw_listener.h"  // winsock2.h before windows.h

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/paths.h"
#include "tests/support/process.h"

namespace testing_support {

// What launch_recorder wrote: each start (command line, working folder) and
// the tick count of each WM_QUIT it received.
struct LaunchLog {
    std::vector<std::pair<std::string, std::string>> starts;
    std::vector<DWORD> quits;
};
LaunchLog ReadLaunchLog(const std::filesystem::path& program);

// Copies the recording stand-in to `relativePath` under `dir`.
std::filesystem::path InstallRecorder(const std::filesystem::path& dir, const wchar_t* relativePath);

// How many requests so far had a request line starting with "GET " + pathPrefix.
size_t CountRequests(RawListener& listener, const std::string& pathPrefix);

// The ASCII path as the stand-in logs it.
std::string Narrow(const std::filesystem::path& path);

bool EngineReady();

class AgentTest : public ::testing::Test {
public:
    // Ends the agent the way the tray's Exit does, expecting exit code 0.
    static void Quit(Process& agent);
    // The engine process the agent started.
    static DWORD EngineOf(const Process& agent);

protected:
    explicit AgentTest(const std::wstring& label = L"tidepool-test", RawListener::Reply reply = {200, ""});

    // Starts the agent and waits until it has set the engine-ready event.
    Process StartAgent(const std::wstring& arguments = L"");

    TempInstall install_;
    std::filesystem::path runtime_;  // jre\bin\javaw.exe
    RawListener engine_;
};

}  // namespace testing_support
