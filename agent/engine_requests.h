#pragma once
// The agent's fixed requests to the running engine, and the sync check built on
// their replies, which opens the product window minimized when a sync is due.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Both catch every error and then return E_FAIL; callers need not look.
HRESULT SendNotification(const std::string& key, const std::string& value);
HRESULT RequestEngineShutdown(bool async);

// These raise win::com_error when the engine does not answer.
std::vector<std::wstring> QueryEngineDatabase(const std::string& sql, const std::string& key);
std::vector<std::wstring> QueryEngineNames();

// What the sync check needs from the world, so it can run over a fake engine and clock.
struct SyncCheckContext {
    std::function<std::vector<std::wstring>(const std::string& sql, const std::string& key)> queryDatabase;
    std::function<std::vector<std::wstring>()> queryNames;
    std::function<void()> launchShellMinimized;
    int64_t now = 0;        // seconds since 1970
    int64_t startTime = 0;  // when the agent started, seconds since 1970
    bool* wasAbsent = nullptr;
};

// Raises win::com_error when a request fails; the caller ends its tick quietly.
void RunSyncCheck(const SyncCheckContext& context);

// The agent's start time, taken once before its entry function runs.
int64_t AgentStartTime();
