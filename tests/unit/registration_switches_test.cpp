#include "agent/registration_switches.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    const wchar_t* commandLine;
    RegistrationSwitch expected;
};

const Case kCases[] = {
    {"none", L"Tidepool.exe", RegistrationSwitch::None},
    {"COM's own switch", L"Tidepool.exe -Embedding", RegistrationSwitch::None},
    {"RegServer", L"Tidepool.exe /RegServer", RegistrationSwitch::RegServer},
    {"any case", L"Tidepool.exe -regserver", RegistrationSwitch::RegServer},
    {"RegServerPerUser", L"Tidepool.exe -RegServerPerUser", RegistrationSwitch::RegServerPerUser},
    {"UnregServerPerUser", L"Tidepool.exe -UnregServerPerUser", RegistrationSwitch::UnregServerPerUser},
    {"Service", L"Tidepool.exe -Service", RegistrationSwitch::Service},
    {"first registration token decides", L"Tidepool.exe -UnregServerPerUser -RegServer",
     RegistrationSwitch::UnregServerPerUser},
    {"RegServer before per-user", L"Tidepool.exe -RegServer -RegServerPerUser", RegistrationSwitch::RegServer},
    {"registration before a Service token", L"Tidepool.exe -Service -RegServerPerUser",
     RegistrationSwitch::RegServerPerUser},
    {"longer words do not match", L"Tidepool.exe -RegServerX -Services", RegistrationSwitch::None},
    {"engine options only", L"Tidepool.exe -console -log -out", RegistrationSwitch::None},
    {"inside the program path", L"C:\\x-RegServer\\Tidepool.exe", RegistrationSwitch::None},
    {"a path part that is the word", L"C:\\x-Service Tidepool.exe", RegistrationSwitch::Service},
};

TEST(RegistrationSwitches, FirstRegistrationTokenDecidesThenService) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, FindRegistrationSwitch(c.commandLine));
    }
    EXPECT_EQ(RegistrationSwitch::None, FindRegistrationSwitch(nullptr));
}

}  // namespace
