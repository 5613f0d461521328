// The agent as a COM local server, seen by real clients: its registration runs, the
// keys they leave, and activation by class identifier and by name. Every test leaves
// the registry as it found it. The "Service" switch is covered by the unit tests of
// its steps: Wine 8's service manager keeps a removed "Tandels" half in sight, and a
// later registration run would then stop on its message box.
#include "tests/support/agent_fixture.h"  // winsock2.h before windows.h

#include <oaidl.h>

#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "agent/tandels_ids.h"
#include "common/shared_names.h"
#include "tests/support/registry.h"
#include "win/com_ptr.h"

using namespace std::chrono_literals;
using testing_support::KeyExists;
using testing_support::Process;
using testing_support::ReadBlock;
using testing_support::ReadString;
using testing_support::WaitUntil;

namespace {

const std::wstring kClsid = L"{75530569-E9D1-4D2B-89C7-45DAE99B40D2}";
const std::wstring kAppId = L"{B365C76C-03DF-46F2-A131-8DB2A8E2237A}";
const std::wstring kLibId = L"{85AED99F-E921-4A53-AC86-636A9D7F5FB0}";
const std::wstring kServiceRecord = L"System\\CurrentControlSet\\Services\\Tandels";
const std::wstring kRegisteredKeys[] = {
    L"Tandels.TandelAPI.1", L"Tandels.TandelAPI", L"CLSID\\" + kClsid, L"AppID\\" + kAppId, L"AppID\\Tandels.EXE",
};

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

// An agent started here, or by COM, starts the recording stand-in engine,
// answered by this test.
class ComServer : public testing_support::AgentTest {
protected:
    ComServer() : machine_(OpenKey(HKEY_LOCAL_MACHINE, L"Software\\Classes")),
                  user_(OpenKey(HKEY_CURRENT_USER, L"Software\\Classes")) {}

    void SetUp() override {
        // Nothing of ours may be there already: the clean-up below would remove it.
        for (HKEY root : {machine_, user_}) {
            for (const std::wstring& key : kRegisteredKeys) {
                ASSERT_FALSE(KeyExists(root, key)) << "already registered";
            }
        }
        ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibId)) << "already registered";
        ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kServiceRecord)) << "service already installed";
        ASSERT_FALSE(testing_support::MutexExists(names::kAgentMutex)) << "an agent runs";
    }

    void TearDown() override {
        StopAgent();
        for (HKEY root : {machine_, user_}) {
            for (const std::wstring& key : kRegisteredKeys) ::RegDeleteTreeW(root, key.c_str());
        }
        ::UnRegisterTypeLib(LIBID_TandelsLib, kTandelsLibMajor, kTandelsLibMinor, 0, kSysKind);
        ::RegCloseKey(machine_);
        ::RegCloseKey(user_);
    }

    static HKEY OpenKey(HKEY root, const wchar_t* path) {
        HKEY key = nullptr;
        ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        return key;
    }

    DWORD RunAgent(const wchar_t* arguments) {
        Process run(Agent(), arguments);
        return run.WaitForExit(60s);
    }

    std::wstring Agent() const { return (install_ / L"Tidepool.exe").wstring(); }

    // An agent started by COM is ended as the updater ends one: by an uninstall run.
    void StopAgent() {
        if (!testing_support::MutexExists(names::kAgentMutex)) return;
        EXPECT_EQ(0u, RunAgent(L"-uninstall"));
    }

    void ExpectRegistered(HKEY classes) {
        struct Expected {
            std::wstring path;
            const wchar_t* name;
            std::optional<std::wstring> value;
        };
        const Expected expected[] = {
            {L"Tandels.TandelAPI.1", nullptr, L"TandelAPI Class"},
            {L"Tandels.TandelAPI.1\\CLSID", nullptr, kClsid},
            {L"Tandels.TandelAPI", nullptr, L"TandelAPI Class"},
            {L"Tandels.TandelAPI\\CLSID", nullptr, kClsid},
            {L"Tandels.TandelAPI\\CurVer", nullptr, L"Tandels.TandelAPI.1"},
            {L"CLSID\\" + kClsid, nullptr, L"TandelAPI Class"},
            {L"CLSID\\" + kClsid + L"\\ProgID", nullptr, L"Tandels.TandelAPI.1"},
            {L"CLSID\\" + kClsid + L"\\VersionIndependentProgID", nullptr, L"Tandels.TandelAPI"},
            {L"CLSID\\" + kClsid + L"\\Programmable", nullptr, std::nullopt},
            {L"CLSID\\" + kClsid + L"\\LocalServer32", nullptr, Agent()},
            {L"CLSID\\" + kClsid + L"\\TypeLib", nullptr, L"{}"},
            {L"AppID\\" + kAppId, nullptr, L"Tandels"},
            {L"AppID\\" + kAppId, L"LocalService", std::nullopt},
            {L"AppID\\Tandels.EXE", L"AppID", kAppId},
        };
        for (const Expected& e : expected) {
            SCOPED_TRACE(std::string(e.path.begin(), e.path.end()));
            EXPECT_TRUE(KeyExists(classes, e.path));
            EXPECT_EQ(e.value, ReadString(classes, e.path, e.name));
        }
        EXPECT_EQ(L"Tandels 1.0 Type Library", ReadString(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibId + L"\\1.0"));
    }

    void ExpectNothingRegistered(HKEY classes) {
        for (const std::wstring& key : kRegisteredKeys) {
            SCOPED_TRACE(std::string(key.begin(), key.end()));
            EXPECT_FALSE(KeyExists(classes, key));
        }
    }

    HKEY machine_;
    HKEY user_;
};

