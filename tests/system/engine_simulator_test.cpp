// The engine simulator as the agent and the tests meet it: its answers on
// 127.0.0.1:8182, its log, its state file and faults, and how it ends.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/engine_log.h"
#include "tests/support/engine_simulator.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"
#include "tools/engine_simulator/winsock.h"

using namespace std::chrono_literals;
using testing_support::EncodeBase64;
using testing_support::EngineLog;
using testing_support::Process;
using testing_support::ReadEngineLog;
using testing_support::StartEngineSimulator;
using testing_support::TempInstall;
using testing_support::WaitUntil;
using testing_support::WriteEngineState;

namespace {

// A string literal's bytes, zero bytes included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

struct Reply {
    bool answered = false;  // false: the connection closed without a byte
    int status = 0;
    std::string body;
};

// Sends `bytes` on a connection of its own and reads until the simulator closes it.
Reply Exchange(const std::string& bytes) {
    static WinsockSession winsock;
    unique_socket connection(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(connection);
    DWORD timeoutMs = 20000;
    ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                 sizeof(timeoutMs));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(8182);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    Reply reply;
    if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) return reply;
    ::send(connection.get(), bytes.data(), static_cast<int>(bytes.size()), 0);
    std::string received;
    char buffer[4096];
    for (int count; (count = ::recv(connection.get(), buffer, sizeof(buffer), 0)) > 0;)
        received.append(buffer, static_cast<size_t>(count));
    if (received.empty()) return reply;
    reply.answered = true;
    const size_t headEnd = received.find("\r\n\r\n");
    EXPECT_EQ(0u, received.find("HTTP/1.1 ")) << received;
    EXPECT_NE(std::string::npos, received.find("\r\nConnection: close\r\n")) << received;
    reply.status = std::atoi(received.c_str() + 9);
    if (headEnd != std::string::npos) reply.body = received.substr(headEnd + 4);
    return reply;
}

// A GET as the agent's HTTP stack sends it, body and all.
std::string Get(const std::string& target, const std::string& body = "") {
    std::string request = "GET " + target + " HTTP/1.1\r\nContent-Type: : text\r\nAccept: : text\r\n";
    if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return request + "Host: localhost:8182\r\n\r\n" + body;
}

std::string Query(const std::string& sql, const std::string& root = "PellanPreferences2") {
    return EncodeBase64("{\"root\":\"" + root + "\",\"sql\":\"" + sql + "\"}");
}

struct Case {
    const char* name;
    std::string request;
    int status;
    std::string body;
};

void ExpectAnswers(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Reply reply = Exchange(c.request);
        EXPECT_TRUE(reply.answered);
        EXPECT_EQ(c.status, reply.status);
        EXPECT_EQ(c.body, reply.body);
    }
}

class EngineSimulator : public ::testing::Test {
protected:
    Process Start(const std::wstring& arguments = L"") {
        return StartEngineSimulator(install_.dir(), java_, arguments);
    }
    EngineLog Log() const { return ReadEngineLog(java_); }

    TempInstall install_;
    const std::filesystem::path java_ = install_ / L"Java";
};

TEST_F(EngineSimulator, AnswersTheEnginesRequestsFromItsState) {
    std::filesystem::create_directories(java_);
    WriteEngineState(java_, "mode=1\nfrequency=3\ncomputers=Living Room PC,pc2,\xC3\x89tude\npresent=pc2\n");
    const wchar_t* arguments =
        L"-Xms48m -Xmx96m  -classpath .;tandels.jar pellanDesktop.pellanDesktopMain sid=S-1-5-21-0-0-0-1000 logging";
    Process simulator = Start(arguments);
    const std::string notice = "'{\"key\":\"sync\", \"value\":\"'cancel'\",\"valuetype\":\"string\"}'";

    ExpectAnswers({
        {"handshake", Get("/initialize/?random=-1234"), 200, ""},
        {"shell handshake", Get("/initialize/?hwnd=655360&random=99"), 200, ""},
        {"notification", Get("/Notifications/?", notice), 200, ""},
        {"sync mode", Get("/DBase/", Query("select syncModeSetting from prefs07202009")), 200,
         "[{\"syncModeSetting\":\"1\"}]"},
        {"frequency", Get("/DBase/", Query("select syncFrequency from prefs07202009")), 200,
         "[{\"syncFrequency\":\"3\"}]"},
        {"computers", Get("/DBase/", Query("select computerName from computerSync0720")), 200,
         "[{\"computerName\":\"Living Room PC\"},{\"computerName\":\"pc2\"},{\"computerName\":\"\xC3\x89tude\"}]"},
        {"names", Get("/IPs/?random=5"), 200, "[{\"name\":\"pc2\",\"ip\":\"127.0.0.2\"}]"},
        {"unknown path", Get("/IPs/"), 404, ""},
        {"other root", Get("/DBase/", Query("select syncFrequency from prefs07202009", "Other")), 400, ""},
        {"unknown statement", Get("/DBase/", Query("select * from prefs07202009")), 400, ""},
    });

    const EngineLog log = Log();
    ASSERT_EQ(1u, log.starts.size());
    EXPECT_EQ(L"\"" + (install_ / L"tools\\engine_simulator.exe").wstring() + L"\" " + arguments,
              log.starts[0].commandLine);
    EXPECT_EQ(java_.wstring(), log.starts[0].workingFolder);
    ASSERT_EQ(10u, log.requests.size());
    const auto& notification = log.requests[2];
    EXPECT_EQ("GET", notification.method);
    EXPECT_EQ("/Notifications/?", notification.target);
    EXPECT_EQ("HTTP/1.1", notification.version);
    const std::vector<std::pair<std::string, std::string>> headers = {
        {"Content-Type", ": text"},
        {"Accept", ": text"},
        {"Content-Length", std::to_string(notice.size())},
        {"Host", "localhost:8182"}};
    EXPECT_EQ(headers, notification.headers);
    EXPECT_EQ("Accept: : text", notification.headerLines[1]);
    EXPECT_EQ(notice, notification.body);
    EXPECT_EQ(Query("select syncModeSetting from prefs07202009"), log.requests[3].body);
    EXPECT_TRUE(log.stateProblems.empty());
    EXPECT_TRUE(log.unreadable.empty());
}

