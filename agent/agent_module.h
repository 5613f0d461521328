#pragma once
// The agent's module: one agent per machine through the agent mutex, its thread
// and process identifiers published in the shared blocks, the uninstall run
// that stops a running agent, the registration runs and the COM class object.
#include <windows.h>

#include <string>

#include "common/tandel_file_mapper.h"
#include "win/module.h"
#include "win/unique_resource.h"

class CTandelsModule : public win::Module {
public:
    CTandelsModule();

protected:
    bool ParseCommandLine(const wchar_t* commandLine, HRESULT* result) override;
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
    std::wstring tooltip_;
    win::unique_class_object classObject_;
};
