#include "tests/support/agent_fixture.h"

#include "common/shared_names.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace testing_support {

LaunchLog ReadLaunchLog(const fs::path& program) {
    LaunchLog log;
    std::ifstream in(fs::path(program.wstring() + L".log"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind, a, b;
        std::getline(fields, kind, '\t');
        std::getline(fields, a, '\t');
        std::getline(fields, b, '\t');
        if (kind == "start") log.starts.emplace_back(a, b);
        if (kind == "quit") log.quits.push_back(static_cast<DWORD>(std::stoul(a)));
    }
    return log;
}

fs::path InstallRecorder(const fs::path& dir, const wchar_t* relativePath) {
    const fs::path target = dir / relativePath;
    fs::create_directories(target.parent_path());
    fs::copy_file(TestBinDir() / L"launch_recorder.exe", target, fs::copy_options::overwrite_existing);
    return target;
}

size_t CountRequests(RawListener& listener, const std::string& pathPrefix) {
    size_t count = 0;
    for (const std::string& raw : listener.Requests()) {
        if (ParseRequest(raw).requestLine.rfind("GET " + pathPrefix, 0) == 0) ++count;
    }
    return count;
}

std::string Narrow(const fs::path& path) {
    std::string out;
    for (wchar_t c : path.wstring()) out += static_cast<char>(c);
    return out;
}

bool EngineReady() {
    win::unique_handle event(::OpenEventW(SYNCHRONIZE, FALSE, names::kEngineReadyEvent));
    return event && ::WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
}

AgentTest::AgentTest(const std::wstring& label, RawListener::Reply reply)
    : install_(label), engine_(std::move(reply)) {
    fs::create_directories(install_ / L"Java");
    runtime_ = InstallRecorder(install_.dir(), L"jre\\bin\\javaw.exe");
}

Process AgentTest::StartAgent(const std::wstring& arguments) {
    Process agent(install_ / L"Tidepool.exe", arguments);
    EXPECT_TRUE(WaitUntil(EngineReady, 30s)) << "the engine-ready event was never set";
    return agent;
}

void AgentTest::Quit(Process& agent) {
    ::PostThreadMessageW(agent.mainThreadId(), WM_QUIT, 0, 0);
    EXPECT_EQ(0u, agent.WaitForExit(20s));
}

DWORD AgentTest::EngineOf(const Process& agent) {
    DWORD engine = 0;
    WaitUntil([&] {
        auto children = ChildProcesses(agent.pid());
        if (children.empty()) return false;
        engine = children.front();
        return true;
    }, 10s);
    return engine;
}

}  // namespace testing_support
