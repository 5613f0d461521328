#pragma once
// The engine's two port mappings (8182 and 6565), made and removed on a worker
// thread of their own in the multithreaded COM apartment.
//
// The worker owns the mappers and is the only thread that touches them: it
// makes the mappings when asked, stays until asked to remove them, and then
// destroys the mappers, which removes the mappings, in the apartment they were
// made in. A caller that stops waiting for a slow sharing manager therefore
// never frees anything the worker still uses.
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "agent/port_mapper.h"

class EnginePortMapping {
public:
    explicit EnginePortMapping(ICWPortMapper::Sink sink = ICWPortMapper::PrintToStandardOutput);
    // Removes the mappings.
    virtual ~EnginePortMapping();
    EnginePortMapping(const EnginePortMapping&) = delete;
    EnginePortMapping& operator=(const EnginePortMapping&) = delete;

    // Maps 8182, then 6565, and waits at most timeoutMs for both. False on time-out;
    // the mapping then goes on and ends by itself.
    bool Start(DWORD timeoutMs);

    // Removes the mappings and ends the worker, first waiting for a mapping still
    // in progress (however long the sharing manager takes). Nothing when no
    // worker runs.
    void Remove();

private:
    void Serve() noexcept;

    ICWPortMapper::Sink sink_;
    std::mutex lock_;
    std::condition_variable changed_;
    unsigned requested_ = 0;  // mapping runs asked for
    unsigned done_ = 0;       // mapping runs finished
    bool removing_ = false;
    std::thread worker_;
};
