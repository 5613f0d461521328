// The sync check over a fake engine and clock, and the bodies the engine receives.
#include "tests/support/raw_listener.h"  // winsock2.h before windows.h

#include "agent/engine_requests.h"

#include <gtest/gtest.h>

#include <map>

#include "win/com_error.h"

using testing_support::ParseRequest;
using testing_support::RawListener;

namespace {

constexpr int64_t kStart = 1'700'000'000;

// An engine whose answers a test sets per tick, counting the shells asked for.
struct FakeEngine {
    std::wstring mode = L"1";
    std::wstring frequency = L"0";
    std::vector<std::wstring> present;
    std::vector<std::wstring> known;
    bool answers = true;
    int shellsAsked = 0;
    bool wasAbsent = false;
    std::vector<std::string> queries;

    void Tick(int64_t now) {
        SyncCheckContext context;
        context.queryDatabase = [this](const std::string& sql, const std::string& key) {
            if (!answers) throw win::com_error(HRESULT_FROM_WIN32(12029));
            queries.push_back(sql);
            if (key == "syncModeSetting") return mode.empty() ? std::vector<std::wstring>{} : std::vector{mode};
            if (key == "syncFrequency") return std::vector{frequency};
            return known;
        };
        context.queryNames = [this] {
            queries.push_back("names");
            return present;
        };
        context.launchShellMinimized = [this] { ++shellsAsked; };
        context.now = now;
        context.startTime = kStart;
        context.wasAbsent = &wasAbsent;
        RunSyncCheck(context);
    }
};

TEST(SyncCheck, ModeOneAsksForTheShellOnlyWhenAComputerReturns) {
    FakeEngine engine;
    engine.known = {L"PC1"};
    engine.present = {L"PC1"};
    engine.Tick(kStart + 20);
    EXPECT_EQ(0, engine.shellsAsked) << "present from the start does not count";
    engine.present = {};
    engine.Tick(kStart + 40);
    EXPECT_EQ(0, engine.shellsAsked);
    engine.present = {L"PC1"};
    engine.Tick(kStart + 60);
    EXPECT_EQ(1, engine.shellsAsked) << "back after an absence";
    engine.Tick(kStart + 80);
    EXPECT_EQ(1, engine.shellsAsked) << "still present is no return";
}

TEST(SyncCheck, ModeTwoWaitsForTheFrequencyInterval) {
    struct Case {
        const char* name;
        std::wstring frequency;
        int64_t elapsed;
        int expectedShells;
    };
    const Case cases[] = {
        {"5 minutes not yet passed", L"0", 300, 0},
        {"5 minutes passed", L"0", 301, 1},
        {"1 hour not yet", L"1", 3600, 0},
        {"1 hour passed", L"1", 3601, 1},
        {"1 day passed", L"2", 86401, 1},
        {"7 days not yet", L"3", 7 * 86400, 0},
        {"30 days passed", L"4", 30 * 86400 + 1, 1},
        {"code 5 never", L"5", 400LL * 86400, 0},
        {"code -1 never", L"-1", 400LL * 86400, 0},
        {"non-numeric reads as 0", L"x2", 301, 1},
        {"digits then letters", L"1abc", 301, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeEngine engine;
        engine.mode = L"2";
        engine.frequency = c.frequency;
        engine.known = {L"PC1"};
        engine.present = {L"PC1"};
        engine.Tick(kStart + c.elapsed);
        EXPECT_EQ(c.expectedShells, engine.shellsAsked);
    }
}

TEST(SyncCheck, ModeTwoAsksOnEveryDueTickWithAKnownComputer) {
    FakeEngine engine;
    engine.mode = L"2";
    engine.known = {L"PC1", L"PC2"};
    engine.present = {L"PC2"};
    for (int tick = 1; tick <= 3; ++tick) engine.Tick(kStart + 300 + 20 * tick);
    EXPECT_EQ(3, engine.shellsAsked);
    engine.present = {L"other"};
    engine.Tick(kStart + 400);
    EXPECT_EQ(3, engine.shellsAsked);
}

TEST(SyncCheck, ModeIsReadAsTheRunTimeReadsDecimals) {
    struct Case {
        const char* name;
        std::wstring mode;
        bool acts;
    };
    const Case cases[] = {
        {"2", L"2", true},        {"2abc reads 2", L"2abc", true}, {"x2 reads 0", L"x2", false},
        {"leading blank", L" 2", true}, {"plus sign", L"+2", true},  {"3 does nothing", L"3", false},
        {"empty token", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeEngine engine;
        engine.mode = c.mode;
        engine.known = {L"PC1"};
        engine.present = {L"PC1"};
        engine.Tick(kStart + 1000);
        EXPECT_EQ(c.acts ? 1 : 0, engine.shellsAsked);
    }
}

TEST(SyncCheck, NamesMatchOnlyExactly) {
    FakeEngine engine;
    engine.mode = L"2";
    engine.known = {L"Office-PC"};
    engine.present = {L"office-pc", L"Office-PC2", L"Office"};
    engine.Tick(kStart + 1000);
    EXPECT_EQ(0, engine.shellsAsked);
}

TEST(SyncCheck, QueriesInOrderAndStopsWithoutSettings) {
    FakeEngine engine;
    engine.mode = L"1";
    engine.Tick(kStart + 20);
    const std::vector<std::string> expected = {"select syncModeSetting from prefs07202009",
                                               "select syncFrequency from prefs07202009", "names",
                                               "select computerName from computerSync0720"};
    EXPECT_EQ(expected, engine.queries);

    FakeEngine silent;
    silent.mode = L"";  // the reply had no value for the key
    silent.Tick(kStart + 1000);
    EXPECT_EQ(2u, silent.queries.size());
}

TEST(SyncCheck, EngineThatDoesNotAnswerRaisesToTheTick) {
    FakeEngine engine;
    engine.answers = false;
    EXPECT_THROW(engine.Tick(kStart + 1000), win::com_error);
    EXPECT_EQ(0, engine.shellsAsked);
}

struct BodyCase {
    const char* name;
    std::function<void()> send;
    std::string path;
    std::string body;
};

TEST(EngineRequests, EngineReceivesTheseBodies) {
    const BodyCase cases[] = {
        {"suspend notification", [] { SendNotification("sync", "cancel"); }, "/Notifications/?",
         "'{\"key\":\"sync\", \"value\":\"'cancel'\",\"valuetype\":\"string\"}'"},
        {"shutdown, synchronous", [] { RequestEngineShutdown(false); }, "/shutdown?cleanup=1", " "},
        {"shutdown, asynchronous", [] { RequestEngineShutdown(true); }, "/shutdown?cleanup=1", " "},
        {"mode query", [] { QueryEngineDatabase("select syncModeSetting from prefs07202009", "x"); }, "/DBase/",
         // {"root":"PellanPreferences2","sql":"select syncModeSetting from prefs07202009"}
         "eyJyb290IjoiUGVsbGFuUHJlZmVyZW5jZXMyIiwic3FsIjoic2VsZWN0IHN5bmNNb2RlU2V0dGluZyBmcm9tIHByZWZzMDcyMDIwMDkifQ=="},
        {"one padding character", [] { QueryEngineDatabase("abc", "x"); }, "/DBase/",
         // {"root":"PellanPreferences2","sql":"abc"}
         "eyJyb290IjoiUGVsbGFuUHJlZmVyZW5jZXMyIiwic3FsIjoiYWJjIn0="},
        {"no padding", [] { QueryEngineDatabase("a", "x"); }, "/DBase/",
         // {"root":"PellanPreferences2","sql":"a"}
         "eyJyb290IjoiUGVsbGFuUHJlZmVyZW5jZXMyIiwic3FsIjoiYSJ9"},
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.name);
        RawListener listener({200, ""});
        c.send();
        ASSERT_TRUE(listener.WaitForRequests(1, 10000));
        const auto request = ParseRequest(listener.Requests()[0]);
        EXPECT_EQ("GET " + c.path + " HTTP/1.1", request.requestLine);
        EXPECT_EQ(c.body, request.body);
    }
}

TEST(EngineRequests, ValuesComeFromTheReply) {
    {
        RawListener listener({200, R"([{"computerName":"PC1"},{"computerName":"My PC"}])"});
        EXPECT_EQ((std::vector<std::wstring>{L"PC1", L"My"}),
                  QueryEngineDatabase("select computerName from computerSync0720", "computerName"));
    }
    {
        RawListener listener({200, R"([{"name":"A","ip":"1"},{"name":"B"}])"});
        EXPECT_EQ((std::vector<std::wstring>{L"A", L"B"}), QueryEngineNames());
        EXPECT_EQ(0u, ParseRequest(listener.Requests()[0]).requestLine.find("GET /IPs/?random="));
    }
}

TEST(EngineRequests, FailuresAreCaughtOrRaisedAsDesigned) {
    // Nothing listens on the engine's port here.
    EXPECT_EQ(E_FAIL, RequestEngineShutdown(false));
    EXPECT_THROW(QueryEngineNames(), win::com_error);
    EXPECT_THROW(QueryEngineDatabase("select syncFrequency from prefs07202009", "syncFrequency"), win::com_error);
}

}  // namespace
