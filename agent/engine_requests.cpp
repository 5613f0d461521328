#include "agent/engine_requests.h"

#include <cstdlib>
#include <ctime>

#include "common/engine_client.h"
#include "common/reply_reader.h"
#include "win/com_error.h"

namespace {

const int64_t kStartTime = static_cast<int64_t>(std::time(nullptr));

constexpr char kModeQuery[] = "select syncModeSetting from prefs07202009";
constexpr char kModeKey[] = "syncModeSetting";
constexpr char kFrequencyQuery[] = "select syncFrequency from prefs07202009";
constexpr char kFrequencyKey[] = "syncFrequency";
constexpr char kComputersQuery[] = "select computerName from computerSync0720";
constexpr char kComputersKey[] = "computerName";

std::string EncodeBase64(const std::string& text) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        const uint32_t n = (uint8_t(text[i]) << 16) | (uint8_t(text[i + 1]) << 8) | uint8_t(text[i + 2]);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    if (i < text.size()) {
        const bool two = i + 1 < text.size();
        const uint32_t n = (uint8_t(text[i]) << 16) | (two ? uint8_t(text[i + 1]) << 8 : 0);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += two ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Seconds after the agent's start at which a frequency code makes a sync due;
// 0 for a code that is never due.
int64_t FrequencyInterval(int code) {
    switch (code) {
    case 0: return 5 * 60;
    case 1: return 60 * 60;
    case 2: return 24 * 60 * 60;
    case 3: return 7 * 24 * 60 * 60;
    case 4: return 30 * 24 * 60 * 60;
    default: return 0;
    }
}

// Exact, case-sensitive comparison of whole names.
bool AnyNameMatches(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b) {
    for (const std::wstring& x : a) {
        for (const std::wstring& y : b) {
            if (x == y) return true;
        }
    }
    return false;
}

}  // namespace

int64_t AgentStartTime() { return kStartTime; }

HRESULT SendNotification(const std::string& key, const std::string& value) {
    // The quotes are the engine's own framing; nothing is escaped.
    const std::string body = "'{\"key\":\"" + key + "\", \"value\":\"'" + value + "'\",\"valuetype\":\"string\"}'";
    try {
        return SendEngineRequest("/Notifications/?", body, nullptr, true);
    } catch (const win::com_error&) {
        return E_FAIL;
    }
}

HRESULT RequestEngineShutdown(bool async) {
    try {
        return SendEngineRequest("/shutdown?cleanup=1", " ", nullptr, async);
    } catch (const win::com_error&) {
        return E_FAIL;
    }
}

std::vector<std::wstring> QueryEngineDatabase(const std::string& sql, const std::string& key) {
    const std::string query = "{\"root\":\"PellanPreferences2\",\"sql\":\"" + sql + "\"}";
    std::wstring reply;
    SendEngineRequest("/DBase/", EncodeBase64(query), &reply, false);
    return GetReplyValues(key, reply);
}

std::vector<std::wstring> QueryEngineNames() {
    // The tick count only makes each URL distinct.
    const std::string path = "/IPs/?random=" + std::to_string(::GetTickCount());
    std::wstring reply;
    SendEngineRequest(path, "", &reply, false);
    return GetReplyValues("name", reply);
}

void RunSyncCheck(const SyncCheckContext& context) {
    const std::vector<std::wstring> modes = context.queryDatabase(kModeQuery, kModeKey);
    const std::vector<std::wstring> frequencies = context.queryDatabase(kFrequencyQuery, kFrequencyKey);
    if (modes.empty() || frequencies.empty()) return;

    const int64_t mode = _wtoi64(modes.front().c_str());
    if (mode != 1 && mode != 2) return;
    const std::vector<std::wstring> present = context.queryNames();
    const std::vector<std::wstring> known = context.queryDatabase(kComputersQuery, kComputersKey);
    const bool knownPresent = AnyNameMatches(present, known);
    if (mode == 2) {
        const int64_t interval = FrequencyInterval(_wtoi(frequencies.front().c_str()));
        if (interval == 0 || context.now - interval <= context.startTime) return;
        if (knownPresent) context.launchShellMinimized();
    } else if (!knownPresent) {
        *context.wasAbsent = true;
    } else if (*context.wasAbsent) {
        // Only a return after an absence counts, not a computer that never left.
        *context.wasAbsent = false;
        context.launchShellMinimized();
    }
}
