#include "agent/pipes.h"

#include <algorithm>

Pipes::~Pipes() { Close(); }

bool Pipes::Redirect(STARTUPINFOW& startup, const std::wstring& fileName) {
    // A second "out" replaces the first capture instead of leaking its pipe.
    Close();
    outputFileName_ = fileName;

    // A null access list grants everyone access to the pipe's handles.
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &attributes, 0)) return false;
    readEnd_.reset(readEnd);
    writeEnd_.reset(writeEnd);
    // Only the write end is the engine's: an engine holding a read end as well
    // would block on a full pipe once the agent stops reading, instead of
    // finding the pipe broken.
    ::SetHandleInformation(readEnd_.get(), HANDLE_FLAG_INHERIT, 0);

    // Replaces everything set before, an earlier "console" switch included.
    ::GetStartupInfoW(&startup);
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd_.get();
    startup.hStdError = writeEnd_.get();
    startup.dwFlags |= STARTF_USESTDHANDLES;

    outputFile_.reset(::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (outputFile_) {
        stopping_ = false;
        readsEnded_ = false;
        reader_.reset(::CreateThread(nullptr, 0, ReaderMain, this, 0, nullptr));
        capturing_ = static_cast<bool>(reader_);
    }
    // With nobody to read it, the pipe would fill and freeze the engine; with no
    // read end left, the engine's writes fail at once and its output is lost.
    if (!capturing_) {
        outputFile_.reset();
        readEnd_.reset();
    }
    return true;
}

void Pipes::EngineStarted() { writeEnd_.reset(); }

void Pipes::Close() {
    if (reader_) StopReader();
    capturing_ = false;
    outputFile_.reset();
    readEnd_.reset();
    writeEnd_.reset();
}

DWORD WINAPI Pipes::ReaderMain(void* self) {
    static_cast<Pipes*>(self)->Drain();
    return 0;
}

void Pipes::Drain() noexcept {
    char buffer[4096];
    DWORD count = 0;
    // Ends when every write end is closed (the engine is gone) or Close cancels the read.
    while (!stopping_ && ::ReadFile(readEnd_.get(), buffer, sizeof(buffer), &count, nullptr)) {
        // A failing file does not stop the reading: the engine must not block.
        Append(buffer, count);
    }
    readsEnded_ = true;

    // What the engine wrote before Close; reading no more than the pipe holds
    // never waits.
    DWORD waiting = 0;
    if (::PeekNamedPipe(readEnd_.get(), nullptr, 0, nullptr, &waiting, nullptr)) {
        while (waiting > 0 &&
               ::ReadFile(readEnd_.get(), buffer, std::min<DWORD>(waiting, sizeof(buffer)), &count,
                          nullptr) &&
               count > 0) {
            Append(buffer, count);
            waiting -= std::min(waiting, count);
        }
    }
    ::FlushFileBuffers(outputFile_.get());
}

void Pipes::Append(const char* bytes, DWORD count) noexcept {
    while (count > 0) {
        DWORD written = 0;
        if (!::WriteFile(outputFile_.get(), bytes, count, &written, nullptr)) {
            // Close's cancellation was meant for the read; these bytes are kept.
            if (::GetLastError() != ERROR_OPERATION_ABORTED) return;
        }
        bytes += written;
        count -= written;
    }
}

void Pipes::StopReader() noexcept {
    stopping_ = true;
    // A read in progress ends only when cancelled. The reader may be just about
    // to start one when a cancellation finds nothing to cancel, so cancel again
    // until it reports that no blocking read follows.
    while (!readsEnded_ && ::WaitForSingleObject(reader_.get(), 10) == WAIT_TIMEOUT)
        ::CancelSynchronousIo(reader_.get());
    ::WaitForSingleObject(reader_.get(), INFINITE);
    reader_.reset();
}
