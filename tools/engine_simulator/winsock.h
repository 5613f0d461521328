#pragma once
// Owners for Winsock: the library's start-up and a socket.
#include <winsock2.h>

#include "win/unique_resource.h"

struct socket_traits {
    using pointer = SOCKET;
    static pointer invalid() noexcept { return INVALID_SOCKET; }
    static void close(pointer value) noexcept { ::closesocket(value); }
};
using unique_socket = win::unique_resource<socket_traits>;

class WinsockSession {
public:
    WinsockSession() noexcept {
        WSADATA data;
        result_ = ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockSession() {
        if (result_ == 0) ::WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    int result() const noexcept { return result_; }

private:
    int result_;
};
