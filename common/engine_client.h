#pragma once
// The one client for the engine's HTTP control interface on localhost:8182.
//
// Every request is a GET, with or without a body. A synchronous request returns
// S_OK with the reply decoded from UTF-8 (empty for any status but 200); a
// transport failure (nothing listening, reset, time-out) raises win::com_error
// carrying the WinHTTP error. An asynchronous request returns S_OK as soon as it
// has been sent (at most a second), without waiting for the answer, and
// completes on a thread of its own, which frees everything when it ends.
//
// WinHTTP rather than MSXML's request object: the latter sends no GET body under
// Wine, and WinHTTP keeps no cache between us and the engine.
#include <windows.h>

#include <map>
#include <string>

class XMLHttpWrapper {
public:
    void SetPath(std::string path) { path_ = std::move(path); }
    // Replaces the value of a header already set.
    void SetHeader(const std::string& name, const std::string& value) { headers_[name] = value; }
    // Raises win::com_error on a transport failure of a synchronous request.
    HRESULT Send(const void* data, DWORD length, bool async);
    std::wstring GetReplyText() const { return reply_; }

private:
    // Sets `sent`, when given, once the request has been written.
    void Perform(const std::string& body, HANDLE sent);

    std::string path_;
    std::map<std::string, std::string> headers_;  // sent in ascending order of names
    std::wstring reply_;
};

// Sends `body` (no Content-Length header when empty) to the base URL followed
// directly by `path`; nothing is escaped. `reply` may be null when the caller
// never looks at the answer.
HRESULT SendEngineRequest(const std::string& path, const std::string& body, std::wstring* reply,
                          bool async);
