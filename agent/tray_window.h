#pragma once
// The agent's hidden window: it receives the tray icon's mouse messages, the
// menu's commands and the system's power notices.
#include <windows.h>

#include <string>

#include "win/unique_resource.h"
#include "win/window.h"

class TrayIcon;

class CTrayWindow : public win::Window<CTrayWindow> {
public:
    static constexpr wchar_t kClassName[] = L"Tidepool.TrayWindow";

    explicit CTrayWindow(TrayIcon& icon) : icon_(icon) {}

    // Builds the menu in the user's language and creates the (never shown) window.
    bool Create(HWND parent);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    void ShowMenu();

    TrayIcon& icon_;
    win::unique_hmenu menu_;
    UINT taskbarCreated_ = 0;
};

// The agent's language index: the low 8 bits of the user's interface language.
unsigned AgentLanguageIndex(LANGID language);

// String `base` + index, or the English text where the language has none.
std::wstring LocalizedText(UINT base, unsigned languageIndex);
