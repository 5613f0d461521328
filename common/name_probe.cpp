#include "common/name_probe.h"

namespace names {

MutexProbe ProbeMutex(const wchar_t* name) {
    HANDLE h = ::CreateMutexW(nullptr, FALSE, name);
    bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    return {win::unique_handle(h), h == nullptr || existed};
}

bool IsMutexPresent(const wchar_t* name) { return ProbeMutex(name).present; }

bool WaitForMutexGone(const wchar_t* name, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        ::Sleep(50);
        HANDLE h = ::CreateMutexW(nullptr, FALSE, name);
        bool gone = h == nullptr || ::GetLastError() != ERROR_ALREADY_EXISTS;
        if (h) ::CloseHandle(h);
        if (gone) return true;
        if (::GetTickCount() - start >= timeoutMs) return false;
    }
}

}  // namespace names
