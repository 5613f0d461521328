#include "agent/tray_icon.h"

#include "agent/agent_ids.h"
#include "agent/resource_ids.h"

#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAW) == 956, "the full record as of Windows Vista");
#endif

TrayIcon::~TrayIcon() { Delete(); }

void TrayIcon::Update(DWORD message, HWND window, const std::wstring& tooltip) {
    if (record_.hIcon) ::DestroyIcon(record_.hIcon);
    record_ = {};
    record_.cbSize = sizeof(record_);
    record_.hWnd = window;
    record_.uID = kTrayIconId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = kTrayCallbackMessage;
    record_.hIcon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY),
                                                    IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    // The tip holds 127 characters and its terminator.
    lstrcpynW(record_.szTip, tooltip.c_str(), ARRAYSIZE(record_.szTip));
    ::Shell_NotifyIconW(message, &record_);
}

void TrayIcon::Add(HWND window, const std::wstring& tooltip) {
    tooltip_ = tooltip;
    Update(NIM_ADD, window, tooltip_);
    added_ = true;
}

void TrayIcon::Delete() {
    if (!added_) return;
    Update(NIM_DELETE, record_.hWnd, tooltip_);
    ::DestroyIcon(record_.hIcon);
    record_.hIcon = nullptr;
    added_ = false;
}

void TrayIcon::AddAgainIfShown() {
    if (added_) Update(NIM_ADD, record_.hWnd, tooltip_);
}
