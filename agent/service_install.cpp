#include "agent/service_install.h"

#include <windows.h>

#include "agent/resource_ids.h"
#include "win/resource_string.h"
#include "win/unique_resource.h"

namespace {

bool ServiceExists(const std::wstring& name) {
    win::unique_service_handle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    win::unique_service_handle service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
    return static_cast<bool>(service);
}

}  // namespace

bool RemoveService(const std::wstring& name, const ServiceProblemReport& report) {
    if (!ServiceExists(name)) return true;
    win::unique_service_handle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        report(L"Could not open Service Manager");
        return false;
    }
    win::unique_service_handle service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP | DELETE));
    if (!service) {
        report(L"Could not open service");
        return false;
    }
    SERVICE_STATUS status = {};
    if (!::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = ::GetLastError();
        const bool stopping =
            error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL && status.dwCurrentState == SERVICE_STOP_PENDING;
        if (error != ERROR_SERVICE_NOT_ACTIVE && !stopping) report(L"Could not stop service");
    }
    if (!::DeleteService(service.get())) {
        report(L"Could not delete service");
        return false;
    }
    return true;
}

bool InstallService(const std::wstring& name, const std::wstring& programPath,
                    const ServiceProblemReport& report) {
    if (ServiceExists(name)) return true;
    win::unique_service_handle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        report(L"Could not open Service Manager");
        return false;
    }
    const std::wstring quotedPath = L"\"" + programPath + L"\"";
    // A list of names, each ending in a zero, the list in another.
    static const wchar_t kDependencies[] = L"RPCSS\0";
    win::unique_service_handle service(::CreateServiceW(
        manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, quotedPath.c_str(), nullptr, nullptr, kDependencies,
        nullptr, nullptr));
    // Wine's service manager may deny a service it holds on record to OpenServiceW; its
    // refusal to create one of the same name still tells that the service exists.
    if (!service && ::GetLastError() != ERROR_SERVICE_EXISTS) {
        report(L"Could not start service");
        return false;
    }
    return true;
}

void ShowServiceProblem(const wchar_t* text) {
    const std::wstring caption = win::LoadResourceString(IDS_SERVICE_NAME);
    ::MessageBoxW(nullptr, text, caption.c_str(), MB_OK);
}
