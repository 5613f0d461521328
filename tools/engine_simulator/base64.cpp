#include "tools/engine_simulator/base64.h"

namespace {

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        unsigned value = 0;
        for (size_t j = 0; j < 4; ++j) {
            const int sextet = j < 4 - padding ? SextetOf(text[i + j]) : 0;
            if (sextet < 0) return std::nullopt;
            value = (value << 6) | static_cast<unsigned>(sextet);
        }
        bytes += static_cast<char>(value >> 16);
        if (padding < 2) bytes += static_cast<char>((value >> 8) & 0xFF);
        if (padding < 1) bytes += static_cast<char>(value & 0xFF);
    }
    return bytes;
}
