#pragma once
// TandelMgr, the engine manager: the only place that starts and stops the engine.
// It builds the engine's command line, starts it, waits until it answers, tells
// the shell through the engine-ready event, restarts a vanished engine from a
// 20-second timer, starts the shell on request and stops everything in order.
#include <windows.h>

#include <cstdint>
#include <string>

#include "agent/pipes.h"
#include "agent/port_mapping.h"
#include "win/unique_resource.h"

class TandelMgr {
public:
    // Built on first use; raises win::com_error when the engine-ready event
    // cannot be created. Destroyed when the process ends.
    static TandelMgr& Instance();
    // Null until Instance has built the manager.
    static TandelMgr* Existing();

    virtual ~TandelMgr();
    TandelMgr(const TandelMgr&) = delete;
    TandelMgr& operator=(const TandelMgr&) = delete;

    // With the agent's command line for its engine options, or null for a restart.
    bool StartEngine(const wchar_t* commandLine);
    // False when a started engine's process has ended; clears it then.
    bool IsEngineAlive();
    void LaunchShell(bool minimized);
    void Shutdown();

    static void CALLBACK WatchTimerProc(HWND, UINT, UINT_PTR, DWORD);

private:
    TandelMgr();
    void ClearEngineProcess();

    std::wstring agentFolder_;
    win::unique_handle engineProcess_;
    win::unique_handle engineThread_;
    DWORD engineProcessId_ = 0;
    DWORD engineThreadId_ = 0;
    UINT_PTR watchTimer_ = 0;
    EnginePortMapping portMapping_;
    bool wasAbsent_ = false;
    bool shutdownRequested_ = false;
    win::unique_handle readyEvent_;
    // Ends the engine with the agent, even when the agent dies without its
    // orderly end: an orphaned engine would hold the port from the next one.
    win::unique_handle engineJob_;
    Pipes output_;
};

// " -Xms<V>m -Xmx<2V>m " with V the available physical memory in 4 MiB units,
// at most 48 and at least kMinHeapUnits.
std::wstring HeapOptions(uint64_t availableBytes);