TEST_F(ComServer, RegServerRegistersForTheMachine) {
    ASSERT_EQ(0u, RunAgent(L"-RegServer"));
    ExpectRegistered(machine_);
    ExpectNothingRegistered(user_);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kServiceRecord));
    // The registration run ends; it leaves no agent behind.
    EXPECT_FALSE(testing_support::MutexExists(names::kAgentMutex));
}

TEST_F(ComServer, PerUserRegistrationIsWrittenAndRemoved) {
    ASSERT_EQ(0u, RunAgent(L"/RegServerPerUser"));
    ExpectRegistered(user_);
    ExpectNothingRegistered(machine_);

    ASSERT_EQ(0u, RunAgent(L"-UnregServerPerUser"));
    ExpectNothingRegistered(user_);
    // Wine registers a type library "for the user" machine-wide, and removes it so too.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibId));
    // The shared parent keys stay.
    EXPECT_TRUE(KeyExists(user_, L"AppID"));
    EXPECT_TRUE(KeyExists(user_, L"CLSID"));
}

TEST_F(ComServer, RegServerWhileAnAgentRunsRegistersNothing) {
    Process agent(Agent(), L"");
    ASSERT_TRUE(WaitUntil([] { return testing_support::MutexExists(names::kAgentMutex); }, 20s));
    EXPECT_EQ(0u, RunAgent(L"-RegServer"));
    ExpectNothingRegistered(machine_);
    ExpectNothingRegistered(user_);
    EXPECT_TRUE(agent.Running());
}

TEST_F(ComServer, TypeLibraryInTheAgentCarriesItsIdentifiers) {
    win::com_ptr<ITypeLib> library;
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(Agent().c_str(), REGKIND_NONE, library.put()));
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(::IsEqualGUID(LIBID_TandelsLib, attributes->guid));
    EXPECT_EQ(kTandelsLibMajor, attributes->wMajorVerNum);
    EXPECT_EQ(kTandelsLibMinor, attributes->wMinorVerNum);
    library->ReleaseTLibAttr(attributes);

    struct Expected {
        const char* name;
        const GUID* guid;
        TYPEKIND kind;
        const wchar_t* docString;
    };
    const Expected expected[] = {
        {"ITandelAPI", &IID_ITandelAPI, TKIND_DISPATCH, L"ITandelAPI Interface"},
        {"TandelAPI", &CLSID_TandelAPI, TKIND_COCLASS, L"TandelAPI Class"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        win::com_ptr<ITypeInfo> info;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(*e.guid, info.put()));
        TYPEATTR* type = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&type));
        EXPECT_EQ(e.kind, type->typekind);
        info->ReleaseTypeAttr(type);
        win::unique_bstr name, doc;
        ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, name.put(), doc.put(), nullptr, nullptr));
        EXPECT_EQ(std::string(e.name), std::string(name.get(), name.get() + ::SysStringLen(name.get())));
        EXPECT_EQ(std::wstring(e.docString), std::wstring(doc.get()));
    }
    win::unique_bstr doc;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, nullptr, doc.put(), nullptr, nullptr));
    EXPECT_EQ(L"Tandels 1.0 Type Library", std::wstring(doc.get()));
}

