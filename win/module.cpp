#include "win/module.h"

namespace win {

Module::Module() noexcept : comInit_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

Module::~Module() {
    if (SUCCEEDED(comInit_)) ::CoUninitialize();
}

int Module::WinMain(int showCommand) {
    if (FAILED(comInit_)) return -1;
    HRESULT result = S_OK;
    if (!ParseCommandLine(::GetCommandLineW(), &result)) return static_cast<int>(result);
    return static_cast<int>(Start(showCommand));
}

bool Module::ParseCommandLine(const wchar_t*, HRESULT* result) {
    *result = S_OK;
    return true;
}

HRESULT Module::Start(int showCommand) { return Run(showCommand); }

HRESULT Module::Run(int showCommand) {
    HRESULT hr = PreMessageLoop(showCommand);
    if (hr != S_OK) return hr;
    RunMessageLoop();
    return PostMessageLoop();
}

HRESULT Module::PreMessageLoop(int) {
    mainThreadId_ = ::GetCurrentThreadId();
    return S_OK;
}

void Module::RunMessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

HRESULT Module::PostMessageLoop() {
    // Calls still in flight on other threads get time to finish before COM goes.
    ::Sleep(kShutdownPauseMs);
    return S_OK;
}

}  // namespace win
