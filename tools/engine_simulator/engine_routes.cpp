#include "tools/engine_simulator/engine_routes.h"

#include <string_view>
#include <vector>

#include "tools/engine_simulator/database_query.h"

namespace {

// A decimal number with an optional minus sign: the "%d" and "%lu" forms.
bool IsNumber(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsInitialize(std::string_view target) {
    constexpr std::string_view kPath = "/initialize/?";
    if (!StartsWith(target, kPath)) return false;
    std::string_view query = target.substr(kPath.size());
    if (StartsWith(query, "hwnd=")) {
        const size_t amp = query.find('&');
        if (amp == std::string_view::npos || !IsNumber(query.substr(5, amp - 5)) || query[5] == '-') return false;
        query.remove_prefix(amp + 1);
    }
    return StartsWith(query, "random=") && IsNumber(query.substr(7));
}

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// [{"<column>":"<value>"},…], one object per row.
std::string Rows(std::string_view column, const std::vector<std::string>& values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out += ",";
        out += "{" + JsonString(column) + ":" + JsonString(values[i]) + "}";
    }
    return out + "]";
}

std::vector<std::string> OneRowOrNone(const std::string& value) {
    if (value.empty()) return {};
    return {value};
}

EngineAnswer AnswerDatabase(const std::string& body, const EngineState& state) {
    const std::optional<DatabaseQuery> query = ParseDatabaseQuery(body);
    if (!query || query->root != "PellanPreferences2") return {400, ""};
    if (query->sql == "select syncModeSetting from prefs07202009")
        return {200, Rows("syncModeSetting", OneRowOrNone(state.mode))};
    if (query->sql == "select syncFrequency from prefs07202009")
        return {200, Rows("syncFrequency", OneRowOrNone(state.frequency))};
    if (query->sql == "select computerName from computerSync0720")
        return {200, Rows("computerName", state.computers)};
    return {400, ""};
}

EngineAnswer AnswerNames(const EngineState& state) {
    std::string out = "[";
    for (size_t i = 0; i < state.present.size(); ++i) {
        if (i) out += ",";
        out += "{\"name\":" + JsonString(state.present[i]) + ",\"ip\":\"127.0.0." + std::to_string(i % 250 + 2) +
               "\"}";
    }
    return {200, out + "]"};
}

}  // namespace

EngineAnswer AnswerRequest(const HttpRequest& request, const EngineState& state) {
    if (state.status != 0) return {state.status, ""};
    const std::string_view target = request.target;
    const bool known = IsInitialize(target) || target == "/Notifications/?" || target == "/shutdown?cleanup=1" ||
                       target == "/DBase/" || (StartsWith(target, "/IPs/?random=") && IsNumber(target.substr(13)));
    if (!known) return {404, ""};
    // The programs send every request as a GET, body or not.
    if (request.method != "GET") return {405, ""};
    if (target == "/DBase/") return AnswerDatabase(request.body, state);
    if (StartsWith(target, "/IPs/")) return AnswerNames(state);
    EngineAnswer answer;
    answer.endsEngine = target == "/shutdown?cleanup=1";
    return answer;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}
