#pragma once
// Base of each program's module object: COM on the main thread for the object's
// life, the command-line step, and the run with its pre-loop and post-loop hooks.
#include <windows.h>

namespace win {

class Module {
public:
    Module() noexcept;
    virtual ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // The program's exit code: -1 when COM could not be initialized, else the
    // command-line step's result or what Start returns.
    int WinMain(int showCommand);

protected:
    // True to go on to Start; false ends the program with *result.
    virtual bool ParseCommandLine(const wchar_t* commandLine, HRESULT* result);
    virtual HRESULT Start(int showCommand);
    // Pre-loop step, message loop, post-loop step. A pre-loop result other
    // than S_OK skips the loop and the post-loop step and is the result.
    virtual HRESULT Run(int showCommand);
    virtual HRESULT PreMessageLoop(int showCommand);
    virtual void RunMessageLoop();
    // Pauses kShutdownPauseMs; a program revokes its class objects before it.
    virtual HRESULT PostMessageLoop();

    DWORD MainThreadId() const noexcept { return mainThreadId_; }

    static constexpr DWORD kShutdownPauseMs = 1000;

private:
    HRESULT comInit_;
    DWORD mainThreadId_ = 0;
};

}  // namespace win
