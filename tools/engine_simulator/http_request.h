#pragma once
// One HTTP/1.1 request as it arrived, kept byte for byte for the log.
#include <cstddef>
#include <string>
#include <string_view>

struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::string headerLines;  // the lines after the request line, joined by CR LF as received
    std::string body;
};

enum class HeadStatus { kIncomplete, kComplete, kMalformed };

// Bounds far above what the agent sends, so a runaway client cannot exhaust memory.
constexpr size_t kMaxHeadBytes = 64 * 1024;
constexpr size_t kMaxBodyBytes = 1024 * 1024;

// Reads the request line and headers once `received` holds the blank line that
// ends them. On kComplete fills method, target, version and headerLines, and
// gives the head's length (blank line included) and the body length from the
// first Content-Length header whose value is a plain number (none: 0).
// On kMalformed, *error says why.
HeadStatus ReadRequestHead(std::string_view received, HttpRequest* request, size_t* headLength,
                           size_t* bodyLength, std::string* error);
