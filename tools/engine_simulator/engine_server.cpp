#include "tools/engine_simulator/engine_server.h"

#include <ws2tcpip.h>

#include "tools/engine_simulator/engine_routes.h"

namespace {

// How often a waiting worker looks whether the server is stopping.
constexpr DWORD kPollMs = 100;
// A client that goes quiet in the middle of a request is dropped after this.
constexpr DWORD kIdleConnectionMs = 10000;
// The pause between answering "/shutdown?cleanup=1" and ending, as the engine
// takes a moment to close down.
constexpr DWORD kEndDelayMs = 150;

}  // namespace

EngineServer::EngineServer(RequestLog& log, std::filesystem::path stateFile, DWORD mainThreadId)
    : log_(log),
      state_(std::move(stateFile)),
      mainThreadId_(mainThreadId),
      stopping_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

EngineServer::~EngineServer() { Stop(); }

bool EngineServer::Start() {
    // Read once now, so problems with the state file show in the log from the start.
    state_.Current(log_);
    if (winsock_.result() != 0) {
        log_.Write({"ERROR", "Winsock cannot start: error " + std::to_string(winsock_.result())});
        return false;
    }
    listener_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener_ || !stopping_) {
        log_.Write({"ERROR", "no socket: error " + std::to_string(::WSAGetLastError())});
        return false;
    }
    // No SO_REUSEADDR: a program already serving the port must make us fail. No
    // SO_EXCLUSIVEADDRUSE either, which would keep the port from the next simulator
    // while connections of this one linger in TIME_WAIT.
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(kPort);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == SOCKET_ERROR) {
        const int error = ::WSAGetLastError();
        log_.Write({"ERROR", error == WSAEADDRINUSE || error == WSAEACCES
                                 ? "port 8182 is in use"
                                 : "cannot bind port 8182: error " + std::to_string(error)});
        return false;
    }
    if (::listen(listener_.get(), SOMAXCONN) == SOCKET_ERROR) {
        log_.Write({"ERROR", "cannot listen on port 8182: error " + std::to_string(::WSAGetLastError())});
        return false;
    }
    // Before the worker runs, so no request line comes ahead of it.
    log_.Write({"READY", "127.0.0.1:8182"});
    try {
        worker_ = std::thread(&EngineServer::Serve, this);
    } catch (const std::system_error&) {
        log_.Write({"ERROR", "no worker thread"});
        return false;
    }
    return true;
}

void EngineServer::Stop() {
    ::SetEvent(stopping_.get());
    if (worker_.joinable()) worker_.join();
    listener_.reset();
}

std::string EngineServer::EndReason() const {
    switch (end_.load()) {
        case End::kShutdownRequest: return "shutdown request";
        case End::kExitAfter: return "exit_after reached";
        case End::kNone: break;
    }
    return {};
}

void EngineServer::Serve() {
    // Nothing may leave the thread: a failure ends serving, the log says why.
    try {
        while (end_.load() == End::kNone && WaitReadable(listener_.get(), INFINITE)) {
            unique_socket connection(::accept(listener_.get(), nullptr, nullptr));
            if (!connection) continue;
            ++connections_;
            if (connections_ <= state_.Current(log_).refuseFirst) {
                log_.Write({"REFUSED", std::to_string(connections_)});
                // Closed with a reset, as a port nobody serves would answer.
                linger abort = {1, 0};
                ::setsockopt(connection.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                             sizeof(abort));
                continue;
            }
            ServeConnection(std::move(connection));
        }
    } catch (const std::exception& e) {
        log_.Write({"ERROR", std::string("server thread failed: ") + e.what()});
    }
}

void EngineServer::ServeConnection(unique_socket connection) {
    HttpRequest request;
    if (!ReceiveRequest(connection.get(), &request)) return;
    log_.Write({"REQUEST", request.method, request.target, request.version, request.headerLines, request.body});

    const EngineState state = state_.Current(log_);
    const EngineAnswer answer = AnswerRequest(request, state);
    if (state.delayMs != 0 && ::WaitForSingleObject(stopping_.get(), state.delayMs) == WAIT_OBJECT_0) return;
    Send(connection.get(), answer.status, answer.body);
    ++answered_;
    // Closing our side first tells the client the answer is complete.
    ::shutdown(connection.get(), SD_SEND);
    connection.reset();

    if (answer.endsEngine) {
        RequestEnd(End::kShutdownRequest);
    } else if (state.exitAfter != 0 && answered_ >= state.exitAfter) {
        RequestEnd(End::kExitAfter);
    }
}

bool EngineServer::WaitReadable(SOCKET socket, DWORD timeoutMs) {
    DWORD waited = 0;
    for (;;) {
        if (::WaitForSingleObject(stopping_.get(), 0) == WAIT_OBJECT_0) return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval slice = {0, static_cast<long>(kPollMs * 1000)};
        const int ready = ::select(0, &readable, nullptr, nullptr, &slice);
        if (ready == SOCKET_ERROR) return false;
        if (ready > 0) return true;
        waited += kPollMs;
        if (timeoutMs != INFINITE && waited >= timeoutMs) return false;
    }
}

bool EngineServer::ReceiveRequest(SOCKET connection, HttpRequest* request) {
    std::string received;
    size_t headLength = 0;
    size_t bodyLength = 0;
    bool headRead = false;
    char buffer[8192];
    for (;;) {
        if (!headRead) {
            std::string error;
            switch (ReadRequestHead(received, request, &headLength, &bodyLength, &error)) {
                case HeadStatus::kComplete: headRead = true; break;
                case HeadStatus::kMalformed:
                    log_.Write({"MALFORMED", error, received});
                    Send(connection, 400, "");
                    return false;
                case HeadStatus::kIncomplete: break;
            }
        }
        if (headRead && received.size() >= headLength + bodyLength) {
            request->body = received.substr(headLength, bodyLength);
            return true;
        }
        const bool readable = WaitReadable(connection, kIdleConnectionMs);
        const int count = readable ? ::recv(connection, buffer, sizeof(buffer), 0) : 0;
        if (count <= 0) {
            // A connection opened and closed without a byte (a port probe) is no request.
            if (!received.empty() && ::WaitForSingleObject(stopping_.get(), 0) != WAIT_OBJECT_0)
                log_.Write({"MALFORMED", "connection ended before the request was complete", received});
            return false;
        }
        received.append(buffer, static_cast<size_t>(count));
    }
}

void EngineServer::Send(SOCKET connection, int status, const std::string& body) {
    const std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
                              "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    size_t sent = 0;
    while (sent < reply.size()) {
        const int count = ::send(connection, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
        if (count <= 0) return;
        sent += static_cast<size_t>(count);
    }
}

void EngineServer::RequestEnd(End reason) {
    end_.store(reason);
    ::WaitForSingleObject(stopping_.get(), kEndDelayMs);
    ::PostThreadMessageW(mainThreadId_, WM_QUIT, 0, 0);
}
