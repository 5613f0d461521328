#include "tests/support/engine_simulator.h"

#include <stdexcept>

#include "tests/support/engine_log.h"

namespace fs = std::filesystem;

namespace testing_support {

void InstallEngineSimulatorAsRuntime(const fs::path& installDir) {
    const fs::path simulator = installDir / L"tools" / L"engine_simulator.exe";
    const fs::path runtime = installDir / L"jre" / L"bin";
    fs::create_directories(runtime);
    fs::create_directories(installDir / L"Java");
    fs::copy_file(simulator, runtime / L"javaw.exe", fs::copy_options::overwrite_existing);
    fs::copy_file(simulator, runtime / L"java.exe", fs::copy_options::overwrite_existing);
}

bool WaitForEngineReady(const fs::path& workingFolder, int count, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return ReadEngineLog(workingFolder).readyCount >= count; }, timeout);
}

Process StartEngineSimulator(const fs::path& installDir, const fs::path& workingFolder,
                             const std::wstring& arguments) {
    fs::create_directories(workingFolder);
    const int ready = ReadEngineLog(workingFolder).readyCount;
    Process simulator(installDir / L"tools" / L"engine_simulator.exe", arguments, workingFolder);
    const bool serving = WaitUntil(
        [&] { return ReadEngineLog(workingFolder).readyCount > ready || !simulator.Running(); },
        std::chrono::seconds(20));
    if (!serving || !simulator.Running()) {
        // Port 8182 is machine-wide: a program of another test run may hold it.
        const EngineLog log = ReadEngineLog(workingFolder);
        throw std::runtime_error("the engine simulator did not start serving" +
                                 (log.errors.empty() ? std::string() : ": " + log.errors.back()));
    }
    return simulator;
}

}  // namespace testing_support
