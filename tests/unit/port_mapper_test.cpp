#include "agent/port_mapper.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "tests/support/fake_sharing_manager.h"

using testing_support::DiagnosticLines;
using testing_support::FakeConnection;
using testing_support::FakeMapping;
using testing_support::FakeSharingManager;

namespace {

const std::wstring kAdded = L"just added NAT_PROTOCOL_TCP, 555, 444!\r\n";
const std::wstring kEnabled = L"just enabled port mapping!\r\n";
const std::wstring kDeleted = L"just deleted a port mapping!\r\n";
const std::wstring kNoConnection = L"failed to find a valid connection!\r\n";
const std::wstring kNoList = L"failed to get EveryConnectionCollection!\r\n";
const std::wstring kNoProperties = L"failed to get NetConnectionProps!\r\n";
const std::wstring kNoConfiguration = L"can't make INetSharingConfiguration object!\r\n";
const std::wstring kNoMappingList = L"can't get PortMapping collection!\r\n";

std::string Added(int c) {
    return "add c" + std::to_string(c) + " Tandels Port Mapping 6:8182 -> localhost:8182 type 1 options 0";
}
std::string Enabled(int c) { return "enable c" + std::to_string(c) + " Tandels Port Mapping 6:8182"; }
std::string Deleted(int c) { return "delete c" + std::to_string(c) + " Tandels Port Mapping 6:8182"; }

FakeConnection Connection(DWORD characteristics, NETCON_MEDIATYPE mediaType, bool sharing,
                          bool firewall, std::vector<FakeMapping> mappings = {}) {
    FakeConnection c;
    c.characteristics = characteristics;
    c.mediaType = mediaType;
    c.sharing = sharing;
    c.firewall = firewall;
    c.mappings = std::move(mappings);
    return c;
}

FakeMapping Existing(const wchar_t* name, UCHAR protocol, LONG port) {
    FakeMapping m;
    m.name = name;
    m.protocol = protocol;
    m.externalPort = port;
    m.internalPort = port;
    m.target = L"192.168.0.9";
    m.targetType = 1;
    return m;
}


class ComInMta : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { ::CoUninitialize(); }
};

using PortMapper = ComInMta;

struct MapperCase {
    const char* name;
    std::vector<FakeConnection> connections;
    bool registered;
    bool failConnectionList;
    bool failAdd;
    bool failConfiguration;
    bool failMappingList;
    std::wstring mapOutput;
    std::vector<std::string> mapCalls;
    bool managerHeld;
    std::wstring endOutput;
    std::vector<std::string> endCalls;
};

