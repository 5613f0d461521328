#include "agent/tray_window.h"

#include "agent/agent_ids.h"
#include "agent/engine_manager.h"
#include "agent/engine_requests.h"
#include "agent/resource_ids.h"
#include "agent/tray_icon.h"
#include "win/com_error.h"
#include "win/resource_string.h"

namespace {

constexpr unsigned kEnglishIndex = 9;

void LaunchShellQuietly() {
    try {
        TandelMgr::Instance().LaunchShell(false);
    } catch (const win::com_error&) {
        // No manager, no shell: a click changes nothing then.
    }
}

}  // namespace

unsigned AgentLanguageIndex(LANGID language) { return language & 0xFF; }

std::wstring LocalizedText(UINT base, unsigned languageIndex) {
    std::wstring text = win::LoadResourceString(base + languageIndex, 260);
    // Greek, Hungarian and others have no texts: an empty item would be useless.
    return text.empty() ? win::LoadResourceString(base + kEnglishIndex, 260) : text;
}

bool CTrayWindow::Create(HWND parent) {
    menu_.reset(::CreatePopupMenu());
    if (menu_) {
        const unsigned index = AgentLanguageIndex(::GetUserDefaultUILanguage());
        ::AppendMenuW(menu_.get(), MF_BYPOSITION, kCommandLaunch, LocalizedText(IDS_LAUNCH_BASE, index).c_str());
        ::AppendMenuW(menu_.get(), MF_BYPOSITION, kCommandExit, LocalizedText(IDS_EXIT_BASE, index).c_str());
    }
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    return CreateWindowOf(parent, WS_POPUP);
}

LRESULT CTrayWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMSUSPEND) SendNotification("sync", "cancel");
        return TRUE;
    case kTrayCallbackMessage:
        switch (LOWORD(lParam)) {
        case WM_RBUTTONDOWN:
            ShowMenu();
            break;
        case WM_LBUTTONDBLCLK:
            LaunchShellQuietly();
            break;
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCommandLaunch) {
            LaunchShellQuietly();
            return TRUE;
        }
        if (LOWORD(wParam) == kCommandExit) {
            ::PostQuitMessage(0);
            return TRUE;
        }
        break;
    default:
        if (message == taskbarCreated_ && taskbarCreated_) {
            icon_.AddAgainIfShown();
            return TRUE;
        }
        break;
    }
    return ::DefWindowProcW(hwnd(), message, wParam, lParam);
}

void CTrayWindow::ShowMenu() {
    if (!menu_) return;
    POINT cursor;
    ::GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks
    // elsewhere; the null message lets it close on the next click (KB135788).
    ::SetForegroundWindow(hwnd());
    ::TrackPopupMenu(menu_.get(), 0, cursor.x, cursor.y, 0, hwnd(), nullptr);
    ::PostMessageW(hwnd(), WM_NULL, 0, 0);
}
