#include "agent/engine_manager.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include "agent/engine_requests.h"
#include "agent/resource_ids.h"
#include "agent/switch_scanner.h"
#include "common/engine_client.h"
#include "common/install_location.h"
#include "common/name_probe.h"
#include "common/shared_names.h"
#include "common/user_identity.h"
#include "win/com_error.h"
#include "win/resource_string.h"

namespace {

constexpr UINT_PTR kWatchTimerId = 8182;
constexpr UINT kWatchPeriodMs = 20000;
constexpr DWORD kPortMappingWaitMs = 3000;
constexpr int kHandshakeAttempts = 20;
constexpr DWORD kHandshakePauseMs = 500;
// The engine gets this long to act on the shut-down request and WM_QUIT.
constexpr DWORD kEngineStopWaitMs = 1500;

// The runtime refuses a heap of 0 MiB, which a machine reporting no memory
// figure, or under 4 MiB free, would otherwise ask for.
constexpr int kMinHeapUnits = 16;
constexpr int kMaxHeapUnits = 48;

constexpr char kPipeNotice[] = "event=uninitialize\r\ncookie=40817";  // sent with its zero byte
static_assert(sizeof(kPipeNotice) == 33);

std::unique_ptr<TandelMgr>& Holder() {
    // Outlives the module object: destroyed when the process ends.
    static std::unique_ptr<TandelMgr> holder;
    return holder;
}

uint64_t AvailablePhysicalMemory() {
    using GlobalMemoryStatusExFn = BOOL(WINAPI*)(LPMEMORYSTATUSEX);
    HMODULE kernel = ::LoadLibraryW(L"kernel32.dll");
    if (!kernel) return 0;
    uint64_t available = 0;
    auto query = reinterpret_cast<GlobalMemoryStatusExFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "GlobalMemoryStatusEx")));
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (query && query(&status)) available = status.ullAvailPhys;
    ::FreeLibrary(kernel);
    return available;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

bool FileExists(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    win::unique_find search(::FindFirstFileW(path.c_str(), &data));
    return static_cast<bool>(search);
}

// A path with a blank at the front of a command line would be split there, and
// another program named like its first words could be started instead.
std::wstring QuotedIfBlank(const std::wstring& path) {
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

// The output file an "out" switch names: the rest of the command line after the
// first blank that follows the switch, beside the agent when it names no folder.
// Empty when no file is named.
std::wstring OutputFileName(const wchar_t* token) {
    const wchar_t* blank = wcschr(token, L' ');
    if (!blank || !blank[1]) return L"";
    const std::wstring name = blank + 1;
    wchar_t drive[6], folder[512], file[512], extension[512];
    if (_wsplitpath_s(name.c_str(), drive, 6, folder, 512, file, 512, extension, 512) != 0) return L"";
    return folder[0] ? name : install::GetModuleFolder() + L"\\" + name;
}

std::wstring IdentityArgument() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
    win::unique_handle owner(token);
    return L"sid=" + identity::GetUserSidString(token);
}

void Handshake() {
    // One path for every attempt of this start.
    char path[64];
    std::snprintf(path, sizeof(path), "/initialize/?random=%d", static_cast<int>(::GetTickCount()));
    for (int attempt = 0; attempt < kHandshakeAttempts; ++attempt) {
        try {
            std::wstring reply;
            SendEngineRequest(path, "", &reply, false);
            return;  // any answer at all means the engine listens
        } catch (const win::com_error&) {
            ::Sleep(kHandshakePauseMs);
        }
    }
}

void SendPipeNotice() {
    win::unique_hfile pipe(::CreateFileA("\\\\.\\pipe\\tandelsMAPI", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    if (!pipe) return;
    DWORD written = 0;
    ::WriteFile(pipe.get(), kPipeNotice, sizeof(kPipeNotice), &written, nullptr);
}

}  // namespace

std::wstring HeapOptions(uint64_t availableBytes) {
    uint64_t units = availableBytes / (4u << 20);
    if (units > kMaxHeapUnits) units = kMaxHeapUnits;
    if (units < kMinHeapUnits) units = kMinHeapUnits;
    wchar_t text[64];
    std::swprintf(text, 64, L" -Xms%dm -Xmx%dm ", static_cast<int>(units), static_cast<int>(2 * units));
    return text;
}

TandelMgr& TandelMgr::Instance() {
    if (!Holder()) Holder().reset(new TandelMgr());
    return *Holder();
}

TandelMgr* TandelMgr::Existing() { return Holder().get(); }

TandelMgr::TandelMgr() {
    readyEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, names::kEngineReadyEvent));
    if (!readyEvent_) throw win::com_error(win::hresult_from_last_error());

    engineJob_.reset(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (engineJob_ && !::SetInformationJobObject(engineJob_.get(), JobObjectExtendedLimitInformation, &limits,
                                                 sizeof(limits))) {
        engineJob_.reset();
    }
}

TandelMgr::~TandelMgr() { Shutdown(); }

