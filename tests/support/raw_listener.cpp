#include "tests/support/raw_listener.h"

#include <stdexcept>

namespace testing_support {

namespace {

size_t ContentLength(const std::string& head) {
    const std::string name = "\r\ncontent-length:";
    std::string lower = head;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t at = lower.find(name);
    return at == std::string::npos ? 0 : strtoul(head.c_str() + at + name.size(), nullptr, 10);
}

}  // namespace

RawListener::RawListener(Reply reply, unsigned short port) : reply_(std::move(reply)) {
    ::InitializeCriticalSection(&lock_);
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL reuse = TRUE;
    ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(socket_, 8) != 0) {
        ::closesocket(socket_);
        throw std::runtime_error("cannot listen on the engine's port");
    }
    thread_ = std::thread([this] { Serve(); });
}

RawListener::~RawListener() {
    stopping_ = true;
    ::closesocket(socket_);
    thread_.join();
    ::WSACleanup();
    ::DeleteCriticalSection(&lock_);
}

void RawListener::Serve() {
    while (!stopping_) {
        SOCKET client = ::accept(socket_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        std::string raw;
        char buffer[65536];
        size_t headEnd = std::string::npos;
        for (;;) {
            int got = ::recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            raw.append(buffer, static_cast<size_t>(got));
            if (headEnd == std::string::npos) headEnd = raw.find("\r\n\r\n");
            if (headEnd != std::string::npos && raw.size() >= headEnd + 4 + ContentLength(raw.substr(0, headEnd + 2)))
                break;
        }
        ::EnterCriticalSection(&lock_);
        requests_.push_back(raw);
        ticks_.push_back(::GetTickCount());
        ::LeaveCriticalSection(&lock_);
        if (reply_.delayMs) ::Sleep(reply_.delayMs);
        if (reply_.drop) {
            ::closesocket(client);
            continue;
        }
        std::string answer = "HTTP/1.1 " + std::to_string(reply_.status) + " X\r\nContent-Length: " +
                             std::to_string(reply_.body.size()) + "\r\nConnection: close\r\n\r\n" + reply_.body;
        ::send(client, answer.data(), static_cast<int>(answer.size()), 0);
        ::shutdown(client, SD_SEND);
        ::closesocket(client);
        ++answered_;
    }
}

std::vector<std::string> RawListener::Requests() {
    ::EnterCriticalSection(&lock_);
    std::vector<std::string> copy = requests_;
    ::LeaveCriticalSection(&lock_);
    return copy;
}

std::vector<DWORD> RawListener::ArrivalTicks() {
    ::EnterCriticalSection(&lock_);
    std::vector<DWORD> copy = ticks_;
    ::LeaveCriticalSection(&lock_);
    return copy;
}

bool RawListener::WaitForRequests(size_t count, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (Requests().size() < count) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(10);
    }
    return true;
}

ParsedRequest ParseRequest(const std::string& raw) {
    ParsedRequest parsed;
    size_t headEnd = raw.find("\r\n\r\n");
    std::string head = raw.substr(0, headEnd);
    parsed.body = headEnd == std::string::npos ? std::string() : raw.substr(headEnd + 4);
    size_t lineStart = 0;
    bool first = true;
    while (lineStart <= head.size()) {
        size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string::npos) lineEnd = head.size();
        std::string line = head.substr(lineStart, lineEnd - lineStart);
        if (first) parsed.requestLine = line;
        else parsed.headerLines.push_back(line);
        first = false;
        lineStart = lineEnd + 2;
    }
    return parsed;
}

}  // namespace testing_support
