#include "agent/switch_scanner.h"

#include <windows.h>

namespace {

wchar_t Upper(wchar_t c) {
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(
        ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

}  // namespace

const wchar_t* SwitchScanner::Next() {
    if (!next_) return nullptr;
    for (const wchar_t* p = next_; *p; ++p) {
        if (*p == L'-' || *p == L'/') {
            next_ = p + 1;
            return next_;
        }
    }
    next_ = nullptr;
    return nullptr;
}

bool SwitchScanner::Matches(const wchar_t* token, const wchar_t* word) {
    for (; *word; ++token, ++word) {
        if (!*token || Upper(*token) != Upper(*word)) return false;
    }
    return *token == L'\0' || *token == L' ' || *token == L'\t';
}

bool HasSwitch(const wchar_t* commandLine, const wchar_t* word) {
    if (!commandLine) return false;
    SwitchScanner scanner(commandLine);
    while (const wchar_t* token = scanner.Next()) {
        if (SwitchScanner::Matches(token, word)) return true;
    }
    return false;
}
