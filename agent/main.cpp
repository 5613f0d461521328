#include <windows.h>

#include "agent/agent_module.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    CTandelsModule module;
    return module.WinMain(showCommand);
}
