#pragma once
// The agent's Windows service. The agent has no service entry point: the service
// only lets the service control manager start the program as it is.
#include <functional>
#include <string>

// Shows one of the fixed problem texts to the user.
using ServiceProblemReport = std::function<void(const wchar_t* text)>;

// Stops and deletes an installed service of that name; true when none is left. A
// stop that fails because the service is not running, or is already stopping, is
// no problem; any other failed stop is reported and the deletion still tried.
bool RemoveService(const std::wstring& name, const ServiceProblemReport& report);

// Creates the service, unless one of that name exists: own process, started on
// demand, normal error control, the program's full path in double quotes, dependent
// on "RPCSS", the name doubling as display name. True when the service exists.
bool InstallService(const std::wstring& name, const std::wstring& programPath,
                    const ServiceProblemReport& report);

// A message box with the caption "Tandels" (string 100 of the agent).
void ShowServiceProblem(const wchar_t* text);