TEST_F(EngineSimulator, LogsEveryByteOfAStrangeRequest) {
    Process simulator = Start();
    const std::string body = Bytes("tab\there\r\nline\\ \x00\x01\x7F\xFF end");
    const std::string request = "GET /odd%20path?x=\"y\" HTTP/1.1\r\nX-Odd:\tvalue\twith tabs \r\nX-Empty:\r\n"
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    EXPECT_EQ(404, Exchange(request).status);

    const EngineLog log = Log();
    ASSERT_EQ(1u, log.requests.size());
    const auto& logged = log.requests[0];
    EXPECT_EQ("/odd%20path?x=\"y\"", logged.target);
    const std::vector<std::string> lines = {"X-Odd:\tvalue\twith tabs ", "X-Empty:",
                                            "Content-Length: " + std::to_string(body.size())};
    EXPECT_EQ(lines, logged.headerLines);
    EXPECT_EQ(body, logged.body);
    EXPECT_TRUE(log.unreadable.empty());
}

TEST_F(EngineSimulator, BadRequestsGet400AndServingGoesOn) {
    Process simulator = Start();
    ExpectAnswers({
        {"not Base64", Get("/DBase/", "!!not*base64"), 400, ""},
        {"Base64 without padding", Get("/DBase/", Query("select syncFrequency from prefs07202009").substr(0, 10)),
         400, ""},
        {"not JSON", Get("/DBase/", EncodeBase64("select syncFrequency from prefs07202009")), 400, ""},
        {"binary", Get("/DBase/", EncodeBase64(Bytes("\x00\xFF{\"root\""))), 400, ""},
        {"no sql member", Get("/DBase/", EncodeBase64("{\"root\":\"PellanPreferences2\"}")), 400, ""},
        {"sql not a string", Get("/DBase/", EncodeBase64("{\"root\":\"PellanPreferences2\",\"sql\":1}")), 400, ""},
        {"no body", Get("/DBase/"), 400, ""},
        {"not HTTP", Bytes("\x16\x03\x01 hello\r\n\r\n"), 400, ""},
        {"body beyond bounds", "GET /DBase/ HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n", 400, ""},
        {"still serving", Get("/DBase/", Query("select syncModeSetting from prefs07202009")), 200,
         "[{\"syncModeSetting\":\"0\"}]"},
    });
    EXPECT_TRUE(simulator.Running());
    EXPECT_EQ(2u, Log().malformed.size());
}

