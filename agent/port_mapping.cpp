#include "agent/port_mapping.h"

#include <chrono>
#include <optional>
#include <system_error>

namespace {

constexpr USHORT kEnginePort = 8182;
constexpr USHORT kEngineSecondPort = 6565;

}  // namespace

EnginePortMapping::EnginePortMapping(ICWPortMapper::Sink sink) : sink_(std::move(sink)) {}

EnginePortMapping::~EnginePortMapping() { Remove(); }

bool EnginePortMapping::Start(DWORD timeoutMs) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!worker_.joinable()) {
        removing_ = false;
        requested_ = done_ = 0;
        try {
            worker_ = std::thread(&EnginePortMapping::Serve, this);
        } catch (const std::system_error&) {
            return false;
        }
    }
    const unsigned run = ++requested_;
    changed_.notify_all();
    return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return done_ >= run; });
}

void EnginePortMapping::Remove() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        removing_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void EnginePortMapping::Serve() noexcept {
    // The worker's own apartment: the agent's main thread is single-threaded and
    // busy starting the engine while the mapping runs.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    try {
        // Built and destroyed here, so their COM objects never leave this apartment.
        std::optional<ICWPortMapper> engine;
        std::optional<ICWPortMapper> second;
        engine.emplace(kEnginePort, kEnginePort, sink_);
        second.emplace(kEngineSecondPort, kEngineSecondPort, sink_);

        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            changed_.wait(hold, [&] { return removing_ || done_ != requested_; });
            if (removing_) break;
            const unsigned run = requested_;
            hold.unlock();
            engine->mapPort();
            second->mapPort();
            hold.lock();
            done_ = run;
            changed_.notify_all();
        }
        hold.unlock();
        engine.reset();
        second.reset();
    } catch (...) {
        // Best effort: a failure here only leaves the ports unmapped.
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
}
