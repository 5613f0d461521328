#pragma once
// The registration switches of the agent's command line and the runs they make.
#include <windows.h>

#include <string>

#include "agent/service_install.h"

enum class RegistrationSwitch { None, RegServer, RegServerPerUser, UnregServerPerUser, Service };

// The first token naming "RegServer", "RegServerPerUser" or "UnregServerPerUser"
// decides; only when none does is a "Service" token looked for.
RegistrationSwitch FindRegistrationSwitch(const wchar_t* commandLine);

// Runs the registration the switch asks for, for the program at `programPath` and the
// service `serviceName`; its result is the run's exit code. Every registration first
// removes an installed service of that name; service problems go to `report`, and the
// result is E_FAIL then.
HRESULT RunRegistration(RegistrationSwitch which, const std::wstring& programPath,
                        const std::wstring& serviceName, const ServiceProblemReport& report);
