#include "agent/port_mapper.h"

#include <cstdio>

namespace {

constexpr wchar_t kMappingName[] = L"Tandels Port Mapping";
constexpr UCHAR kProtocolTcp = 6;
constexpr DWORD kSharedOrFirewalled = NCCF_SHARED | NCCF_FIREWALLED;
static_assert(kSharedOrFirewalled == 0x500);
// The sharing manager is an in-process server (hnetcfg.dll). Asking for any
// context (CLSCTX_ALL) finds nothing more, but under Wine, which has no sharing
// manager, the local-server search for the missing class takes 3 to 10 seconds,
// longer than the engine start waits for both mappings.
constexpr DWORD kManagerContext = CLSCTX_INPROC_SERVER;
static_assert(ICSTT_IPADDRESS == 1 && NCM_SHAREDACCESSHOST_LAN == 8 && NCM_SHAREDACCESSHOST_RAS == 9);

// The next item of a collection's enumerator, or false when there is none.
bool NextItem(IEnumVARIANT* items, win::unique_variant* item) {
    ULONG fetched = 0;
    return items->Next(1, item->put(), &fetched) == S_OK && fetched == 1;
}

template <typename Collection>
win::com_ptr<IEnumVARIANT> ItemsOf(Collection* collection) {
    win::com_ptr<IUnknown> enumerator;
    win::com_ptr<IEnumVARIANT> items;
    collection->get__NewEnum(enumerator.put());
    enumerator.query(IID_IEnumVARIANT, &items);
    return items;
}

}  // namespace

void ICWPortMapper::PrintToStandardOutput(const wchar_t* line) {
    std::wprintf(L"%ls", line);
    // A redirected output is a file; the agent may end without flushing it.
    std::fflush(stdout);
}

ICWPortMapper::ICWPortMapper(USHORT externalPort, USHORT internalPort, Sink sink)
    : externalPort_(externalPort), internalPort_(internalPort), sink_(std::move(sink)) {}

ICWPortMapper::~ICWPortMapper() {
    if (manager_) removeMapping(manager_.get(), kProtocolTcp, externalPort_);
}

void ICWPortMapper::mapPort() {
    ::CoCreateInstance(CLSID_NetSharingManager, nullptr, kManagerContext, IID_INetSharingManager,
                       manager_.put_void());
    if (!manager_) {
        print(L"failed to create NetSharingManager object\r\n");
        return;
    }
    removeMapping(manager_.get(), kProtocolTcp, externalPort_);
    // Nothing of ours to remove later.
    if (FAILED(addMappings(manager_.get()))) manager_.reset();
}

HRESULT ICWPortMapper::forEachEligibleConnection(
    INetSharingManager* manager, const std::function<bool(INetConnection*)>& visit) {
    win::com_ptr<INetSharingEveryConnectionCollection> connections;
    HRESULT hr = manager->get_EnumEveryConnection(connections.put());
    if (!connections) {
        print(L"failed to get EveryConnectionCollection!\r\n");
        return hr;
    }
    win::com_ptr<IEnumVARIANT> items = ItemsOf(connections.get());
    if (!items) return hr;
    win::unique_variant item;
    while (NextItem(items.get(), &item)) {
        if (item.vt != VT_UNKNOWN || !item.punkVal) continue;
        win::com_ptr<INetConnection> connection;
        item.punkVal->QueryInterface(IID_INetConnection, connection.put_void());
        if (!connection) continue;

        win::com_ptr<INetConnectionProps> properties;
        manager->get_NetConnectionProps(connection.get(), properties.put());
        if (!properties) {
            print(L"failed to get NetConnectionProps!\r\n");
            continue;
        }
        DWORD characteristics = 0;
        properties->get_Characteristics(&characteristics);
        if (!(characteristics & kSharedOrFirewalled)) continue;
        NETCON_MEDIATYPE mediaType = NCM_NONE;
        properties->get_MediaType(&mediaType);
        // These reach another machine's shared connection.
        if (mediaType == NCM_SHAREDACCESSHOST_LAN || mediaType == NCM_SHAREDACCESSHOST_RAS) continue;
        properties.reset();
        if (!visit(connection.get())) break;
    }
    return hr;
}