bool TandelMgr::StartEngine(const wchar_t* commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    wchar_t modulePath[520] = {};
    ::GetModuleFileNameW(nullptr, modulePath, 520);

    std::wstring runtime = L"javaw.exe";
    bool logging = false;
    const std::wstring heap = HeapOptions(AvailablePhysicalMemory());

    if (commandLine) {
        SwitchScanner scanner(commandLine);
        while (const wchar_t* token = scanner.Next()) {
            if (SwitchScanner::Matches(token, L"console")) {
                runtime = L"java.exe";
                startup.dwFlags = STARTF_USESHOWWINDOW;
                startup.wShowWindow = SW_SHOW;
            }
            if (SwitchScanner::Matches(token, L"log")) logging = true;
            if (SwitchScanner::Matches(token, L"out")) {
                const std::wstring file = OutputFileName(token);
                if (!file.empty()) output_.Redirect(startup, file);
            }
        }
    }

    agentFolder_ = FolderOf(modulePath);

    if (!portMapping_.Start(kPortMappingWaitMs)) {
        ::SetEvent(readyEvent_.get());
        return false;
    }

    const std::wstring candidate = agentFolder_ + L"\\jre\\bin\\" + runtime;
    std::wstring engineCommand = FileExists(candidate) ? QuotedIfBlank(candidate) : runtime;
    engineCommand += L" " + heap + L" ";
    engineCommand += L"-classpath .;tandels.jar pellanDesktop.pellanDesktopMain ";
    engineCommand += IdentityArgument();
    if (logging) engineCommand += L" logging";

    const std::wstring workingFolder = agentFolder_ + L"\\Java";
    PROCESS_INFORMATION info = {};
    const bool created = ::CreateProcessW(nullptr, engineCommand.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          workingFolder.c_str(), &startup, &info);
    output_.EngineStarted();
    if (created) {
        if (engineJob_) ::AssignProcessToJobObject(engineJob_.get(), info.hProcess);
        engineProcess_.reset(info.hProcess);
        engineThread_.reset(info.hThread);
        engineProcessId_ = info.dwProcessId;
        engineThreadId_ = info.dwThreadId;
    }

    // Also when the start failed: whatever answers on the endpoint is asked.
    Handshake();
    ::SetEvent(readyEvent_.get());
    if (!created) return false;

    if (!watchTimer_) watchTimer_ = ::SetTimer(nullptr, kWatchTimerId, kWatchPeriodMs, WatchTimerProc);
    return true;
}

bool TandelMgr::IsEngineAlive() {
    // The engine's own handle: a recycled process identifier cannot fool it.
    if (!engineProcess_ || ::WaitForSingleObject(engineProcess_.get(), 0) == WAIT_TIMEOUT) return true;
    ClearEngineProcess();
    return false;
}

void TandelMgr::LaunchShell(bool minimized) {
    names::MutexProbe probe = names::ProbeMutex(names::kShellMutex);
    if (probe.present) return;

    std::wstring command = L"KXTidepool.exe ";
    if (minimized) command += L"-minimize";
    const std::wstring folder = install::GetInstallFolder();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                         &info)) {
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
}

void TandelMgr::Shutdown() {
    portMapping_.Remove();
    try {
        const std::wstring title = win::LoadResourceString(IDS_PRODUCT_TITLE);
        if (names::IsMutexPresent(names::kShellMutex)) {
            if (HWND shell = ::FindWindowW(nullptr, title.c_str()))
                ::PostMessageW(shell, WM_QUIT, names::kShellQuitWParam, 0);
        }

        if (watchTimer_) {
            ::KillTimer(nullptr, watchTimer_);
            watchTimer_ = 0;
        }

        // Once: the run at process end would only knock on a port nobody of ours serves.
        if (!shutdownRequested_) {
            shutdownRequested_ = true;
            RequestEngineShutdown(true);
        }

        if (engineProcess_) {
            ::PostThreadMessageW(engineThreadId_, WM_QUIT, 0, 0);
            // An idle engine passes WaitForInputIdle at once; ending it then would
            // cut its shut-down short. What is left of the bound goes to its exit.
            const DWORD start = ::GetTickCount();
            ::WaitForInputIdle(engineProcess_.get(), kEngineStopWaitMs);
            const DWORD spent = ::GetTickCount() - start;
            if (spent < kEngineStopWaitMs) ::WaitForSingleObject(engineProcess_.get(), kEngineStopWaitMs - spent);
            ::TerminateProcess(engineProcess_.get(), 0xFFFFFFFF);
        }

        output_.Close();
        SendPipeNotice();
    } catch (const win::com_error&) {
        // The rest of the steps are skipped; the engine process is still cleared.
    }
    ClearEngineProcess();
}

void TandelMgr::ClearEngineProcess() {
    engineProcess_.reset();
    engineThread_.reset();
    engineProcessId_ = 0;
    engineThreadId_ = 0;
}

void CALLBACK TandelMgr::WatchTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    TandelMgr* manager = Existing();
    if (!manager) return;
    try {
        if (!manager->IsEngineAlive()) manager->StartEngine(nullptr);
        SyncCheckContext context;
        context.queryDatabase = QueryEngineDatabase;
        context.queryNames = QueryEngineNames;
        context.launchShellMinimized = [manager] { manager->LaunchShell(true); };
        context.now = static_cast<int64_t>(std::time(nullptr));
        context.startTime = AgentStartTime();
        context.wasAbsent = &manager->wasAbsent_;
        RunSyncCheck(context);
    } catch (const win::com_error&) {
        // An engine that does not answer ends this tick; the next one starts over.
    }
}
