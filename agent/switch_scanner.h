#pragma once
// The agent's command-line switches: a token starts after any "-" or "/", even one
// inside the program's own path, and matches a switch word, ignoring case, only
// when it ends where the word ends (at the end of the text, a blank or a tab).

class SwitchScanner {
public:
    explicit SwitchScanner(const wchar_t* commandLine) : next_(commandLine) {}

    // The next token's first character, or nullptr when there is none. The token
    // runs to the end of the text; the following search starts right after the
    // token's introducer, so tokens may overlap.
    const wchar_t* Next();

    static bool Matches(const wchar_t* token, const wchar_t* word);

private:
    const wchar_t* next_;
};

bool HasSwitch(const wchar_t* commandLine, const wchar_t* word);
