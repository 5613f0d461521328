#pragma once
// The engine's output capture: an anonymous pipe whose write end the engine
// inherits as its standard output and error, and a reader thread that copies the
// pipe into the output file for as long as the engine writes.
//
// A pipe nobody reads freezes the engine once its buffer is full, and a reader
// that shares the pipe with a write end of its own never sees the pipe end; so
// the copying runs all the time on a thread of its own, and the agent lets go of
// its write end as soon as the engine holds one.
#include <windows.h>

#include <atomic>
#include <string>

#include "win/unique_resource.h"

class Pipes {
public:
    Pipes() = default;
    virtual ~Pipes();
    Pipes(const Pipes&) = delete;
    Pipes& operator=(const Pipes&) = delete;

    // Makes the pipe and replaces `startup` with the agent's own start-up
    // information carrying the pipe's write end as standard output and error
    // (standard input null). Then creates `fileName` anew and starts copying.
    // True when the pipe was made; `startup` is untouched when it was not. An
    // earlier capture of this object ends first.
    bool Redirect(STARTUPINFOW& startup, const std::wstring& fileName);

    // To be called right after CreateProcessW for the engine, whether it
    // succeeded or not: the agent's own write end goes, so the pipe ends when
    // the engine (and whatever inherited its handles) is gone, and no other
    // program the agent starts inherits it.
    void EngineStarted();

    // Stops the copying, also while the engine still writes, keeping every byte
    // already taken from the pipe, and closes the pipe and the file. A second
    // Close does nothing.
    void Close();

    bool capturing() const { return capturing_; }
    const std::wstring& outputFileName() const { return outputFileName_; }

private:
    static DWORD WINAPI ReaderMain(void* self);
    // The reader's work: copies the pipe into the file until the pipe ends or
    // Close stops it, then what was waiting at that moment.
    void Drain() noexcept;
    void Append(const char* bytes, DWORD count) noexcept;
    void StopReader() noexcept;

    bool capturing_ = false;
    std::wstring outputFileName_;
    win::unique_handle readEnd_;
    win::unique_handle writeEnd_;
    win::unique_hfile outputFile_;
    win::unique_handle reader_;
    std::atomic<bool> stopping_{false};
    // Set by the reader once it starts no more reads that could block.
    std::atomic<bool> readsEnded_{false};
};
