#pragma once
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "win/unique_resource.h"

namespace testing_support {

// A program a test started. Ends it if it still runs when the test is over (by
// WM_QUIT to its main thread, else by its handle), so a failing test never
// leaves its programs behind.
class Process {
public:
    Process(const std::filesystem::path& program, const std::wstring& arguments,
            const std::filesystem::path& workingDir = {});
    ~Process();
    Process(Process&&) = default;

    DWORD pid() const { return pid_; }
    DWORD mainThreadId() const { return tid_; }
    HANDLE handle() const { return process_.get(); }
    bool Running() const;
    // The exit code, or STILL_ACTIVE when it did not end within the time.
    DWORD WaitForExit(std::chrono::milliseconds timeout);

private:
    win::unique_handle process_;
    win::unique_handle thread_;
    DWORD pid_ = 0;
    DWORD tid_ = 0;
};

// Polls every 20 ms until the condition holds; false when the time ran out.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Identifiers of the running processes whose parent is `parentId`.
std::vector<DWORD> ChildProcesses(DWORD parentId);

// True when a mutex of that name exists, found without creating it.
bool MutexExists(const wchar_t* name);

// The value of a 4-byte shared block, opened without creating it; false when
// the block does not exist.
bool ReadBlock(const wchar_t* name, DWORD* value);

}  // namespace testing_support
