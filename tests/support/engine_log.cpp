#include "tests/support/engine_log.h"

#include <windows.h>

#include <stdexcept>

#include "tools/engine_simulator/log_line.h"
#include "win/text.h"
#include "win/unique_resource.h"

namespace testing_support {

namespace {

std::string ReadShared(const std::filesystem::path& file) {
    win::unique_hfile handle(::CreateFileW(file.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    if (!handle) return text;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(handle.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    return text;
}

EngineRequestRecord RequestOf(const std::vector<std::string>& fields) {
    EngineRequestRecord request{fields[1], fields[2], fields[3], {}, {}, fields[5]};
    std::string_view rest = fields[4];
    while (!rest.empty()) {
        const size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        request.headerLines.emplace_back(line);
        const size_t colon = line.find(':');
        std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        request.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
    }
    return request;
}

}  // namespace

EngineLog ReadEngineLog(const std::filesystem::path& folder) {
    EngineLog log;
    const std::string text = ReadShared(folder / L"engine-requests.log");
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        std::vector<std::string> fields;
        const bool parsed = engine_log::ParseLine(line, &fields);
        const std::string kind = parsed ? fields[0] : std::string();
        const size_t count = fields.size();
        if (kind == "START" && count == 3) {
            log.starts.push_back({win::Widen(fields[1]), win::Widen(fields[2])});
        } else if (kind == "READY" && count == 2) {
            ++log.readyCount;
        } else if (kind == "REQUEST" && count == 6) {
            log.requests.push_back(RequestOf(fields));
        } else if (kind == "STATE" && count == 2) {
            log.stateProblems.push_back(fields[1]);
        } else if (kind == "REFUSED" && count == 2) {
            log.refused.push_back(std::stoi(fields[1]));
        } else if (kind == "MALFORMED" && count == 3) {
            log.malformed.push_back(fields[1]);
        } else if (kind == "ERROR" && count == 2) {
            log.errors.push_back(fields[1]);
        } else if (kind == "EXIT" && count == 3) {
            log.exits.push_back({fields[1], std::stoi(fields[2])});
        } else {
            log.unreadable.push_back(line);
        }
    }
    return log;
}

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) value |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[value >> 18];
        out += kAlphabet[(value >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(value >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[value & 63] : '=';
    }
    return out;
}

void WriteEngineState(const std::filesystem::path& folder, std::string_view text) {
    const std::filesystem::path file = folder / L"engine-state.txt";
    const std::filesystem::path staged = folder / L"engine-state.txt.new";
    {
        win::unique_hfile handle(::CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!handle || !::WriteFile(handle.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size())
            throw std::runtime_error("cannot write engine-state.txt.new");
    }
    if (!::MoveFileExW(staged.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING))
        throw std::runtime_error("cannot replace engine-state.txt");
}

}  // namespace testing_support
