#pragma once
// One TCP port forwarded by Internet Connection Sharing (the HNetCfg sharing
// manager) from every shared or firewalled connection to this machine, and
// taken away again when the mapper goes. Best effort: failures are only
// reported as diagnostic lines.
//
// No lock and no COM initialization of its own: mapPort and the destructor run
// on one thread at a time, in a COM apartment.
#include <windows.h>
#include <netcon.h>

#include <functional>
#include <string>

#include "win/com_ptr.h"

class ICWPortMapper {
public:
    // Receives each diagnostic line, "\r\n" included.
    using Sink = std::function<void(const wchar_t* line)>;
    static void PrintToStandardOutput(const wchar_t* line);

    ICWPortMapper(USHORT externalPort, USHORT internalPort, Sink sink = PrintToStandardOutput);
    virtual ~ICWPortMapper();
    ICWPortMapper(const ICWPortMapper&) = delete;
    ICWPortMapper& operator=(const ICWPortMapper&) = delete;

    // Removes a mapping an earlier run left, then adds ours on every eligible
    // connection. The sharing manager is kept only while a mapping may exist.
    void mapPort();

private:
    // Calls `visit` with each eligible connection until it returns false; the
    // result is that of asking for the connections.
    HRESULT forEachEligibleConnection(INetSharingManager* manager,
                                      const std::function<bool(INetConnection*)>& visit);
    HRESULT removeMapping(INetSharingManager* manager, UCHAR protocol, USHORT externalPort);
    HRESULT addMappings(INetSharingManager* manager);
    HRESULT addMapping(INetSharingConfiguration* configuration);
    void print(const wchar_t* line) const { sink_(line); }

    win::com_ptr<INetSharingManager> manager_;
    USHORT externalPort_;
    USHORT internalPort_;
    std::wstring target_ = L"localhost";
    Sink sink_;
};
