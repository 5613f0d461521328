#pragma once
// Messages, commands and identifiers of the agent's tray window and icon.
#include <windows.h>

constexpr UINT kTrayCallbackMessage = WM_USER + 3;  // 1027
constexpr UINT kTrayIconId = 103;
constexpr UINT kCommandLaunch = 0x8001;
constexpr UINT kCommandExit = 0x8000;
