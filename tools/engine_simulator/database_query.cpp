#include "tools/engine_simulator/database_query.h"

#include <map>

#include "tools/engine_simulator/base64.h"

namespace {

// Reads JSON text: an object whose members all have string values.
class FlatObjectReader {
public:
    explicit FlatObjectReader(std::string_view text) : text_(text) {}

    bool Read(std::map<std::string, std::string>* members) {
        SkipSpace();
        if (!Take('{')) return false;
        SkipSpace();
        if (!Take('}')) {
            for (;;) {
                std::string name, value;
                SkipSpace();
                if (!ReadString(&name)) return false;
                SkipSpace();
                if (!Take(':')) return false;
                SkipSpace();
                if (!ReadString(&value)) return false;
                (*members)[name] = value;
                SkipSpace();
                if (Take('}')) break;
                if (!Take(',')) return false;
            }
        }
        SkipSpace();
        return at_ == text_.size();
    }

private:
    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' ||
                                      text_[at_] == '\n'))
            ++at_;
    }

    bool Take(char c) {
        if (at_ == text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    bool ReadHex4(unsigned* value) {
        if (text_.size() - at_ < 4) return false;
        *value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return false;
            *value = *value * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }

    static void AppendUtf8(unsigned code, std::string* out) {
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xC0 | (code >> 6));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out += static_cast<char>(0xE0 | (code >> 12));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (code >> 18));
            *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool ReadEscape(std::string* out) {
        if (at_ == text_.size()) return false;
        switch (const char c = text_[at_++]) {
            case '"': case '\\': case '/': *out += c; return true;
            case 'b': *out += '\b'; return true;
            case 'f': *out += '\f'; return true;
            case 'n': *out += '\n'; return true;
            case 'r': *out += '\r'; return true;
            case 't': *out += '\t'; return true;
            case 'u': {
                unsigned code = 0;
                if (!ReadHex4(&code)) return false;
                if (code >= 0xDC00 && code < 0xE000) return false;
                if (code >= 0xD800 && code < 0xDC00) {
                    unsigned low = 0;
                    if (!Take('\\') || !Take('u') || !ReadHex4(&low) || low < 0xDC00 || low >= 0xE000) return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(code, out);
                return true;
            }
            default: return false;
        }
    }

    bool ReadString(std::string* out) {
        if (!Take('"')) return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                *out += c;
            } else if (!ReadEscape(out)) {
                return false;
            }
        }
        return false;
    }

    std::string_view text_;
    size_t at_ = 0;
};

}  // namespace

std::optional<DatabaseQuery> ParseDatabaseQuery(std::string_view body) {
    const std::optional<std::string> text = DecodeBase64(body);
    if (!text) return std::nullopt;
    std::map<std::string, std::string> members;
    if (!FlatObjectReader(*text).Read(&members)) return std::nullopt;
    const auto root = members.find("root");
    const auto sql = members.find("sql");
    if (root == members.end() || sql == members.end()) return std::nullopt;
    return DatabaseQuery{root->second, sql->second};
}
