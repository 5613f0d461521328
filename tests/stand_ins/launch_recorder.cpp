// A stand-in for a program the agent starts. It appends its command line and
// working folder, as UTF-8, to "<its own path>.log", and writes the same line to
// its standard output and "stderr" to its standard error when it has them
// (before the log, so once the log has the line, the output is on its way). Named like the engine's
// runtime ("java…"), it then stays, as the engine would, until WM_QUIT reaches
// its main thread (logged with the tick count), or ignores that message when a
// file "<its own path>.ignore-quit" exists; it never stays longer than two minutes.
#include <windows.h>

#include <string>

#include "win/text.h"

namespace {

constexpr UINT kLifetimeMs = 120000;

void Append(const std::wstring& logPath, const std::string& line) {
    HANDLE log = ::CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(log);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t buffer[MAX_PATH];
    ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    const std::wstring self = buffer;
    ::GetCurrentDirectoryW(MAX_PATH, buffer);
    const std::wstring log = self + L".log";
    const std::string start = "start\t" + win::Narrow(::GetCommandLineW()) + "\t" + win::Narrow(buffer) + "\n";
    DWORD written = 0;
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) ::WriteFile(out, start.data(), static_cast<DWORD>(start.size()), &written, nullptr);
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) ::WriteFile(err, "stderr\n", 7, &written, nullptr);
    // Last, so a reader of the log knows the output went out before.
    Append(log, start);

    const std::wstring name = self.substr(self.rfind(L'\\') + 1);
    if (_wcsnicmp(name.c_str(), L"java", 4) != 0) return 0;

    const bool ignoreQuit = ::GetFileAttributesW((self + L".ignore-quit").c_str()) != INVALID_FILE_ATTRIBUTES;
    ::SetTimer(nullptr, 0, kLifetimeMs, nullptr);
    for (;;) {
        MSG msg;
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            Append(log, "quit\t" + std::to_string(::GetTickCount()) + "\n");
            if (!ignoreQuit) return 0;
            continue;
        }
        if (got < 0 || msg.message == WM_TIMER) return 2;
        ::DispatchMessageW(&msg);
    }
}
