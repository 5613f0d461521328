#pragma once
// An in-process stand-in for the engine's endpoint that keeps the exact bytes of
// each request and answers with a canned reply.
#include <winsock2.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class RawListener {
public:
    struct Reply {
        int status = 200;
        std::string body;
        DWORD delayMs = 0;
        // Close the connection without an answer, as a dying engine would.
        bool drop = false;
    };

    explicit RawListener(Reply reply, unsigned short port = 8182);
    ~RawListener();

    // The raw requests (head and body) received so far.
    std::vector<std::string> Requests();
    // GetTickCount at each request's arrival, in the order of Requests().
    std::vector<DWORD> ArrivalTicks();
    // How many requests have been answered so far.
    size_t Answered() const { return answered_; }
    // Waits until `count` requests have arrived; false after timeoutMs.
    bool WaitForRequests(size_t count, DWORD timeoutMs);

private:
    void Serve();

    Reply reply_;
    SOCKET socket_ = INVALID_SOCKET;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> answered_{0};
    CRITICAL_SECTION lock_;
    std::vector<std::string> requests_;
    std::vector<DWORD> ticks_;
    std::thread thread_;
};

// The head of a raw request split at its blank line, and the header lines in order.
struct ParsedRequest {
    std::string requestLine;
    std::vector<std::string> headerLines;
    std::string body;
};
ParsedRequest ParseRequest(const std::string& raw);

}  // namespace testing_support
