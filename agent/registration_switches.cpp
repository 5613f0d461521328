#include "agent/registration_switches.h"

#include "agent/com_registration.h"
#include "agent/switch_scanner.h"

namespace {

HRESULT RegisterAppIdFor(RegistrationScope scope, bool service, const std::wstring& programPath,
                         const std::wstring& serviceName, const ServiceProblemReport& report) {
    if (!RemoveService(serviceName, report)) return E_FAIL;
    win::unique_hkey classes;
    HRESULT hr = OpenClassesRoot(scope, &classes);
    if (SUCCEEDED(hr)) hr = RegisterAppId(classes.get());
    if (SUCCEEDED(hr)) hr = RemoveAppIdLocalService(classes.get());
    if (FAILED(hr) || !service) return hr;
    hr = SetAppIdLocalService(classes.get(), serviceName);
    if (SUCCEEDED(hr) && !InstallService(serviceName, programPath, report)) hr = E_FAIL;
    return hr;
}

HRESULT UnregisterAppIdFor(RegistrationScope scope, const std::wstring& serviceName,
                           const ServiceProblemReport& report) {
    if (!RemoveService(serviceName, report)) return E_FAIL;
    win::unique_hkey classes;
    HRESULT hr = OpenClassesRoot(scope, &classes);
    if (SUCCEEDED(hr)) hr = UnregisterAppId(classes.get());
    return hr;
}

HRESULT RegisterServer(RegistrationScope scope, const std::wstring& programPath) {
    win::unique_hkey classes;
    HRESULT hr = OpenClassesRoot(scope, &classes);
    if (SUCCEEDED(hr)) hr = RegisterTandelClass(classes.get(), programPath);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(programPath, scope);
    return hr;
}

HRESULT UnregisterServer(RegistrationScope scope, const std::wstring& programPath) {
    win::unique_hkey classes;
    HRESULT hr = OpenClassesRoot(scope, &classes);
    if (SUCCEEDED(hr)) hr = UnregisterTandelClass(classes.get());
    if (SUCCEEDED(hr)) hr = UnregisterTypeLibrary(programPath, scope);
    return hr;
}

}  // namespace

RegistrationSwitch FindRegistrationSwitch(const wchar_t* commandLine) {
    if (!commandLine) return RegistrationSwitch::None;
    SwitchScanner scanner(commandLine);
    while (const wchar_t* token = scanner.Next()) {
        if (SwitchScanner::Matches(token, L"RegServer")) return RegistrationSwitch::RegServer;
        if (SwitchScanner::Matches(token, L"UnregServerPerUser")) return RegistrationSwitch::UnregServerPerUser;
        if (SwitchScanner::Matches(token, L"RegServerPerUser")) return RegistrationSwitch::RegServerPerUser;
    }
    return HasSwitch(commandLine, L"Service") ? RegistrationSwitch::Service : RegistrationSwitch::None;
}

HRESULT RunRegistration(RegistrationSwitch which, const std::wstring& programPath,
                        const std::wstring& serviceName, const ServiceProblemReport& report) {
    HRESULT hr = S_OK;
    switch (which) {
    case RegistrationSwitch::None:
        break;
    case RegistrationSwitch::RegServer:
    case RegistrationSwitch::Service:
        hr = RegisterAppIdFor(RegistrationScope::Machine, which == RegistrationSwitch::Service, programPath,
                              serviceName, report);
        if (SUCCEEDED(hr)) hr = RegisterServer(RegistrationScope::Machine, programPath);
        break;
    case RegistrationSwitch::RegServerPerUser:
        hr = RegisterAppIdFor(RegistrationScope::User, false, programPath, serviceName, report);
        if (SUCCEEDED(hr)) hr = RegisterServer(RegistrationScope::User, programPath);
        break;
    case RegistrationSwitch::UnregServerPerUser:
        hr = UnregisterServer(RegistrationScope::User, programPath);
        if (SUCCEEDED(hr)) hr = UnregisterAppIdFor(RegistrationScope::User, serviceName, report);
        break;
    }
    return hr;
}
