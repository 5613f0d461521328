#pragma once
// Presence of a named mutex is tested by creating it and looking for
// ERROR_ALREADY_EXISTS; a prober that does not own the name closes its handle at once.
#include <windows.h>

#include "win/unique_resource.h"

namespace names {

struct MutexProbe {
    win::unique_handle handle;
    bool present;  // no handle came back, or the mutex existed already
};

MutexProbe ProbeMutex(const wchar_t* name);

// One-time probe: true when the mutex exists (or cannot be had at all).
bool IsMutexPresent(const wchar_t* name);

// Waiting-loop probe: true when a probe creates the mutex anew or gets no handle,
// checked every 50 ms for at most timeoutMs.
bool WaitForMutexGone(const wchar_t* name, DWORD timeoutMs);

}  // namespace names
