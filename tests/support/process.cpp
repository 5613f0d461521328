#include "tests/support/process.h"

#include <tlhelp32.h>

#include <stdexcept>
#include <thread>

namespace testing_support {

Process::Process(const std::filesystem::path& program, const std::wstring& arguments,
                 const std::filesystem::path& workingDir) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        throw std::runtime_error("CreateProcessW failed: " + std::to_string(::GetLastError()));
    }
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    pid_ = info.dwProcessId;
    tid_ = info.dwThreadId;
}

Process::~Process() {
    if (!process_ || !Running()) return;
    // An orderly end first: a killed agent leaves its class registration behind
    // under Wine, which spoils a later COM activation.
    if (::PostThreadMessageW(tid_, WM_QUIT, 0, 0) && ::WaitForSingleObject(process_.get(), 10000) == WAIT_OBJECT_0)
        return;
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
}

bool Process::Running() const { return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

DWORD Process::WaitForExit(std::chrono::milliseconds timeout) {
    ::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count()));
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<DWORD> ChildProcesses(DWORD parentId) {
    std::vector<DWORD> children;
    win::unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return children;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parentId) children.push_back(entry.th32ProcessID);
    }
    return children;
}

bool MutexExists(const wchar_t* name) {
    win::unique_handle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, name));
    return static_cast<bool>(mutex);
}

bool ReadBlock(const wchar_t* name, DWORD* value) {
    win::unique_handle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, name));
    if (!mapping) return false;
    win::unique_view view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(DWORD)));
    if (!view) return false;
    *value = *static_cast<const DWORD*>(view.get());
    return true;
}

}  // namespace testing_support
