#pragma once
// What the simulated engine answers and which faults it plays, from the lines of
// "engine-state.txt" in its working folder.
#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class RequestLog;

struct EngineState {
    // Database values exactly as stored, so odd values ("2x", "abc") reach the
    // agent as they are; an empty value means the table has no row.
    std::string mode = "0";
    std::string frequency = "0";
    std::vector<std::string> computers;  // "computerSync0720"
    std::vector<std::string> present;    // what "/IPs/" reports
    int status = 0;                      // answer everything with this status; 0 = normal
    DWORD delayMs = 0;
    unsigned refuseFirst = 0;
    unsigned exitAfter = 0;              // 0 = never
};

struct ParsedEngineState {
    EngineState state;
    std::vector<std::string> problems;
};

// Lines "key=value"; blank lines and lines starting with '#' are skipped. A line
// that cannot be used is reported as a problem and leaves its key at the default.
ParsedEngineState ParseEngineState(std::string_view text);

// The state file, read again whenever its time stamp or size changed.
class EngineStateFile {
public:
    explicit EngineStateFile(std::filesystem::path path) : path_(std::move(path)) {}

    // Problems found on reading go to the log, once per version of the file.
    const EngineState& Current(RequestLog& log);

private:
    struct Stamp {
        bool exists = false;
        FILETIME written = {};
        ULONGLONG size = 0;
        bool operator==(const Stamp& other) const;
    };

    Stamp ReadStamp() const;
    void Load(const Stamp& stamp, RequestLog& log);

    std::filesystem::path path_;
    bool loaded_ = false;
    Stamp stamp_;
    EngineState state_;
};
