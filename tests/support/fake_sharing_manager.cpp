#include "tests/support/fake_sharing_manager.h"

#include <string>
#include <type_traits>
#include <utility>

#include "win/com_ptr.h"

namespace testing_support {

namespace {

using State = std::shared_ptr<FakeNetworkState>;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Reference count, QueryInterface for IUnknown, I (and IDispatch when I is a
// dispatch interface), and the live-object count of the fake.
template <typename I, const IID& Iid>
class Unknown : public I {
public:
    explicit Unknown(State state) : state_(std::move(state)) {
        ::InterlockedIncrement(&state_->liveObjects);
    }
    virtual ~Unknown() { ::InterlockedDecrement(&state_->liveObjects); }

    HRESULT WINAPI QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Iid);
        if constexpr (std::is_base_of_v<IDispatch, I>) known = known || IsEqualIID(iid, IID_IDispatch);
        if (!known) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG WINAPI AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG WINAPI Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    State state_;

private:
    LONG refs_ = 1;
};

template <typename I, const IID& Iid>
class Dispatch : public Unknown<I, Iid> {
public:
    using Unknown<I, Iid>::Unknown;
    HRESULT WINAPI GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT WINAPI Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

// Hands a new object (its one reference) to an out-parameter.
template <typename T, typename Out>
HRESULT Give(T* object, Out** out) {
    *out = object;
    return S_OK;
}

class Enumerator : public Unknown<IEnumVARIANT, IID_IEnumVARIANT> {
public:
    Enumerator(State state, std::vector<std::pair<VARTYPE, win::com_ptr<IUnknown>>> items)
        : Unknown(std::move(state)), items_(std::move(items)) {}

    HRESULT WINAPI Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        ULONG given = 0;
        for (; given < count && next_ < items_.size(); ++given, ++next_) {
            auto& [type, object] = items_[next_];
            ::VariantInit(&out[given]);
            out[given].vt = type;
            if (type == VT_I4) {
                out[given].lVal = 42;
            } else if (type == VT_DISPATCH) {
                object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out[given].pdispVal));
            } else {
                out[given].punkVal = object.get();
                object->AddRef();
            }
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT WINAPI Skip(ULONG count) override {
        next_ += count;
        return next_ <= items_.size() ? S_OK : S_FALSE;
    }
    HRESULT WINAPI Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT WINAPI Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<std::pair<VARTYPE, win::com_ptr<IUnknown>>> items_;
    size_t next_ = 0;
};

// Both collections: an enumerator that first yields an integer, which the
// mapper must pass over, then the objects.
template <typename I, const IID& Iid>
class Collection : public Dispatch<I, Iid> {
public:
    Collection(State state, VARTYPE type, std::vector<win::com_ptr<IUnknown>> objects)
        : Dispatch<I, Iid>(std::move(state)), type_(type), objects_(std::move(objects)) {}

    HRESULT WINAPI get__NewEnum(IUnknown** out) override {
        std::vector<std::pair<VARTYPE, win::com_ptr<IUnknown>>> items;
        items.emplace_back(VT_I4, nullptr);
        for (auto& object : objects_) items.emplace_back(type_, object);
        return Give(static_cast<IUnknown*>(new Enumerator(this->state_, std::move(items))), out);
    }
    HRESULT WINAPI get_Count(LONG* count) override {
        *count = static_cast<LONG>(objects_.size());
        return S_OK;
    }

private:
    VARTYPE type_;
    std::vector<win::com_ptr<IUnknown>> objects_;
};

class Connection : public Unknown<INetConnection, IID_INetConnection> {
public:
    Connection(State state, size_t index) : Unknown(std::move(state)), index_(index) {}
    size_t index() const { return index_; }

