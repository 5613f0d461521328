#pragma once
// The agent's registry entries: its AppID, the TandelAPI class and the type library.
// Written key by key by our own code, as there is no registrar for scripts here;
// the keys are exactly those the product has always registered.
#include <windows.h>

#include <string>

#include "win/unique_resource.h"

enum class RegistrationScope { Machine, User };

// Classes of the machine (HKEY_CLASSES_ROOT) or of the current user
// (HKEY_CURRENT_USER\Software\Classes, created when missing).
HRESULT OpenClassesRoot(RegistrationScope scope, win::unique_hkey* classes);

// AppID\{B365C76C-...} = "Tandels" and AppID\Tandels.EXE with value "AppID".
HRESULT RegisterAppId(HKEY classes);
// Removes those two keys with what is below them, "LocalService" included; never
// the AppID key itself. Keys already gone count as removed.
HRESULT UnregisterAppId(HKEY classes);
// The value "LocalService" of the AppID's key; the key must exist.
HRESULT SetAppIdLocalService(HKEY classes, const std::wstring& service);
// A missing key or value counts as removed.
HRESULT RemoveAppIdLocalService(HKEY classes);

// The two ProgIDs and the class's key under CLSID, with `serverPath` as LocalServer32.
// The class's key goes whole before it is written.
HRESULT RegisterTandelClass(HKEY classes, const std::wstring& serverPath);
// Removes the keys RegisterTandelClass wrote; the CLSID key itself stays.
HRESULT UnregisterTandelClass(HKEY classes);

// The type library held as resource 1 of the program at `modulePath`. For the user
// scope the system's per-user registration is used.
HRESULT RegisterTypeLibrary(const std::wstring& modulePath, RegistrationScope scope);
HRESULT UnregisterTypeLibrary(const std::wstring& modulePath, RegistrationScope scope);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as the registry holds it.
std::wstring GuidText(const GUID& guid);
