// A stand-in for the engine: serves the engine's HTTP requests on
// 127.0.0.1:8182 from the state in "engine-state.txt" and logs each request to
// "engine-requests.log", both in its working folder. It accepts and ignores the
// engine's command line, so it can stand in as the private runtime.
// Winsock's header must come before windows.h.
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "tools/engine_simulator/engine_server.h"
#include "tools/engine_simulator/request_log.h"
#include "win/text.h"

namespace {

std::wstring WorkingFolder() {
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The queue must exist before anyone can post WM_QUIT to this thread.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    const std::wstring folder = WorkingFolder();
    RequestLog log(folder + L"\\engine-requests.log");
    log.Write({"START", win::Narrow(::GetCommandLineW()), win::Narrow(folder)});

    EngineServer server(log, folder + L"\\engine-state.txt", ::GetCurrentThreadId());
    if (!server.Start()) {
        log.Write({"EXIT", "cannot serve", "1"});
        return 1;
    }
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    const int code = got == 0 ? static_cast<int>(msg.wParam) : 1;
    server.Stop();
    const std::string reason = server.EndReason();
    log.Write({"EXIT", reason.empty() ? "WM_QUIT" : reason, std::to_string(code)});
    return code;
}