TEST_F(EngineSimulator, RereadsItsStateWhileRunningAndFallsBackToDefaults) {
    Process simulator = Start();
    const std::string computers = Get("/DBase/", Query("select computerName from computerSync0720"));
    const std::string mode = Get("/DBase/", Query("select syncModeSetting from prefs07202009"));
    EXPECT_EQ("[]", Exchange(computers).body);

    WriteEngineState(java_, "computers=PC1\nmode=2x\n");
    EXPECT_EQ("[{\"computerName\":\"PC1\"}]", Exchange(computers).body);
    EXPECT_EQ("[{\"syncModeSetting\":\"2x\"}]", Exchange(mode).body);
    WriteEngineState(java_, "computers=PC1,PC2\nmode=\n");
    EXPECT_EQ("[{\"computerName\":\"PC1\"},{\"computerName\":\"PC2\"}]", Exchange(computers).body);
    EXPECT_EQ("[]", Exchange(mode).body) << "an empty value is a table without rows";

    const struct {
        const char* name;
        std::string text;
        const char* problem;
    } broken[] = {
        {"binary junk", Bytes("\x00\x01\xFF\xFE=\x80\nmode=\xFF\n"), "not UTF-8 text"},
        {"unknown key", "computers=PC1\nsyncmode=1\n", "unknown key 'syncmode'"},
        {"no equals sign", "computers=PC1\nmode 1\n", "no '='"},
        {"bad number", "computers=PC1\nstatus=4o4\n", "status: not a number"},
        {"not a status", "computers=PC1\nstatus=42\n", "not an HTTP status"},
        {"huge line", "computers=PC1\nmode=" + std::string(100000, '1') + "\n", "more than 65536 bytes"},
        {"long line", "computers=PC1\npresent=" + std::string(5000, 'x') + "\n", "longer than 4096 bytes"},
    };
    for (const auto& c : broken) {
        SCOPED_TRACE(c.name);
        const size_t problems = Log().stateProblems.size();
        WriteEngineState(java_, c.text);
        const Reply reply = Exchange(mode);
        EXPECT_EQ(200, reply.status) << "status and faults keep their defaults";
        EXPECT_EQ("[{\"syncModeSetting\":\"0\"}]", reply.body);
        const EngineLog log = Log();
        ASSERT_GT(log.stateProblems.size(), problems);
        EXPECT_NE(std::string::npos, log.stateProblems.back().find(c.problem)) << log.stateProblems.back();
    }
    std::filesystem::remove(java_ / L"engine-state.txt");
    EXPECT_EQ("[]", Exchange(computers).body);
    EXPECT_NE(std::string::npos, Log().stateProblems.back().find("not found"));
    EXPECT_TRUE(simulator.Running());
}

TEST_F(EngineSimulator, PlaysTheFaultsOfItsState) {
    const std::string names = Get("/IPs/?random=1");
    {
        SCOPED_TRACE("status");
        Process simulator = Start();
        WriteEngineState(java_, "status=404\npresent=PC1\n");
        ExpectAnswers({{"names", names, 404, ""}, {"shutdown", Get("/shutdown?cleanup=1", " "), 404, ""}});
        EXPECT_TRUE(simulator.Running());
    }
    {
        SCOPED_TRACE("delay_ms");
        WriteEngineState(java_, "delay_ms=800\npresent=PC1\n");
        Process simulator = Start();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(200, Exchange(names).status);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 700ms);
    }
    {
        SCOPED_TRACE("refuse_first");
        WriteEngineState(java_, "refuse_first=2\n");
        Process simulator = Start();
        EXPECT_FALSE(Exchange(names).answered);
        EXPECT_FALSE(Exchange(names).answered);
        EXPECT_EQ(200, Exchange(names).status);
        EXPECT_EQ((std::vector<int>{1, 2}), Log().refused);
    }
    {
        SCOPED_TRACE("exit_after");
        WriteEngineState(java_, "exit_after=2\n");
        Process simulator = Start();
        EXPECT_EQ(200, Exchange(names).status);
        EXPECT_TRUE(simulator.Running());
        EXPECT_EQ(200, Exchange(names).status);
        EXPECT_EQ(0u, simulator.WaitForExit(10s));
        ASSERT_FALSE(Log().exits.empty());
        EXPECT_EQ("exit_after reached", Log().exits.back().reason);
    }
}

TEST_F(EngineSimulator, EndsOnShutdownRequestAndOnQuitMessage) {
    for (const char* way : {"shutdown request", "WM_QUIT"}) {
        SCOPED_TRACE(way);
        // Each round also shows that the port is free again for the next engine.
        Process simulator = Start();
        if (std::string(way) == "WM_QUIT") {
            ASSERT_TRUE(::PostThreadMessageW(simulator.mainThreadId(), WM_QUIT, 0, 0));
        } else {
            EXPECT_EQ(200, Exchange(Get("/shutdown?cleanup=1", " ")).status);
        }
        EXPECT_EQ(0u, simulator.WaitForExit(10s));
        const EngineLog log = Log();
        ASSERT_FALSE(log.exits.empty());
        EXPECT_EQ(way, log.exits.back().reason);
        EXPECT_EQ(0, log.exits.back().code);
    }
}

TEST_F(EngineSimulator, SecondSimulatorFindsThePortTakenAndEnds) {
    Process first = Start();
    Process second(install_ / L"tools\\engine_simulator.exe", L"", java_);
    EXPECT_NE(0u, second.WaitForExit(10s));
    EXPECT_NE(STILL_ACTIVE, second.WaitForExit(0ms));
    const EngineLog log = Log();
    ASSERT_EQ(1u, log.errors.size());
    EXPECT_EQ("port 8182 is in use", log.errors[0]);
    EXPECT_EQ(200, Exchange(Get("/initialize/?random=1")).status) << "the first one serves on";
}

}  // namespace
