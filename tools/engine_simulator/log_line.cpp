#include "tools/engine_simulator/log_line.h"

namespace engine_log {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string EscapeField(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default:
                if (byte < 0x20 || byte >= 0x7F) {
                    out += "\\x";
                    out += kHexDigits[byte >> 4];
                    out += kHexDigits[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

bool UnescapeField(std::string_view field, std::string* bytes) {
    bytes->clear();
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            *bytes += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
            case '\\': *bytes += '\\'; break;
            case 't': *bytes += '\t'; break;
            case 'r': *bytes += '\r'; break;
            case 'n': *bytes += '\n'; break;
            case 'x': {
                if (field.size() - i < 3) return false;
                const int high = HexValue(field[i + 1]);
                const int low = HexValue(field[i + 2]);
                if (high < 0 || low < 0) return false;
                *bytes += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return true;
}

std::string FormatLine(const std::vector<std::string_view>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += '\t';
        line += EscapeField(fields[i]);
    }
    line += '\n';
    return line;
}

bool ParseLine(std::string_view line, std::vector<std::string>* fields) {
    fields->clear();
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        std::string field;
        if (!UnescapeField(line.substr(start, tab == std::string_view::npos ? tab : tab - start), &field))
            return false;
        fields->push_back(std::move(field));
        if (tab == std::string_view::npos) return true;
        start = tab + 1;
    }
}

}  // namespace engine_log
