#include "tools/engine_simulator/engine_state.h"

#include "tools/engine_simulator/request_log.h"
#include "win/unique_resource.h"

namespace {

// Far above any real state file; a bigger one is not a state file.
constexpr size_t kMaxFileBytes = 64 * 1024;
constexpr size_t kMaxLineBytes = 4096;

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseNumber(std::string_view text, unsigned long maximum, unsigned long* value) {
    text = Trim(text);
    if (text.empty() || text.size() > 9) return false;
    unsigned long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<unsigned long>(c - '0');
    }
    if (result > maximum) return false;
    *value = result;
    return true;
}

bool IsText(std::string_view line) {
    for (char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;
    }
    return line.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(),
                                                 static_cast<int>(line.size()), nullptr, 0) > 0;
}

// Every item kept exactly, empty ones too; an empty value is an empty list.
std::vector<std::string> SplitNames(std::string_view value) {
    std::vector<std::string> names;
    if (value.empty()) return names;
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        names.emplace_back(value.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return names;
        start = comma + 1;
    }
}

std::string LineProblem(size_t number, const std::string& what) {
    return "line " + std::to_string(number) + ": " + what;
}

}  // namespace

ParsedEngineState ParseEngineState(std::string_view text) {
    ParsedEngineState parsed;
    if (text.size() > kMaxFileBytes) {
        parsed.problems.push_back("more than " + std::to_string(kMaxFileBytes) + " bytes: defaults used");
        return parsed;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    EngineState& state = parsed.state;
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        if (line.size() > kMaxLineBytes) {
            parsed.problems.push_back(LineProblem(number, "longer than " + std::to_string(kMaxLineBytes) +
                                                              " bytes, ignored"));
            continue;
        }
        if (!IsText(line)) {
            parsed.problems.push_back(LineProblem(number, "not UTF-8 text, ignored"));
            continue;
        }
        if (Trim(line).empty() || Trim(line)[0] == '#') continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            parsed.problems.push_back(LineProblem(number, "no '=', ignored"));
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = line.substr(equals + 1);
        unsigned long numeric = 0;
        auto numberFor = [&](unsigned long maximum) {
            if (ParseNumber(value, maximum, &numeric)) return true;
            parsed.problems.push_back(LineProblem(number, std::string(key) + ": not a number from 0 to " +
                                                              std::to_string(maximum) + ", default kept"));
            return false;
        };
        if (key == "mode") {
            state.mode = std::string(value);
        } else if (key == "frequency") {
            state.frequency = std::string(value);
        } else if (key == "computers") {
            state.computers = SplitNames(value);
        } else if (key == "present") {
            state.present = SplitNames(value);
        } else if (key == "status") {
            if (numberFor(599)) {
                if (numeric != 0 && numeric < 100) {
                    parsed.problems.push_back(LineProblem(number, "status: not an HTTP status, default kept"));
                } else {
                    state.status = static_cast<int>(numeric);
                }
            }
        } else if (key == "delay_ms") {
            if (numberFor(600000)) state.delayMs = numeric;
        } else if (key == "refuse_first") {
            if (numberFor(1000000)) state.refuseFirst = numeric;
        } else if (key == "exit_after") {
            if (numberFor(1000000)) state.exitAfter = numeric;
        } else {
            parsed.problems.push_back(LineProblem(number, "unknown key '" + std::string(key) + "', ignored"));
        }
    }
    return parsed;
}

bool EngineStateFile::Stamp::operator==(const Stamp& other) const {
    return exists == other.exists && size == other.size && written.dwLowDateTime == other.written.dwLowDateTime &&
           written.dwHighDateTime == other.written.dwHighDateTime;
}

EngineStateFile::Stamp EngineStateFile::ReadStamp() const {
    Stamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) {
        stamp.exists = true;
        stamp.written = data.ftLastWriteTime;
        stamp.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return stamp;
}

const EngineState& EngineStateFile::Current(RequestLog& log) {
    const Stamp stamp = ReadStamp();
    if (!loaded_ || !(stamp == stamp_)) Load(stamp, log);
    return state_;
}

void EngineStateFile::Load(const Stamp& stamp, RequestLog& log) {
    loaded_ = true;
    stamp_ = stamp;
    state_ = EngineState();
    if (!stamp.exists) {
        log.Write({"STATE", "engine-state.txt not found: defaults used"});
        return;
    }
    // Shared for writing and deleting, so a test can replace the file at any time.
    win::unique_hfile file(::CreateFileW(path_.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text(kMaxFileBytes + 1, '\0');
    DWORD read = 0;
    if (!file || !::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        log.Write({"STATE", "engine-state.txt cannot be read: defaults used"});
        return;
    }
    text.resize(read);
    ParsedEngineState parsed = ParseEngineState(text);
    state_ = std::move(parsed.state);
    for (const std::string& problem : parsed.problems) log.Write({"STATE", "engine-state.txt " + problem});
}