TEST_F(PortMapper, MapsAndRemovesAsTheConnectionsAllow) {
    // Each case: connections; registered, and which of the fake's answers fail
    // (connection list, add, configuration, mapping list); then output, calls and
    // whether the manager is held after mapPort; then output and calls at destruction.
    const MapperCase cases[] = {
        {"no connection shared or firewalled",
         {Connection(NCCF_BRIDGED | NCCF_INCOMING_ONLY, NCM_LAN, true, true),
          Connection(NCCF_ALL_USERS, NCM_LAN, false, true)},
         true, false, false, false, false,
         kNoConnection, {}, true,
         kNoConnection, {}},
        {"old mapping of the port replaced",
         {Connection(NCCF_SHARED, NCM_LAN, true, false,
                     {Existing(L"udp same port", 17, 8182), Existing(L"tcp other port", 6, 8183),
                      Existing(L"old", 6, 8182)})},
         true, false, false, false, false,
         kDeleted + kAdded + kEnabled, {"delete c0 old 6:8182", Added(0), Enabled(0)}, true,
         kDeleted, {Deleted(0)}},
        {"two eligible connections",
         {Connection(NCCF_SHARED, NCM_LAN, true, false), Connection(NCCF_FIREWALLED, NCM_LAN, false, true)},
         true, false, false, false, false,
         kAdded + kEnabled + kAdded + kEnabled, {Added(0), Enabled(0), Added(1), Enabled(1)}, true,
         kDeleted, {Deleted(0)}},
        {"media types 8 and 9 skipped",
         {Connection(NCCF_SHARED, NCM_SHAREDACCESSHOST_LAN, true, true),
          Connection(NCCF_FIREWALLED, NCM_SHAREDACCESSHOST_RAS, true, true),
          Connection(NCCF_SHARED | NCCF_FIREWALLED, NCM_LAN, false, true)},
         true, false, false, false, false,
         kAdded + kEnabled, {Added(2), Enabled(2)}, true,
         kDeleted, {Deleted(2)}},
        {"sharing and firewall off",
         {Connection(NCCF_SHARED, NCM_LAN, false, false)},
         true, false, false, false, false,
         L"sharing and/or firewall not enabled on this connection!\r\n", {}, true,
         L"", {}},
        {"sharing manager missing",
         {Connection(NCCF_SHARED, NCM_LAN, true, true)},
         false, false, false, false, false,
         L"failed to create NetSharingManager object\r\n", {}, false,
         L"", {}},
        {"connection list unavailable",
         {Connection(NCCF_SHARED, NCM_LAN, true, true)},
         true, true, false, false, false,
         kNoList + kNoConnection + kNoList, {}, false,
         L"", {}},
        {"mapping refused",
         {Connection(NCCF_SHARED, NCM_LAN, true, false)},
         true, false, true, false, false,
         L"failed to add asymmetric port mapping!\r\n", {Added(0)}, false,
         L"", {}},
        {"connection without properties passed over",
         {[] {
              FakeConnection c = Connection(NCCF_SHARED, NCM_LAN, true, true);
              c.noProperties = true;
              return c;
          }(),
          Connection(NCCF_SHARED, NCM_LAN, true, false)},
         true, false, false, false, false,
         kNoProperties + kNoProperties + kAdded + kEnabled, {Added(1), Enabled(1)}, true,
         kNoProperties + kDeleted, {Deleted(1)}},
        {"sharing configuration unavailable",
         {Connection(NCCF_SHARED, NCM_LAN, true, true)},
         true, false, false, true, false,
         kNoConfiguration + kNoConfiguration, {}, false,
         L"", {}},
        {"port mapping list unavailable",
         {Connection(NCCF_SHARED, NCM_LAN, true, false)},
         true, false, false, false, true,
         kNoMappingList + kAdded + kEnabled, {Added(0), Enabled(0)}, true,
         kNoMappingList, {}},
    };
    for (const MapperCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSharingManager fake(c.connections);
        if (c.failConnectionList) fake.FailConnectionList();
        if (c.failAdd) fake.FailAdd();
        if (c.failConfiguration) fake.FailConfiguration();
        if (c.failMappingList) fake.FailMappingList();
        if (c.registered) {
            ASSERT_EQ(S_OK, fake.Register());
        }
        DiagnosticLines lines;
        {
            ICWPortMapper mapper(8182, 8182, lines.Sink());
            mapper.mapPort();
            EXPECT_EQ(c.mapOutput, lines.Take());
            EXPECT_EQ(c.mapCalls, fake.CallTexts());
            EXPECT_EQ(c.managerHeld ? 1 : 0, fake.LiveManagers());
        }
        EXPECT_EQ(c.endOutput, lines.Take());
        std::vector<std::string> calls = c.mapCalls;
        calls.insert(calls.end(), c.endCalls.begin(), c.endCalls.end());
        EXPECT_EQ(calls, fake.CallTexts());
        fake.Revoke();
        EXPECT_EQ(0, fake.LiveObjects()) << "references left";
    }
}

TEST_F(PortMapper, SecondRunReplacesItsOwnMapping) {
    FakeSharingManager fake({Connection(NCCF_SHARED, NCM_LAN, true, false)});
    ASSERT_EQ(S_OK, fake.Register());
    DiagnosticLines lines;
    {
        ICWPortMapper mapper(8182, 8182, lines.Sink());
        mapper.mapPort();
        mapper.mapPort();
        EXPECT_EQ(kAdded + kEnabled + kDeleted + kAdded + kEnabled, lines.Take());
        ASSERT_EQ(1u, fake.MappingsOf(0).size());
        EXPECT_TRUE(fake.MappingsOf(0)[0].enabled);
        EXPECT_EQ(1, fake.LiveManagers());
    }
    EXPECT_EQ((std::vector<std::string>{Added(0), Enabled(0), Deleted(0), Added(0), Enabled(0), Deleted(0)}),
              fake.CallTexts());
    EXPECT_TRUE(fake.MappingsOf(0).empty());
    fake.Revoke();
    EXPECT_EQ(0, fake.LiveObjects());
}

TEST(PortMapperIdentifiers, AreTheSharingManagersOwn) {
    struct Id {
        const char* name;
        const GUID& actual;
        const wchar_t* text;
    };
    const Id ids[] = {
        {"NetSharingManager", CLSID_NetSharingManager, L"{5C63C1AD-3956-4FF8-8486-40034758315B}"},
        {"INetSharingManager", IID_INetSharingManager, L"{C08956B7-1CD3-11D1-B1C5-00805FC1270E}"},
        {"INetConnection", IID_INetConnection, L"{C08956A1-1CD3-11D1-B1C5-00805FC1270E}"},
        {"INetSharingPortMapping", IID_INetSharingPortMapping, L"{C08956B1-1CD3-11D1-B1C5-00805FC1270E}"},
    };
    for (const Id& id : ids) {
        SCOPED_TRACE(id.name);
        GUID expected = {};
        ASSERT_EQ(S_OK, ::IIDFromString(id.text, &expected));
        EXPECT_TRUE(IsEqualGUID(expected, id.actual));
    }
}

}  // namespace
