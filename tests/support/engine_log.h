#pragma once
// The engine simulator's files seen from a test: its log "engine-requests.log"
// read into records, and its state file "engine-state.txt" written.
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

struct EngineRequestRecord {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::string> headerLines;  // as received
    // Each line split at its first ':', the value without the blanks after it;
    // Wine's "Accept: : text" gives ("Accept", ": text").
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct EngineStartRecord {
    std::wstring commandLine;
    std::wstring workingFolder;
};

struct EngineExitRecord {
    std::string reason;  // "WM_QUIT", "shutdown request", "exit_after reached", "cannot serve"
    int code = 0;
};

struct EngineLog {
    std::vector<EngineStartRecord> starts;
    int readyCount = 0;
    std::vector<EngineRequestRecord> requests;
    std::vector<std::string> stateProblems;
    std::vector<int> refused;             // connection numbers closed without an answer
    std::vector<std::string> malformed;   // reasons
    std::vector<std::string> errors;
    std::vector<EngineExitRecord> exits;
    std::vector<std::string> unreadable;  // lines that are not in the log's format
};

// The log in `folder` (the simulator's working folder); empty when there is
// none. Reads while the simulator writes; a last line without its line feed is left out.
EngineLog ReadEngineLog(const std::filesystem::path& folder);

// Base64 as the agent sends a "/DBase/" body: standard alphabet, '=' padding.
std::string EncodeBase64(std::string_view bytes);

// Replaces "engine-state.txt" in `folder` with `text` in one step, so the
// simulator never reads half of it.
void WriteEngineState(const std::filesystem::path& folder, std::string_view text);

}  // namespace testing_support
