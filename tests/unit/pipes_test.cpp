#include "agent/pipes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/process.h"
#include "win/unique_resource.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kRecordSize = 10;  // "O00000000\n"
constexpr unsigned kManyRecords = 400000;  // 4 MB per stream: far beyond any pipe buffer

fs::path TempFile(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return fs::path(temp) / (L"pipes-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + name);
}

// Removes the test's output file (or folder) however the test ends.
struct ScopedFile {
    explicit ScopedFile(const wchar_t* name) : path(TempFile(name)) {}
    ~ScopedFile() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uintmax_t SizeOf(const fs::path& path) {
    std::error_code error;
    uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

std::string Records(char tag, unsigned count) {
    std::string text;
    text.reserve(count * kRecordSize);
    char record[16];
    for (unsigned i = 0; i < count; ++i) {
        std::snprintf(record, sizeof(record), "%c%08u\n", tag, i);
        text += record;
    }
    return text;
}

// The stand-in engine, started as the engine manager starts the engine: with the
// start-up information Redirect filled and handle inheritance on. Ended by its
// handle if it still runs when the test is over.
class Child {
public:
    Child(STARTUPINFOW& startup, const std::wstring& arguments) {
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        const fs::path program = fs::path(self).parent_path() / L"pipe_child.exe";
        std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
        PROCESS_INFORMATION info = {};
        started_ = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                    nullptr, nullptr, &startup, &info);
        process_.reset(info.hProcess);
        thread_.reset(info.hThread);
    }
    ~Child() {
        if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.get(), 1);
            ::WaitForSingleObject(process_.get(), 5000);
        }
    }
    bool started() const { return started_; }
    bool Running() const { return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // The exit code, or STILL_ACTIVE when the child has not ended by then: a
    // child blocked on a full pipe never ends.
    DWORD WaitForExit(DWORD timeoutMs) const {
        ::WaitForSingleObject(process_.get(), timeoutMs);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    bool started_ = false;
    win::unique_handle process_;
    win::unique_handle thread_;
};

TEST(Pipes, RedirectEmptiesTheFileAndHandsTheWriteEndOver) {
    ScopedFile file(L"existing.txt");
    { std::ofstream(file.path, std::ios::binary) << "output of an earlier run"; }

    STARTUPINFOW own = {};
    own.cb = sizeof(own);
    ::GetStartupInfoW(&own);
    // As an earlier "console" switch leaves it; all of it is replaced.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(own.wShowWindow == SW_SHOW ? SW_HIDE : SW_SHOW);
    startup.hStdInput = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(0xdeadbeef));

    Pipes pipes;
    ASSERT_TRUE(pipes.Redirect(startup, file.path.wstring()));
    EXPECT_TRUE(pipes.capturing());
    EXPECT_EQ(file.path.wstring(), pipes.outputFileName());
    EXPECT_EQ(0u, SizeOf(file.path));

    EXPECT_EQ(own.cb, startup.cb);
    EXPECT_EQ(own.dwFlags | STARTF_USESTDHANDLES, startup.dwFlags);
    EXPECT_EQ(own.wShowWindow, startup.wShowWindow);
    EXPECT_EQ(nullptr, startup.hStdInput);
    EXPECT_NE(nullptr, startup.hStdOutput);
    EXPECT_EQ(startup.hStdOutput, startup.hStdError);
    DWORD flags = 0;
    ASSERT_TRUE(::GetHandleInformation(startup.hStdOutput, &flags));
    EXPECT_TRUE(flags & HANDLE_FLAG_INHERIT);

    // Once the engine holds its copy the agent's own goes, so the pipe ends with
    // the engine and later children of the agent do not inherit it.
    pipes.EngineStarted();
    EXPECT_FALSE(::GetHandleInformation(startup.hStdOutput, &flags));
    EXPECT_TRUE(pipes.capturing());
    pipes.Close();
}

struct OutputCase {
    const char* name;
    const wchar_t* mode;
};

TEST(Pipes, EveryByteTheChildWritesArrivesWhileItRuns) {
    const OutputCase cases[] = {{"standard output only", L"stdout"},
                                {"standard output and error", L"both"}};
    for (const OutputCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFile file(L"many.txt");
        Pipes pipes;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(pipes.Redirect(startup, file.path.wstring()));
        Child child(startup, std::wstring(c.mode) + L" " + std::to_wstring(kManyRecords));
        pipes.EngineStarted();
        ASSERT_TRUE(child.started());

        // Megabytes through a pipe of a few kilobytes: only a reader that keeps
        // copying lets the child finish.
        EXPECT_EQ(0u, child.WaitForExit(120000));
        const bool both = std::wstring(c.mode) == L"both";
        const uintmax_t expectedSize = (both ? 2u : 1u) * kManyRecords * kRecordSize;
        // The copy completes without Close: the reader sees the pipe end.
        EXPECT_TRUE(testing_support::WaitUntil([&] { return SizeOf(file.path) == expectedSize; },
                                               std::chrono::seconds(30)));
        pipes.Close();

        const std::string text = ReadAll(file.path);
        ASSERT_EQ(expectedSize, text.size());
        if (!both) {
            EXPECT_TRUE(text == Records('O', kManyRecords)) << "bytes out of order or altered";
            continue;
        }
        // The two streams interleave by blocks; each keeps its own order.
        unsigned next[2] = {0, 0};
        for (size_t at = 0; at < text.size(); at += kRecordSize) {
            const std::string record = text.substr(at, kRecordSize);
            ASSERT_TRUE(record[0] == 'O' || record[0] == 'E') << "at " << at;
            unsigned& expected = next[record[0] == 'E'];
            char wanted[16];
            std::snprintf(wanted, sizeof(wanted), "%c%08u\n", record[0], expected);
            ASSERT_EQ(std::string(wanted), record) << "at " << at;
            ++expected;
        }
        EXPECT_EQ(kManyRecords, next[0]);
        EXPECT_EQ(kManyRecords, next[1]);
    }
}

TEST(Pipes, CloseWhileTheChildStillRunsKeepsWhatItWrote) {
    ScopedFile file(L"held.txt");
    Pipes pipes;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(pipes.Redirect(startup, file.path.wstring()));
    Child child(startup, L"hold 1000");
    pipes.EngineStarted();
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return SizeOf(file.path) == 1000 * kRecordSize; },
                                           std::chrono::seconds(30)));

    // The child keeps its write end for a minute: Close must not wait for it.
    pipes.Close();
    EXPECT_TRUE(child.Running());
    EXPECT_FALSE(pipes.capturing());
    EXPECT_EQ(Records('O', 1000), ReadAll(file.path));
    // The file is no longer held: it opens without sharing.
    win::unique_hfile reopened(::CreateFileW(file.path.c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(reopened);
}

TEST(Pipes, SecondCloseDoesNothing) {
    ScopedFile file(L"twice.txt");
    Pipes pipes;
    pipes.Close();  // never redirected
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(pipes.Redirect(startup, file.path.wstring()));
    pipes.Close();
    EXPECT_FALSE(pipes.capturing());
    pipes.Close();
    EXPECT_FALSE(pipes.capturing());
    EXPECT_TRUE(fs::exists(file.path));
}

TEST(Pipes, SecondRedirectEndsTheFirstCapture) {
    ScopedFile first(L"first.txt");
    ScopedFile second(L"second.txt");
    Pipes pipes;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(pipes.Redirect(startup, first.path.wstring()));
    ASSERT_TRUE(pipes.Redirect(startup, second.path.wstring()));
    EXPECT_TRUE(pipes.capturing());
    EXPECT_EQ(second.path.wstring(), pipes.outputFileName());
    // The first file is closed: it opens without sharing.
    win::unique_hfile reopened(::CreateFileW(first.path.c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(reopened);

    Child child(startup, L"stdout 100");
    pipes.EngineStarted();
    ASSERT_TRUE(child.started());
    EXPECT_EQ(0u, child.WaitForExit(60000));
    pipes.Close();
    EXPECT_EQ(Records('O', 100), ReadAll(second.path));
    EXPECT_EQ(0u, SizeOf(first.path));
}

TEST(Pipes, FileThatCannotBeCreatedLeavesThePipeWithoutCapture) {
    // A folder of that name: the file cannot be created, and the folder and its
    // content stay as they are.
    ScopedFile folder(L"folder");
    fs::create_directory(folder.path);
    { std::ofstream(folder.path / L"inside.txt") << "kept"; }

    Pipes pipes;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(pipes.Redirect(startup, folder.path.wstring()));
    EXPECT_FALSE(pipes.capturing());
    EXPECT_TRUE(startup.dwFlags & STARTF_USESTDHANDLES);
    EXPECT_NE(nullptr, startup.hStdOutput);

    // Nobody reads the pipe, yet the child does not block: its writes fail.
    Child child(startup, L"stdout " + std::to_wstring(kManyRecords));
    pipes.EngineStarted();
    ASSERT_TRUE(child.started());
    EXPECT_EQ(2u, child.WaitForExit(120000));
    pipes.Close();
    pipes.Close();

    EXPECT_TRUE(fs::is_directory(folder.path));
    EXPECT_EQ("kept", ReadAll(folder.path / L"inside.txt"));
}

}  // namespace
