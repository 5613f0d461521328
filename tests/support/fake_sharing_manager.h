#pragma once
// A stand-in for the HNetCfg sharing manager, which Wine lacks: a class object
// registered in-process under the real class identifier, with the connections,
// flags and port mappings a test gives it. It records the calls that change
// mappings, and on which thread and in which apartment they came.
#include <windows.h>
#include <netcon.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "agent/port_mapper.h"

namespace testing_support {

// Collects the mapper's diagnostic lines; the port-mapping worker writes from its own thread.
class DiagnosticLines {
public:
    ICWPortMapper::Sink Sink() {
        return [this](const wchar_t* line) {
            std::lock_guard<std::mutex> hold(lock_);
            text_ += line;
        };
    }
    std::wstring Take() {
        std::lock_guard<std::mutex> hold(lock_);
        return std::exchange(text_, std::wstring());
    }

private:
    std::mutex lock_;
    std::wstring text_;
};

struct FakeMapping {
    std::wstring name;
    UCHAR protocol = 6;
    LONG externalPort = 0;
    LONG internalPort = 0;
    std::wstring target;
    int targetType = 0;
    LONG options = 0;
    bool enabled = false;
    int id = 0;  // set by the fake
};

struct FakeConnection {
    DWORD characteristics = 0;
    NETCON_MEDIATYPE mediaType = NCM_LAN;
    bool sharing = false;
    bool firewall = false;
    std::vector<FakeMapping> mappings;
    bool noProperties = false;  // get_NetConnectionProps fails
};

struct FakeCall {
    std::string text;
    DWORD threadId;
    APTTYPE apartment;
};

// Shared by the fake's COM objects, which may outlive the test's object.
struct FakeNetworkState {
    std::mutex lock;
    std::vector<FakeConnection> connections;
    std::vector<FakeCall> calls;
    bool failConnectionList = false;
    bool failAdd = false;
    bool failConfiguration = false;
    bool failMappingList = false;
    DWORD hangMs = 0;  // the first request for the connection list waits this long
    bool hung = false;
    int nextId = 1;
    LONG liveObjects = 0;
    LONG liveManagers = 0;

    void Note(std::string text);
};

class FakeSharingManager {
public:
    explicit FakeSharingManager(std::vector<FakeConnection> connections);
    // Revokes the class object if still registered.
    ~FakeSharingManager();
    FakeSharingManager(const FakeSharingManager&) = delete;
    FakeSharingManager& operator=(const FakeSharingManager&) = delete;

    // Registers the class object in the calling thread's apartment; a thread of
    // another apartment does not find it under Wine.
    HRESULT Register();
    void Revoke();

    void FailConnectionList() { state_->failConnectionList = true; }
    void FailAdd() { state_->failAdd = true; }
    void FailConfiguration() { state_->failConfiguration = true; }
    void FailMappingList() { state_->failMappingList = true; }
    void HangFirstConnectionList(DWORD ms) { state_->hangMs = ms; }

    std::vector<FakeCall> Calls();
    std::vector<std::string> CallTexts();
    std::vector<FakeMapping> MappingsOf(size_t connection);
    // COM objects of the fake still alive, the class object not counted.
    LONG LiveObjects();
    LONG LiveManagers();

private:
    std::shared_ptr<FakeNetworkState> state_;
    IClassFactory* factory_ = nullptr;
    DWORD cookie_ = 0;
};

}  // namespace testing_support