// COM activation goes through the RpcSs service. Wine 8 often fails to start it in a
// fresh prefix ("Service request timeout"); each activation attempt then waits for it
// again, for minutes in all, so activation can only be tested where it runs.
bool RpcSsRunning() {
    win::unique_service_handle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    win::unique_service_handle service(
        ::OpenServiceW(manager.get(), L"RpcSs", SERVICE_QUERY_STATUS | SERVICE_START));
    if (!service) return false;
    // Fails harmlessly when it runs already.
    ::StartServiceW(service.get(), 0, nullptr);
    return WaitUntil(
        [&] {
            SERVICE_STATUS status = {};
            return ::QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_RUNNING;
        },
        30s);
}

// Runs `client` on a thread of its own in a single-threaded apartment and waits for it.
// Under Wine an activation may wait long for the RpcSs service; a stuck client then
// fails the test instead of hanging the run (its thread is left to the process's end).
bool RunClient(std::function<void()> client, std::chrono::milliseconds timeout) {
    auto done = std::make_shared<win::unique_handle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread([client = std::move(client), done] {
        HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        client();
        if (SUCCEEDED(init)) ::CoUninitialize();
        ::SetEvent(done->get());
    }).detach();
    return ::WaitForSingleObject(done->get(), static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

struct Activation {
    HRESULT first = E_UNEXPECTED;
    HRESULT second = E_UNEXPECTED;
    bool sameIdentity = false;
    HRESULT dispatch = E_UNEXPECTED;
    UINT typeInfoCount = 0;
};

TEST_F(ComServer, ClientsShareOneObjectThatOutlivesThem) {
    if (!RpcSsRunning()) GTEST_SKIP() << "the RpcSs service does not run here; no COM activation";
    ASSERT_EQ(0u, RunAgent(L"-RegServer"));
    // COM starts the agent ("-Embedding") and connects both requests to its one object.
    auto seen = std::make_shared<Activation>();
    ASSERT_TRUE(RunClient(
        [seen] {
            win::com_ptr<IUnknown> first, second;
            seen->first = ::CoCreateInstance(CLSID_TandelAPI, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                             first.put_void());
            seen->second = ::CoCreateInstance(CLSID_TandelAPI, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                              second.put_void());
            seen->sameIdentity = first && first.get() == second.get();
            win::com_ptr<IDispatch> dispatch;
            seen->dispatch = first.query(IID_IDispatch, &dispatch);
            if (dispatch) dispatch->GetTypeInfoCount(&seen->typeInfoCount);
        },
        120s))
        << "the activation did not finish";
    EXPECT_EQ(S_OK, seen->first);
    EXPECT_EQ(S_OK, seen->second);
    EXPECT_TRUE(seen->sameIdentity);
    EXPECT_EQ(S_OK, seen->dispatch);
    EXPECT_EQ(1u, seen->typeInfoCount);

    // Every client gone: the agent runs on and serves the next one.
    DWORD pid = 0;
    ASSERT_TRUE(ReadBlock(names::kProcessIdBlock, &pid));
    win::unique_handle agent(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(agent);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(agent.get(), 2000));
    auto again = std::make_shared<HRESULT>(E_UNEXPECTED);
    ASSERT_TRUE(RunClient(
        [again] {
            win::com_ptr<IUnknown> object;
            *again = ::CoCreateInstance(CLSID_TandelAPI, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                        object.put_void());
        },
        120s));
    EXPECT_EQ(S_OK, *again);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(agent.get(), 0));
}

TEST_F(ComServer, ScriptCreatesTheClassByName) {
    if (!RpcSsRunning()) GTEST_SKIP() << "the RpcSs service does not run here; no COM activation";
    ASSERT_EQ(0u, RunAgent(L"-RegServer"));
    const std::filesystem::path script = install_ / L"create.vbs";
    {
        std::ofstream out(script);
        out << "Set a = CreateObject(\"Tandels.TandelAPI\")\r\n"
               "Set b = CreateObject(\"Tandels.TandelAPI.1\")\r\n"
               "If Not (a Is b) Then WScript.Quit 2\r\n"
               "WScript.Quit 0\r\n";
    }
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    Process cscript(std::filesystem::path(system) / L"cscript.exe", L"//nologo \"" + script.wstring() + L"\"");
    EXPECT_EQ(0u, cscript.WaitForExit(120s));
}

}  // namespace
