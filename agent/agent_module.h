#pragma once
// The agent's module: one agent per machine through the agent mutex, its thread
// and process identifiers published in the shared blocks, the uninstall run that
// stops a running agent and removes the engine's data, the restore of a saved
// configuration at every ordinary start, the registration runs and the COM
// class object.
#include <windows.h>

#include <string>

#include "agent/tray_icon.h"
#include "agent/tray_window.h"
#include "common/tandel_file_mapper.h"
#include "win/module.h"
#include "win/unique_resource.h"

class CTandelsModule : public win::Module {
public:
    CTandelsModule();

protected:
    bool ParseCommandLine(const wchar_t* commandLine, HRESULT* result) override;
    HRESULT Start(int showCommand) override;
    HRESULT PreMessageLoop(int showCommand) override;
    HRESULT PostMessageLoop() override;
    HRESULT InitializeSecurity();

private:
    HRESULT RunUninstall(bool otherAgentRuns);
    // True when the command line named a registration switch, which then ran.
    bool RunRegistrationSwitch(const wchar_t* commandLine, HRESULT* result);
    // The TandelAPI class object, for local-server activation with multiple use.
    HRESULT RegisterClassObject();

    // Destroyed in reverse: the blocks, in the reverse order of opening, then the mutex.
    win::unique_handle agentMutex_;
    TandelFileMapper threadIdBlock_;
    TandelFileMapper processIdBlock_;
    TrayIcon trayIcon_;
    std::wstring tooltip_;
    CTrayWindow trayWindow_{trayIcon_};
    win::unique_class_object classObject_;
};
