#include "agent/com_registration.h"

#include <oleauto.h>

#include "agent/tandels_ids.h"
#include "win/com_ptr.h"

// oleaut32 exports these since Windows Vista, but mingw's oleauto.h does not declare them.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libraryId, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace {

constexpr wchar_t kProgId[] = L"Tandels.TandelAPI.1";
constexpr wchar_t kVersionIndependentProgId[] = L"Tandels.TandelAPI";
constexpr wchar_t kClassDescription[] = L"TandelAPI Class";
constexpr wchar_t kAppIdName[] = L"Tandels";
constexpr wchar_t kAppIdExeKey[] = L"AppID\\Tandels.EXE";

// Registry functions return their error; they do not set the last error.
HRESULT FromRegistry(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return FromRegistry(
        ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

// Creates `path` below `parent`, or opens it, and sets its default value when one is given.
HRESULT WriteKey(HKEY parent, const std::wstring& path, const wchar_t* defaultValue,
                 win::unique_hkey* key = nullptr) {
    win::unique_hkey created;
    HRESULT hr = FromRegistry(::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                KEY_READ | KEY_WRITE, nullptr, created.put(), nullptr));
    if (SUCCEEDED(hr) && defaultValue) hr = SetString(created.get(), nullptr, defaultValue);
    if (SUCCEEDED(hr) && key) *key = std::move(created);
    return hr;
}

HRESULT DeleteTree(HKEY parent, const std::wstring& path) {
    const LONG error = ::RegDeleteTreeW(parent, path.c_str());
    return error == ERROR_FILE_NOT_FOUND ? S_OK : FromRegistry(error);
}

std::wstring AppIdKey() { return L"AppID\\" + GuidText(APPID_Tandels); }
std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_TandelAPI); }

HRESULT LoadOwnTypeLibrary(const std::wstring& modulePath, win::com_ptr<ITypeLib>* library) {
    return ::LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library->put());
}

}  // namespace

std::wstring GuidText(const GUID& guid) {
    wchar_t text[39];
    ::StringFromGUID2(guid, text, 39);
    return text;
}

HRESULT OpenClassesRoot(RegistrationScope scope, win::unique_hkey* classes) {
    if (scope == RegistrationScope::Machine) {
        return FromRegistry(::RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ | KEY_WRITE, classes->put()));
    }
    return WriteKey(HKEY_CURRENT_USER, L"Software\\Classes", nullptr, classes);
}

HRESULT RegisterAppId(HKEY classes) {
    HRESULT hr = WriteKey(classes, AppIdKey(), kAppIdName);
    win::unique_hkey exe;
    if (SUCCEEDED(hr)) hr = WriteKey(classes, kAppIdExeKey, nullptr, &exe);
    if (SUCCEEDED(hr)) hr = SetString(exe.get(), L"AppID", GuidText(APPID_Tandels));
    return hr;
}

HRESULT UnregisterAppId(HKEY classes) {
    HRESULT hr = DeleteTree(classes, AppIdKey());
    if (SUCCEEDED(hr)) hr = DeleteTree(classes, kAppIdExeKey);
    return hr;
}

HRESULT SetAppIdLocalService(HKEY classes, const std::wstring& service) {
    win::unique_hkey key;
    HRESULT hr = FromRegistry(::RegOpenKeyExW(classes, AppIdKey().c_str(), 0, KEY_SET_VALUE, key.put()));
    if (SUCCEEDED(hr)) hr = SetString(key.get(), L"LocalService", service);
    return hr;
}

HRESULT RemoveAppIdLocalService(HKEY classes) {
    win::unique_hkey key;
    LONG error = ::RegOpenKeyExW(classes, AppIdKey().c_str(), 0, KEY_SET_VALUE, key.put());
    if (error == ERROR_SUCCESS) error = ::RegDeleteValueW(key.get(), L"LocalService");
    return error == ERROR_FILE_NOT_FOUND ? S_OK : FromRegistry(error);
}

HRESULT RegisterTandelClass(HKEY classes, const std::wstring& serverPath) {
    const std::wstring clsid = GuidText(CLSID_TandelAPI);
    win::unique_hkey key;
    HRESULT hr = WriteKey(classes, kProgId, kClassDescription, &key);
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"CLSID", clsid.c_str());
    if (SUCCEEDED(hr)) hr = WriteKey(classes, kVersionIndependentProgId, kClassDescription, &key);
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"CLSID", clsid.c_str());
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"CurVer", kProgId);
    // Nothing of an older registration of the class survives below its key.
    if (SUCCEEDED(hr)) hr = DeleteTree(classes, ClassKey());
    if (SUCCEEDED(hr)) hr = WriteKey(classes, ClassKey(), kClassDescription, &key);
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"ProgID", kProgId);
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"VersionIndependentProgID", kVersionIndependentProgId);
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"Programmable", nullptr);
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"LocalServer32", serverPath.c_str());
    // The literal text, not the library's identifier: that is how the class was always registered.
    if (SUCCEEDED(hr)) hr = WriteKey(key.get(), L"TypeLib", L"{}");
    return hr;
}

HRESULT UnregisterTandelClass(HKEY classes) {
    HRESULT hr = DeleteTree(classes, kProgId);
    if (SUCCEEDED(hr)) hr = DeleteTree(classes, kVersionIndependentProgId);
    if (SUCCEEDED(hr)) hr = DeleteTree(classes, ClassKey());
    return hr;
}

HRESULT RegisterTypeLibrary(const std::wstring& modulePath, RegistrationScope scope) {
    win::com_ptr<ITypeLib> library;
    HRESULT hr = LoadOwnTypeLibrary(modulePath, &library);
    if (FAILED(hr)) return hr;
    std::wstring path = modulePath;
    return scope == RegistrationScope::Machine ? ::RegisterTypeLib(library.get(), path.data(), nullptr)
                                               : ::RegisterTypeLibForUser(library.get(), path.data(), nullptr);
}

HRESULT UnregisterTypeLibrary(const std::wstring& modulePath, RegistrationScope scope) {
    win::com_ptr<ITypeLib> library;
    HRESULT hr = LoadOwnTypeLibrary(modulePath, &library);
    if (FAILED(hr)) return hr;
    TLIBATTR* attributes = nullptr;
    hr = library->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    const TLIBATTR a = *attributes;
    library->ReleaseTLibAttr(attributes);
    return scope == RegistrationScope::Machine
               ? ::UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind)
               : ::UnRegisterTypeLibForUser(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}
