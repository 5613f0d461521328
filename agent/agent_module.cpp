#include "agent/agent_module.h"

#include <cstdint>

#include "agent/engine_manager.h"
#include "agent/engine_requests.h"
#include "agent/registration_switches.h"
#include "agent/resource_ids.h"
#include "agent/switch_scanner.h"
#include "agent/tandel_api.h"
#include "agent/uninstall_cleanup.h"
#include "common/name_probe.h"
#include "common/shared_names.h"
#include "win/com_error.h"
#include "win/com_ptr.h"
#include "win/module_path.h"
#include "win/resource_string.h"
#include "win/singleton_class_factory.h"

namespace {

// How long an uninstall run waits for the running agent to end. Its orderly end
// takes a few seconds; an engine start in progress can hold its message loop for
// up to a minute. An agent of another logon session never gets our WM_QUIT (its
// thread-id block is not ours), so the wait must end.
constexpr DWORD kAgentStopTimeoutMs = 60000;

void ReportServiceStarted() {
    const std::wstring source = win::LoadResourceString(IDS_SERVICE_NAME);
    win::unique_event_source log(::RegisterEventSourceW(nullptr, source.c_str()));
    if (!log) return;
    const wchar_t* strings[] = {L"Service started"};
    ::ReportEventW(log.get(), EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
}

}  // namespace

CTandelsModule::CTandelsModule()
    : threadIdBlock_(names::kThreadIdBlock), processIdBlock_(names::kProcessIdBlock) {}

bool CTandelsModule::ParseCommandLine(const wchar_t* commandLine, HRESULT* result) {
    *result = S_OK;
    try {
        const bool uninstall =
            HasSwitch(commandLine, L"uninstall") || HasSwitch(commandLine, L"UnregServer");
        tooltip_ = win::LoadResourceString(IDS_PRODUCT_TITLE);

        names::MutexProbe probe = names::ProbeMutex(names::kAgentMutex);
        agentMutex_ = std::move(probe.handle);
        if (uninstall) {
            *result = RunUninstall(probe.present);
            return false;
        }
        // A second agent ends silently; the running one learns nothing of it.
        if (probe.present) return false;

        threadIdBlock_.WriteValue(::GetCurrentThreadId());
        processIdBlock_.WriteValue(::GetCurrentProcessId());
        return !RunRegistrationSwitch(commandLine, result);
    } catch (const win::com_error&) {
        return false;
    }
}

HRESULT CTandelsModule::RunUninstall(bool otherAgentRuns) {
    uint32_t threadId = 0;
    if (otherAgentRuns && SUCCEEDED(threadIdBlock_.ReadValue(&threadId))) {
        RequestEngineShutdown(false);
        // Our own handle would keep the mutex alive and the wait below endless.
        agentMutex_.reset();
        ::PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        // Deleting data under a still running agent is worse than leaving it.
        if (!names::WaitForMutexGone(names::kAgentMutex, kAgentStopTimeoutMs))
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    RunUninstallCleanup();
    return S_OK;
}

HRESULT CTandelsModule::Start(int showCommand) {
    RestoreSavedConfig();
    return Run(showCommand);
}

bool CTandelsModule::RunRegistrationSwitch(const wchar_t* commandLine, HRESULT* result) {
    const RegistrationSwitch which = FindRegistrationSwitch(commandLine);
    if (which == RegistrationSwitch::None) return false;
    *result = RunRegistration(which, win::ModuleFilePath(), win::LoadResourceString(IDS_SERVICE_NAME),
                              ShowServiceProblem);
    return true;
}

HRESULT CTandelsModule::PreMessageLoop(int showCommand) {
    // Balanced in PostMessageLoop.
    ::CoInitialize(nullptr);
    HRESULT hr = Module::PreMessageLoop(showCommand);
    if (hr == S_OK) hr = InitializeSecurity();
    if (hr == S_OK) hr = RegisterClassObject();
    trayWindow_.Create(::GetDesktopWindow());
    if (hr != S_OK) return E_FAIL;

    try {
        if (!TandelMgr::Instance().StartEngine(::GetCommandLineW())) return E_FAIL;
    } catch (const win::com_error& e) {
        // Without the engine-ready event the shell could never learn of the engine.
        return e.code();
    }

    // No icon while the engine starts, and none at all when it could not.
    trayIcon_.Add(trayWindow_.hwnd(), tooltip_);
    ReportServiceStarted();
    return S_OK;
}

HRESULT CTandelsModule::PostMessageLoop() {
    trayIcon_.Delete();
    if (TandelMgr* manager = TandelMgr::Existing()) manager->Shutdown();
    if (::IsWindow(trayWindow_.hwnd())) ::DestroyWindow(trayWindow_.hwnd());
    classObject_.reset();
    HRESULT hr = Module::PostMessageLoop();
    ::CoUninitialize();
    return hr;
}

HRESULT CTandelsModule::InitializeSecurity() {
    return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                  RPC_C_IMP_LEVEL_DELEGATE, nullptr, EOAC_NONE, nullptr);
}

HRESULT CTandelsModule::RegisterClassObject() {
    win::com_ptr<IUnknown> factory;
    HRESULT hr = win::ComObject<win::SingletonClassFactory>::Create(IID_IUnknown, factory.put_void(),
                                                                     &CreateTandelAPI);
    if (FAILED(hr)) return hr;
    return ::CoRegisterClassObject(CLSID_TandelAPI, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                   classObject_.put());
}
