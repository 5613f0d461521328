#pragma once
// The agent's icon in the notification area. It keeps its record, so it can be
// added again when the taskbar restarts.
#include <windows.h>
#include <shellapi.h>

#include <string>

class TrayIcon {
public:
    TrayIcon() = default;
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Fills the record anew and passes it to the shell with `message` (NIM_ADD,
    // NIM_DELETE); the shell's verdict is not looked at.
    void Update(DWORD message, HWND window, const std::wstring& tooltip);
    void Add(HWND window, const std::wstring& tooltip);
    void Delete();
    // After a taskbar restart the shell has forgotten the icon.
    void AddAgainIfShown();

    bool added() const { return added_; }

private:
    NOTIFYICONDATAW record_ = {};
    std::wstring tooltip_;
    bool added_ = false;
};
