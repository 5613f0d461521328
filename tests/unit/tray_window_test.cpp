#include "agent/tray_window.h"

#include <gtest/gtest.h>

#include "agent/resource_ids.h"

namespace {

TEST(TrayWindow, LanguageIndexIsTheLowByteOfTheLanguage) {
    EXPECT_EQ(9u, AgentLanguageIndex(0x0409));
    EXPECT_EQ(4u, AgentLanguageIndex(0x0404));
    EXPECT_EQ(4u, AgentLanguageIndex(0x0804));
    EXPECT_EQ(22u, AgentLanguageIndex(0x0416));
    EXPECT_EQ(22u, AgentLanguageIndex(0x0816));
}

// The agent's string table is linked into this test program.
TEST(TrayWindow, MenuTextsInTheUsersLanguage) {
    struct Case {
        LANGID language;
        const wchar_t* launch;
        const wchar_t* exit;
    };
    const Case cases[] = {
        {0x0409, L"Launch KX Tidepool", L"Exit"},
        {0x0809, L"Launch KX Tidepool", L"Exit"},
        {0x0404, L"\u542f\u52a8KX Tidepool", L"\u9000\u51fa"},
        {0x0416, L"Iniciar KX Tidepool", L"Sair"},
        {0x0407, L"Starten", L"Beenden"},
        {0x0405, L"Spustit", L"Ukon\u00e8it"},
        {0x040B, L"K\u00e4ynnist\u00e4 KX Tidepool", L"Sulje"},
        {0x0419, L"\u0417\u0430\u043f\u0443\u0441\u043a KX Tidepool", L"\u0412\u044b\u0445\u043e\u0434"},
        {0x041E, L"\u0e40\u0e23\u0e35\u0e22\u0e01\u0e43\u0e0a\u0e49  KX Tidepool", L"\u0e2d\u0e2d\u0e01"},
        // No texts for Greek or Hungarian: English rather than empty items.
        {0x0408, L"Launch KX Tidepool", L"Exit"},
        {0x040E, L"Launch KX Tidepool", L"Exit"},
        {0x0000, L"Launch KX Tidepool", L"Exit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "language 0x" << c.language);
        const unsigned index = AgentLanguageIndex(c.language);
        EXPECT_EQ(c.launch, LocalizedText(IDS_LAUNCH_BASE, index));
        EXPECT_EQ(c.exit, LocalizedText(IDS_EXIT_BASE, index));
    }
}

}  // namespace