// Matches on protocol and external port only, not on the name: a foreign
// mapping of the same port goes too.
HRESULT ICWPortMapper::removeMapping(INetSharingManager* manager, UCHAR protocol,
                                     USHORT externalPort) {
    win::com_ptr<INetConnection> connection;
    forEachEligibleConnection(manager, [&](INetConnection* first) {
        connection = win::com_ptr<INetConnection>(first);
        return false;
    });
    if (!connection) {
        print(L"failed to find a valid connection!\r\n");
        return E_FAIL;
    }
    win::com_ptr<INetSharingConfiguration> configuration;
    HRESULT hr = manager->get_INetSharingConfigurationForINetConnection(connection.get(),
                                                                        configuration.put());
    connection.reset();
    if (!configuration) {
        print(L"can't make INetSharingConfiguration object!\r\n");
        return hr;
    }
    win::com_ptr<INetSharingPortMappingCollection> mappings;
    hr = configuration->get_EnumPortMappings(ICSSC_DEFAULT, mappings.put());
    if (!mappings) {
        print(L"can't get PortMapping collection!\r\n");
        return hr;
    }
    win::com_ptr<IEnumVARIANT> items = ItemsOf(mappings.get());
    if (!items) return hr;

    win::com_ptr<INetSharingPortMapping> match;
    win::unique_variant item;
    while (!match && NextItem(items.get(), &item)) {
        if (item.vt != VT_DISPATCH || !item.pdispVal) continue;
        win::com_ptr<INetSharingPortMapping> mapping;
        item.pdispVal->QueryInterface(IID_INetSharingPortMapping, mapping.put_void());
        if (!mapping) continue;
        win::com_ptr<INetSharingPortMappingProps> properties;
        hr = mapping->get_Properties(properties.put());
        if (!properties) continue;
        UCHAR mappedProtocol = 0;
        LONG mappedPort = 0;
        properties->get_IPProtocol(&mappedProtocol);
        hr = properties->get_ExternalPort(&mappedPort);
        if (mappedProtocol == protocol && mappedPort == externalPort) match = mapping;
    }
    if (match) {
        hr = match->Delete();
        print(L"just deleted a port mapping!\r\n");
    }
    return hr;
}

HRESULT ICWPortMapper::addMappings(INetSharingManager* manager) {
    HRESULT last = S_OK;
    HRESULT listed = forEachEligibleConnection(manager, [&](INetConnection* connection) {
        win::com_ptr<INetSharingConfiguration> configuration;
        last = manager->get_INetSharingConfigurationForINetConnection(connection,
                                                                      configuration.put());
        if (!configuration) {
            print(L"can't make INetSharingConfiguration object!\r\n");
        } else {
            last = addMapping(configuration.get());
        }
        return true;
    });
    return FAILED(listed) ? listed : last;
}

HRESULT ICWPortMapper::addMapping(INetSharingConfiguration* configuration) {
    VARIANT_BOOL sharing = VARIANT_FALSE;
    VARIANT_BOOL firewall = VARIANT_FALSE;
    configuration->get_SharingEnabled(&sharing);
    configuration->get_InternetFirewallEnabled(&firewall);
    if (!sharing && !firewall) {
        print(L"sharing and/or firewall not enabled on this connection!\r\n");
        return S_OK;
    }
    win::unique_bstr name(kMappingName);
    win::unique_bstr target(target_.c_str());
    win::com_ptr<INetSharingPortMapping> mapping;
    HRESULT hr = configuration->AddPortMapping(name.get(), kProtocolTcp, externalPort_,
                                               internalPort_, 0, target.get(), ICSTT_IPADDRESS,
                                               mapping.put());
    if (!mapping) {
        print(L"failed to add asymmetric port mapping!\r\n");
        return hr;
    }
    // The text is fixed; it does not show the real ports.
    print(L"just added NAT_PROTOCOL_TCP, 555, 444!\r\n");
    hr = mapping->Enable();
    print(L"just enabled port mapping!\r\n");
    return hr;
}
