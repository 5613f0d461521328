#pragma once
// Every name the three programs share to find and signal one another.
//
// The mutexes and the event carry "Global\" and exist once per machine; the two
// blocks carry no prefix and exist once per logon session, so a program in another
// session than the agent sees the agent mutex but opens a fresh block holding 0.
// Presence of a mutex or the event is probed by creating it (see name_probe.h).

namespace names {

// Present while an agent runs anywhere on the machine; held by the agent for life.
constexpr wchar_t kAgentMutex[] = L"Global\\TandelMutex";

// Present while a shell runs; held by the shell for life. The agent starts a shell
// only when its probe creates this anew.
constexpr wchar_t kShellMutex[] = L"Global\\PellanMutex";

// Manual-reset event, set by the agent when the engine is ready or it gave up
// waiting; the shell's splash polls it. An event, despite its name.
constexpr wchar_t kEngineReadyEvent[] = L"Global\\PellanJavaMutex354668";

// 4-byte block: the running agent's main thread identifier. A second agent run
// for uninstalling posts WM_QUIT to it; the updater keeps it open while it waits.
constexpr wchar_t kThreadIdBlock[] = L"Tandel_map_file_B365C76C-03DF-46F2-A131-8DB2A8E2237A";

// 4-byte block: the running agent's process identifier, written right after the
// thread identifier. The shell compares that process's logon session with its own.
constexpr wchar_t kProcessIdBlock[] = L"Tandel_map_file_F413E8FB-1C56-4838-8479-9923EBEF64B7";

// The shell's main window is found by its caption, the product title: string 600
// in the agent and the shell, string 100 in the updater, "KX Tidepool". The agent
// and the updater post it WM_QUIT with this wParam; a second shell brings it up.
constexpr unsigned kShellQuitWParam = 0xFFFFFFFFu;

}  // namespace names
