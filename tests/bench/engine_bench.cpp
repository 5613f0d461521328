// Prints figures for the hot paths: the reply scan (it must stay linear in the
// reply's length) and a synchronous engine request's round trip on loopback.
#include "tests/support/raw_listener.h"  // winsock2.h before windows.h

#include <chrono>
#include <cstdio>
#include <string>

#include "common/engine_client.h"
#include "common/reply_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::wstring NamesReply(size_t bytes) {
    std::wstring reply = L"[";
    for (int i = 0; reply.size() < bytes / sizeof(wchar_t); ++i)
        reply += L"{\"name\":\"pc" + std::to_wstring(i) + L"\",\"ip\":\"10.0.0.1\"},";
    return reply + L"]";
}

}  // namespace

int main() {
    std::printf("reply scan (GetReplyValues, key \"name\"):\n");
    for (size_t megabytes : {1, 4, 16}) {
        const std::wstring reply = NamesReply(megabytes << 20);
        const auto start = Clock::now();
        const size_t values = GetReplyValues("name", reply).size();
        const double ms = Milliseconds(Clock::now() - start);
        std::printf("  %2zu MiB reply: %8.1f ms, %7zu values, %6.1f ms per MiB\n", megabytes, ms, values,
                    ms / static_cast<double>(megabytes));
    }

    std::printf("synchronous request round trip on loopback (\"/IPs/?random=\"):\n");
    testing_support::RawListener listener({200, R"([{"name":"PC1","ip":"127.0.0.2"}])"});
    constexpr int kRequests = 50;
    const auto start = Clock::now();
    for (int i = 0; i < kRequests; ++i) {
        std::wstring reply;
        SendEngineRequest("/IPs/?random=" + std::to_string(i), "", &reply, false);
    }
    std::printf("  %d requests: %.2f ms each\n", kRequests, Milliseconds(Clock::now() - start) / kRequests);
    return 0;
}
