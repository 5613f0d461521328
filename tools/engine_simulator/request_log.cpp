#include "tools/engine_simulator/request_log.h"

#include <string>
#include <vector>

#include "tools/engine_simulator/log_line.h"

RequestLog::RequestLog(const std::filesystem::path& file)
    : file_(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void RequestLog::Write(std::initializer_list<std::string_view> fields) {
    const std::string line = engine_log::FormatLine(std::vector<std::string_view>(fields));
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    DWORD written = 0;
    // Unbuffered: a reader sees the whole line as soon as this returns.
    ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