    HRESULT WINAPI Connect() override { return E_NOTIMPL; }
    HRESULT WINAPI Disconnect() override { return E_NOTIMPL; }
    HRESULT WINAPI Delete() override { return E_NOTIMPL; }
    HRESULT WINAPI Duplicate(LPCWSTR, INetConnection**) override { return E_NOTIMPL; }
    HRESULT WINAPI GetProperties(NETCON_PROPERTIES**) override { return E_NOTIMPL; }
    HRESULT WINAPI GetUiObjectClassId(CLSID*) override { return E_NOTIMPL; }
    HRESULT WINAPI Rename(LPCWSTR) override { return E_NOTIMPL; }

private:
    size_t index_;
};

class ConnectionProps : public Dispatch<INetConnectionProps, IID_INetConnectionProps> {
public:
    ConnectionProps(State state, DWORD characteristics, NETCON_MEDIATYPE mediaType)
        : Dispatch(std::move(state)), characteristics_(characteristics), mediaType_(mediaType) {}

    HRESULT WINAPI get_Guid(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_DeviceName(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Status(NETCON_STATUS*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_MediaType(NETCON_MEDIATYPE* mediaType) override {
        *mediaType = mediaType_;
        return S_OK;
    }
    HRESULT WINAPI get_Characteristics(DWORD* flags) override {
        *flags = characteristics_;
        return S_OK;
    }

private:
    DWORD characteristics_;
    NETCON_MEDIATYPE mediaType_;
};

class MappingProps : public Dispatch<INetSharingPortMappingProps, IID_INetSharingPortMappingProps> {
public:
    MappingProps(State state, FakeMapping mapping) : Dispatch(std::move(state)), m_(std::move(mapping)) {}

    HRESULT WINAPI get_Name(BSTR* name) override {
        *name = ::SysAllocString(m_.name.c_str());
        return S_OK;
    }
    HRESULT WINAPI get_IPProtocol(UCHAR* protocol) override {
        *protocol = m_.protocol;
        return S_OK;
    }
    HRESULT WINAPI get_ExternalPort(LONG* port) override {
        *port = m_.externalPort;
        return S_OK;
    }
    HRESULT WINAPI get_InternalPort(LONG* port) override {
        *port = m_.internalPort;
        return S_OK;
    }
    HRESULT WINAPI get_Options(LONG* options) override {
        *options = m_.options;
        return S_OK;
    }
    HRESULT WINAPI get_TargetName(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_TargetIPAddress(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Enabled(VARIANT_BOOL* enabled) override {
        *enabled = m_.enabled ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

private:
    FakeMapping m_;
};

class Mapping : public Dispatch<INetSharingPortMapping, IID_INetSharingPortMapping> {
public:
    Mapping(State state, size_t connection, int id) : Dispatch(std::move(state)), connection_(connection), id_(id) {}

    HRESULT WINAPI Disable() override { return Change(Act::Disable); }
    HRESULT WINAPI Enable() override { return Change(Act::Enable); }
    HRESULT WINAPI Delete() override { return Change(Act::Delete); }
    HRESULT WINAPI get_Properties(INetSharingPortMappingProps** out) override {
        std::lock_guard<std::mutex> hold(state_->lock);
        for (const FakeMapping& m : state_->connections[connection_].mappings)
            if (m.id == id_) return Give(new MappingProps(state_, m), out);
        *out = nullptr;
        return E_FAIL;
    }

private:
    enum class Act { Disable, Enable, Delete };

    HRESULT Change(Act act) {
        static const char* const verbs[] = {"disable", "enable", "delete"};
        std::lock_guard<std::mutex> hold(state_->lock);
        auto& list = state_->connections[connection_].mappings;
        for (auto at = list.begin(); at != list.end(); ++at) {
            if (at->id != id_) continue;
            state_->Note(std::string(verbs[static_cast<int>(act)]) + " c" + std::to_string(connection_) +
                         " " + Narrow(at->name) + " " + std::to_string(at->protocol) + ":" +
                         std::to_string(at->externalPort));
            if (act == Act::Delete) {
                list.erase(at);
            } else {
                at->enabled = act == Act::Enable;
            }
            return S_OK;
        }
        return E_FAIL;
    }

    size_t connection_;
    int id_;
};

class Configuration : public Dispatch<INetSharingConfiguration, IID_INetSharingConfiguration> {
public:
    Configuration(State state, size_t connection) : Dispatch(std::move(state)), connection_(connection) {}

    HRESULT WINAPI get_SharingEnabled(VARIANT_BOOL* enabled) override {
        std::lock_guard<std::mutex> hold(state_->lock);
        *enabled = state_->connections[connection_].sharing ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT WINAPI get_SharingConnectionType(SHARINGCONNECTIONTYPE*) override { return E_NOTIMPL; }
    HRESULT WINAPI DisableSharing() override { return E_NOTIMPL; }
    HRESULT WINAPI EnableSharing(SHARINGCONNECTIONTYPE) override { return E_NOTIMPL; }
    HRESULT WINAPI get_InternetFirewallEnabled(VARIANT_BOOL* enabled) override {
        std::lock_guard<std::mutex> hold(state_->lock);
        *enabled = state_->connections[connection_].firewall ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT WINAPI DisableInternetFirewall() override { return E_NOTIMPL; }
    HRESULT WINAPI EnableInternetFirewall() override { return E_NOTIMPL; }
    HRESULT WINAPI get_EnumPortMappings(SHARINGCONNECTION_ENUM_FLAGS flags,
                                        INetSharingPortMappingCollection** out) override {
        if (flags != ICSSC_DEFAULT) return E_INVALIDARG;
        std::vector<win::com_ptr<IUnknown>> mappings;
        std::lock_guard<std::mutex> hold(state_->lock);
        if (state_->failMappingList) {
            *out = nullptr;
            return E_FAIL;
        }
        for (const FakeMapping& m : state_->connections[connection_].mappings) {
            win::com_ptr<IUnknown> mapping;
            mapping.attach(static_cast<INetSharingPortMapping*>(new Mapping(state_, connection_, m.id)));
            mappings.push_back(std::move(mapping));
        }
        return Give(new Collection<INetSharingPortMappingCollection, IID_INetSharingPortMappingCollection>(
                        state_, VT_DISPATCH, std::move(mappings)),
                    out);
    }
    HRESULT WINAPI AddPortMapping(BSTR name, UCHAR protocol, USHORT externalPort, USHORT internalPort,
                                  DWORD options, BSTR target, ICS_TARGETTYPE targetType,
                                  INetSharingPortMapping** out) override {
        std::lock_guard<std::mutex> hold(state_->lock);
        FakeMapping m;
        m.name = name ? name : L"";
        m.protocol = protocol;
        m.externalPort = externalPort;
        m.internalPort = internalPort;
        m.options = static_cast<LONG>(options);
        m.target = target ? target : L"";
        m.targetType = targetType;
        m.id = state_->nextId++;
        state_->Note("add c" + std::to_string(connection_) + " " + Narrow(m.name) + " " +
                     std::to_string(protocol) + ":" + std::to_string(externalPort) + " -> " +
                     Narrow(m.target) + ":" + std::to_string(internalPort) + " type " +
                     std::to_string(targetType) + " options " + std::to_string(options));
        if (state_->failAdd) {
            *out = nullptr;
            return E_FAIL;
        }
        state_->connections[connection_].mappings.push_back(m);
        return Give(new Mapping(state_, connection_, m.id), out);
    }
    HRESULT WINAPI RemovePortMapping(INetSharingPortMapping*) override {
        std::lock_guard<std::mutex> hold(state_->lock);
        state_->Note("RemovePortMapping");
        return E_NOTIMPL;
    }

private:
    size_t connection_;
};

class Manager : public Dispatch<INetSharingManager, IID_INetSharingManager> {
public:
    explicit Manager(State state) : Dispatch(std::move(state)) {
        ::InterlockedIncrement(&state_->liveManagers);
    }
    ~Manager() override { ::InterlockedDecrement(&state_->liveManagers); }

    HRESULT WINAPI get_SharingInstalled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_EnumPublicConnections(SHARINGCONNECTION_ENUM_FLAGS,
                                             INetSharingPublicConnectionCollection**) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI get_EnumPrivateConnections(SHARINGCONNECTION_ENUM_FLAGS,
                                              INetSharingPrivateConnectionCollection**) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI get_INetSharingConfigurationForINetConnection(
        INetConnection* connection, INetSharingConfiguration** out) override {
        auto* ours = dynamic_cast<Connection*>(connection);
        if (!ours) return E_INVALIDARG;
        if (state_->failConfiguration) {
            *out = nullptr;
            return E_FAIL;
        }
        return Give(new Configuration(state_, ours->index()), out);
    }
    HRESULT WINAPI get_EnumEveryConnection(INetSharingEveryConnectionCollection** out) override {
        bool hang = false;
        {
            std::lock_guard<std::mutex> hold(state_->lock);
            hang = state_->hangMs && !state_->hung;
            state_->hung = true;
        }
        if (hang) {
            ::Sleep(state_->hangMs);
            std::lock_guard<std::mutex> hold(state_->lock);
            state_->Note("hang over");
        }
        std::lock_guard<std::mutex> hold(state_->lock);
        if (state_->failConnectionList) {
            *out = nullptr;
            return E_FAIL;
        }
        std::vector<win::com_ptr<IUnknown>> connections;
        for (size_t i = 0; i < state_->connections.size(); ++i) {
            win::com_ptr<IUnknown> connection;
            connection.attach(static_cast<INetConnection*>(new Connection(state_, i)));
            connections.push_back(std::move(connection));
        }
        return Give(new Collection<INetSharingEveryConnectionCollection, IID_INetSharingEveryConnectionCollection>(
                        state_, VT_UNKNOWN, std::move(connections)),
                    out);
    }
    HRESULT WINAPI get_NetConnectionProps(INetConnection* connection, INetConnectionProps** out) override {
        auto* ours = dynamic_cast<Connection*>(connection);
        if (!ours) return E_INVALIDARG;
        std::lock_guard<std::mutex> hold(state_->lock);
        const FakeConnection& c = state_->connections[ours->index()];
        if (c.noProperties) {
            *out = nullptr;
            return E_FAIL;
        }
        return Give(new ConnectionProps(state_, c.characteristics, c.mediaType), out);
    }
};

class Factory : public IClassFactory {
public:
    explicit Factory(State state) : state_(std::move(state)) {}
    virtual ~Factory() = default;

    HRESULT WINAPI QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG WINAPI AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG WINAPI Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        win::com_ptr<INetSharingManager> manager;
        manager.attach(new Manager(state_));
        return manager->QueryInterface(iid, out);
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

private:
    State state_;
    LONG refs_ = 1;
};

}  // namespace

void FakeNetworkState::Note(std::string text) {
    APTTYPE apartment = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier;
    if (FAILED(::CoGetApartmentType(&apartment, &qualifier))) apartment = APTTYPE_CURRENT;
    calls.push_back({std::move(text), ::GetCurrentThreadId(), apartment});
}

FakeSharingManager::FakeSharingManager(std::vector<FakeConnection> connections)
    : state_(std::make_shared<FakeNetworkState>()) {
    for (FakeConnection& c : connections)
        for (FakeMapping& m : c.mappings) m.id = state_->nextId++;
    state_->connections = std::move(connections);
}

FakeSharingManager::~FakeSharingManager() { Revoke(); }

HRESULT FakeSharingManager::Register() {
    Revoke();
    factory_ = new Factory(state_);
    HRESULT hr = ::CoRegisterClassObject(CLSID_NetSharingManager, factory_, CLSCTX_INPROC_SERVER,
                                         REGCLS_MULTIPLEUSE, &cookie_);
    if (FAILED(hr)) Revoke();
    return hr;
}

void FakeSharingManager::Revoke() {
    if (cookie_) ::CoRevokeClassObject(cookie_);
    cookie_ = 0;
    if (factory_) factory_->Release();
    factory_ = nullptr;
}

std::vector<FakeCall> FakeSharingManager::Calls() {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->calls;
}

std::vector<std::string> FakeSharingManager::CallTexts() {
    std::vector<std::string> texts;
    for (const FakeCall& call : Calls()) texts.push_back(call.text);
    return texts;
}

std::vector<FakeMapping> FakeSharingManager::MappingsOf(size_t connection) {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->connections[connection].mappings;
}

LONG FakeSharingManager::LiveObjects() { return ::InterlockedCompareExchange(&state_->liveObjects, 0, 0); }
LONG FakeSharingManager::LiveManagers() { return ::InterlockedCompareExchange(&state_->liveManagers, 0, 0); }

}  // namespace testing_support
