#include "agent/switch_scanner.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    const wchar_t* commandLine;
    const wchar_t* word;
    bool expected;
};

const Case kCases[] = {
    {"dash", L"Tidepool.exe -uninstall", L"uninstall", true},
    {"slash", L"Tidepool.exe /uninstall", L"uninstall", true},
    {"any case", L"Tidepool.exe -UnInStAlL", L"uninstall", true},
    {"word in capitals", L"Tidepool.exe -regserver", L"RegServer", true},
    {"no introducer", L"Tidepool.exe uninstall", L"uninstall", false},
    {"absent", L"Tidepool.exe -log", L"uninstall", false},
    {"empty line", L"", L"log", false},
    {"inside program path", L"C:\\a-log\\Tidepool.exe", L"log", false},
    {"path component that is the word", L"C:\\x-log Tidepool.exe", L"log", true},
    {"path with slash", L"C:/log/Tidepool.exe", L"log", false},
    {"longer word", L"Tidepool.exe -logging", L"log", false},
    {"UnregServerPerUser is not UnregServer", L"Tidepool.exe -UnregServerPerUser", L"UnregServer", false},
    {"UnregServerPerUser matches itself", L"Tidepool.exe -UnregServerPerUser", L"UnregServerPerUser", true},
    {"shorter token", L"Tidepool.exe -lo", L"log", false},
    {"blank ends token", L"Tidepool.exe -log -out x", L"log", true},
    {"tab ends token", L"Tidepool.exe -log\t-out", L"log", true},
    {"other characters do not end a token", L"Tidepool.exe -log,-out", L"log", false},
    {"introducer doubled", L"Tidepool.exe --log", L"log", true},
    {"second switch found", L"Tidepool.exe -console /log", L"log", true},
    {"dash inside a token starts another", L"Tidepool.exe -x-log", L"log", true},
    {"quoted program path", L"\"C:\\Program Files\\Tidepool.exe\" /Service", L"Service", true},
};

TEST(SwitchScanner, MatchesSwitchWords) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, HasSwitch(c.commandLine, c.word));
    }
}

TEST(SwitchScanner, NullCommandLineHasNoSwitch) { EXPECT_FALSE(HasSwitch(nullptr, L"log")); }

TEST(SwitchScanner, TokensStartAfterEveryIntroducer) {
    const wchar_t* line = L"a -b /c -";
    SwitchScanner scanner(line);
    EXPECT_EQ(line + 3, scanner.Next());
    EXPECT_EQ(line + 6, scanner.Next());
    EXPECT_EQ(line + 9, scanner.Next());  // an introducer at the very end gives an empty token
    EXPECT_EQ(nullptr, scanner.Next());
    EXPECT_EQ(nullptr, scanner.Next());
}

}  // namespace
