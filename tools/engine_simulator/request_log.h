#pragma once
// "engine-requests.log": every line written at once and the file shared for
// reading, so tests can follow it while the simulator runs.
#include <windows.h>

#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string_view>

#include "win/unique_resource.h"

class RequestLog {
public:
    // Appends to the file; a log that cannot be opened drops its lines.
    explicit RequestLog(const std::filesystem::path& file);

    // One record in the format of log_line.h; safe from any thread.
    void Write(std::initializer_list<std::string_view> fields);

private:
    std::mutex mutex_;
    win::unique_hfile file_;
};
