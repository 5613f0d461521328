#include "common/reply_reader.h"

#include <windows.h>

#include <string_view>

#include "win/text.h"

namespace {

// The only separators; tabs and line breaks belong to tokens.
bool IsDelimiter(wchar_t c) {
    switch (c) {
    case L'{': case L'}': case L'[': case L']': case L':': case L',': case L'"': case L' ':
        return true;
    default:
        return false;
    }
}

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

}  // namespace

std::vector<std::wstring> GetReplyValues(const std::string& key, const std::wstring& reply) {
    const std::wstring wideKey = win::Widen(key, CP_THREAD_ACP);
    std::vector<std::wstring> values;
    bool previousWasKey = false;
    size_t i = 0;
    const size_t n = reply.size();
    for (;;) {
        while (i < n && IsDelimiter(reply[i])) ++i;
        if (i == n) break;
        const size_t start = i;
        while (i < n && !IsDelimiter(reply[i])) ++i;
        std::wstring_view token(reply.data() + start, i - start);
        if (previousWasKey) values.emplace_back(token);
        previousWasKey = EqualsIgnoringAsciiCase(token, wideKey);
    }
    if (previousWasKey) values.emplace_back();
    return values;
}
