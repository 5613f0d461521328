#pragma once
// Running the engine simulator (tools\engine_simulator.exe of the install) in a test.
#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/process.h"

namespace testing_support {

// Copies tools\engine_simulator.exe of `installDir` to jre\bin\javaw.exe and
// jre\bin\java.exe and makes the engine's working folder "Java", so an agent
// started from `installDir` runs the simulator as its engine.
void InstallEngineSimulatorAsRuntime(const std::filesystem::path& installDir);

// Starts the simulator of `installDir` in `workingFolder` (made when missing)
// and waits until its log says it serves; the process when it does, else it throws.
Process StartEngineSimulator(const std::filesystem::path& installDir, const std::filesystem::path& workingFolder,
                             const std::wstring& arguments = L"");

// True once the log in `workingFolder` holds `count` READY lines.
bool WaitForEngineReady(const std::filesystem::path& workingFolder, int count, std::chrono::milliseconds timeout);

}  // namespace testing_support
