#include "agent/port_mapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/fake_sharing_manager.h"

using testing_support::DiagnosticLines;
using testing_support::FakeCall;
using testing_support::FakeConnection;
using testing_support::FakeSharingManager;

namespace {

const std::wstring kAdded = L"just added NAT_PROTOCOL_TCP, 555, 444!\r\n";
const std::wstring kEnabled = L"just enabled port mapping!\r\n";
const std::wstring kDeleted = L"just deleted a port mapping!\r\n";

std::string Added(int port) {
    const std::string p = std::to_string(port);
    return "add c0 Tandels Port Mapping 6:" + p + " -> localhost:" + p + " type 1 options 0";
}
std::string Enabled(int port) { return "enable c0 Tandels Port Mapping 6:" + std::to_string(port); }
std::string Deleted(int port) { return "delete c0 Tandels Port Mapping 6:" + std::to_string(port); }

FakeConnection SharedConnection() {
    FakeConnection c;
    c.characteristics = NCCF_SHARED;
    c.mediaType = NCM_LAN;
    c.sharing = true;
    return c;
}

bool Contains(const std::vector<std::string>& calls, const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// The fake is registered in the multithreaded apartment, where the worker finds it.
class EnginePortMappingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { ::CoUninitialize(); }
};

TEST_F(EnginePortMappingTest, MapsBothPortsAndRemovesThemOnItsOwnThread) {
    FakeSharingManager fake({SharedConnection()});
    ASSERT_EQ(S_OK, fake.Register());
    DiagnosticLines lines;
    EnginePortMapping mapping(lines.Sink());

    ASSERT_TRUE(mapping.Start(3000));
    EXPECT_EQ(kAdded + kEnabled + kAdded + kEnabled, lines.Take());
    EXPECT_EQ((std::vector<std::string>{Added(8182), Enabled(8182), Added(6565), Enabled(6565)}),
              fake.CallTexts());

    mapping.Remove();
    EXPECT_EQ(kDeleted + kDeleted, lines.Take());
    EXPECT_EQ((std::vector<std::string>{Added(8182), Enabled(8182), Added(6565), Enabled(6565),
                                        Deleted(8182), Deleted(6565)}),
              fake.CallTexts());
    EXPECT_TRUE(fake.MappingsOf(0).empty());
    EXPECT_EQ(0, fake.LiveObjects()) << "references left";

    // Made and removed on one thread, not the caller's, in the multithreaded apartment.
    std::set<DWORD> threads;
    for (const FakeCall& call : fake.Calls()) {
        threads.insert(call.threadId);
        EXPECT_EQ(APTTYPE_MTA, call.apartment) << call.text;
    }
    EXPECT_EQ(1u, threads.size());
    EXPECT_EQ(0u, threads.count(::GetCurrentThreadId()));

    mapping.Remove();
    EXPECT_EQ(6u, fake.Calls().size());
}

TEST_F(EnginePortMappingTest, SecondStartReplacesTheMappingsAndDestructionRemovesThem) {
    FakeSharingManager fake({SharedConnection()});
    ASSERT_EQ(S_OK, fake.Register());
    DiagnosticLines lines;
    {
        EnginePortMapping mapping(lines.Sink());
        ASSERT_TRUE(mapping.Start(3000));
        ASSERT_TRUE(mapping.Start(3000));
        EXPECT_EQ(2u, fake.MappingsOf(0).size());
    }
    EXPECT_EQ((std::vector<std::string>{Added(8182), Enabled(8182), Added(6565), Enabled(6565),
                                        Deleted(8182), Added(8182), Enabled(8182), Deleted(6565),
                                        Added(6565), Enabled(6565), Deleted(8182), Deleted(6565)}),
              fake.CallTexts());
    EXPECT_TRUE(fake.MappingsOf(0).empty());
    EXPECT_EQ(0, fake.LiveObjects());
}

TEST_F(EnginePortMappingTest, SlowSharingManagerTimesOutWithoutHarm) {
    FakeSharingManager fake({SharedConnection()});
    // Longer than the wait, but bounded, so the worker finishes in the end.
    fake.HangFirstConnectionList(4000);
    ASSERT_EQ(S_OK, fake.Register());
    DiagnosticLines lines;
    EnginePortMapping mapping(lines.Sink());

    EXPECT_FALSE(mapping.Start(1000));
    // The caller stopped waiting while the sharing manager still hangs.
    EXPECT_FALSE(Contains(fake.CallTexts(), "hang over"));

    // Waits for the hung mapping to finish, then removes what it made.
    mapping.Remove();
    const std::vector<std::string> calls = fake.CallTexts();
    EXPECT_EQ((std::vector<std::string>{"hang over", Added(8182), Enabled(8182), Added(6565),
                                        Enabled(6565), Deleted(8182), Deleted(6565)}),
              calls);
    EXPECT_TRUE(fake.MappingsOf(0).empty());
    EXPECT_EQ(0, fake.LiveObjects());
}

TEST_F(EnginePortMappingTest, MissingSharingManagerOnlyReports) {
    // As under Wine, which has no sharing manager.
    DiagnosticLines lines;
    EnginePortMapping mapping(lines.Sink());
    EXPECT_TRUE(mapping.Start(3000));
    EXPECT_EQ(L"failed to create NetSharingManager object\r\nfailed to create NetSharingManager object\r\n",
              lines.Take());
    mapping.Remove();
    EXPECT_EQ(L"", lines.Take());
}

TEST_F(EnginePortMappingTest, RemoveWithoutStartDoesNothing) {
    DiagnosticLines lines;
    EnginePortMapping mapping(lines.Sink());
    mapping.Remove();
    mapping.Remove();
    EXPECT_EQ(L"", lines.Take());
}

}  // namespace
