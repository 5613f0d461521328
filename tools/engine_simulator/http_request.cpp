#include "tools/engine_simulator/http_request.h"

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The value of a "Content-Length" line when it is a plain decimal number. Wine
// also sends a name given with a colon as "Content-Length: : 1", which is not.
bool ContentLengthOf(std::string_view line, size_t* length) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoringCase(line.substr(0, colon), "Content-Length"))
        return false;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty() || value.size() > 9) return false;
    size_t result = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<size_t>(c - '0');
    }
    *length = result;
    return true;
}

}  // namespace

HeadStatus ReadRequestHead(std::string_view received, HttpRequest* request, size_t* headLength,
                           size_t* bodyLength, std::string* error) {
    const size_t end = received.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        if (received.size() <= kMaxHeadBytes) return HeadStatus::kIncomplete;
        *error = "request head larger than " + std::to_string(kMaxHeadBytes) + " bytes";
        return HeadStatus::kMalformed;
    }
    const std::string_view head = received.substr(0, end);
    const size_t lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    const size_t firstSpace = requestLine.find(' ');
    const size_t secondSpace =
        firstSpace == std::string_view::npos ? firstSpace : requestLine.find(' ', firstSpace + 1);
    if (secondSpace == std::string_view::npos || firstSpace == 0 || secondSpace == firstSpace + 1 ||
        requestLine.find(' ', secondSpace + 1) != std::string_view::npos ||
        requestLine.substr(secondSpace + 1, 5) != "HTTP/") {
        *error = "bad request line";
        return HeadStatus::kMalformed;
    }
    request->method = std::string(requestLine.substr(0, firstSpace));
    request->target = std::string(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    request->version = std::string(requestLine.substr(secondSpace + 1));
    request->headerLines = lineEnd == std::string_view::npos ? std::string() : std::string(head.substr(lineEnd + 2));

    *bodyLength = 0;
    std::string_view rest = request->headerLines;
    while (!rest.empty()) {
        const size_t next = rest.find("\r\n");
        if (ContentLengthOf(rest.substr(0, next), bodyLength)) break;
        rest.remove_prefix(next == std::string_view::npos ? rest.size() : next + 2);
    }
    if (*bodyLength > kMaxBodyBytes) {
        *error = "body larger than " + std::to_string(kMaxBodyBytes) + " bytes";
        return HeadStatus::kMalformed;
    }
    *headLength = end + 4;
    return HeadStatus::kComplete;
}
