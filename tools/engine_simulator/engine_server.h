#pragma once
// The simulated engine's HTTP endpoint on 127.0.0.1:8182: a worker thread that
// serves one connection at a time, answering each request and closing it.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "tools/engine_simulator/engine_state.h"
#include "tools/engine_simulator/http_request.h"
#include "tools/engine_simulator/request_log.h"
#include "tools/engine_simulator/winsock.h"
#include "win/unique_resource.h"

class EngineServer {
public:
    static constexpr u_short kPort = 8182;

    // The server posts WM_QUIT to `mainThreadId` when the engine is to end.
    EngineServer(RequestLog& log, std::filesystem::path stateFile, DWORD mainThreadId);
    ~EngineServer();
    EngineServer(const EngineServer&) = delete;
    EngineServer& operator=(const EngineServer&) = delete;

    // Binds the port and starts serving; false (with the reason logged) when the
    // port is taken or no socket can be had.
    bool Start();
    // Stops serving and waits for the worker; the port is free afterwards.
    void Stop();
    // Why the server asked the main thread to quit; empty when it did not.
    std::string EndReason() const;

private:
    enum class End { kNone, kShutdownRequest, kExitAfter };

    void Serve();
    void ServeConnection(unique_socket connection);
    // Waits up to the time for the socket to become readable; false when the
    // server is stopping or the time ran out.
    bool WaitReadable(SOCKET socket, DWORD timeoutMs);
    bool ReceiveRequest(SOCKET connection, HttpRequest* request);
    void Send(SOCKET connection, int status, const std::string& body);
    // Lets the main thread's loop end, a moment after the last answer went out.
    void RequestEnd(End reason);

    RequestLog& log_;
    EngineStateFile state_;
    DWORD mainThreadId_;
    WinsockSession winsock_;
    unique_socket listener_;
    win::unique_handle stopping_;
    std::thread worker_;
    unsigned connections_ = 0;
    unsigned answered_ = 0;
    std::atomic<End> end_{End::kNone};
};
