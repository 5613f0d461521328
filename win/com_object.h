#pragma once
// A small base for COM objects: the reference count, QueryInterface from a table
// of the class's interfaces, and the module lock held while an object lives.
#include <windows.h>
#include <unknwn.h>

#include <new>
#include <utility>

#include "win/com_error.h"

namespace win {

// Objects and server locks alive in this program. Reaching zero ends nothing: our
// programs end on WM_QUIT alone, so COM clients coming and going never stop them.
class ModuleLock {
public:
    static void Lock() noexcept { ::InterlockedIncrement(&count_); }
    static void Unlock() noexcept { ::InterlockedDecrement(&count_); }
    static LONG Count() noexcept { return count_; }

private:
    static inline LONG count_ = 0;
};

// One interface a class answers in QueryInterface, with the cast that finds it in
// an object of the class.
template <typename Class>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(Class* object) noexcept;
};

template <typename Class, typename Interface>
IUnknown* AsInterface(Class* object) noexcept {
    return static_cast<Interface*>(object);
}

// The complete object of a COM class. Class derives from its interfaces, implements
// their own methods and lists them in `static constexpr InterfaceEntry<Class>
// kInterfaces[]`, whose first entry also answers IUnknown; ComObject adds IUnknown's
// methods and holds the module lock for the object's life.
template <typename Class>
class ComObject final : public Class {
public:
    template <typename... Args>
    explicit ComObject(Args&&... args) : Class(std::forward<Args>(args)...) {
        ModuleLock::Lock();
    }
    ~ComObject() { ModuleLock::Unlock(); }

    // A new object asked for `iid`; on success the caller holds its only reference.
    template <typename... Args>
    static HRESULT Create(REFIID iid, void** out, Args&&... args) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        ComObject* object = nullptr;
        try {
            object = new ComObject(std::forward<Args>(args)...);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const com_error& error) {
            return error.code();
        }
        object->AddRef();
        HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        IUnknown* found = nullptr;
        if (::IsEqualIID(iid, IID_IUnknown)) {
            found = Class::kInterfaces[0].cast(this);
        } else {
            for (const InterfaceEntry<Class>& entry : Class::kInterfaces) {
                if (::IsEqualIID(iid, *entry.iid)) {
                    found = entry.cast(this);
                    break;
                }
            }
        }
        if (!found) return E_NOINTERFACE;
        found->AddRef();
        *out = found;
        return S_OK;
    }

    STDMETHODIMP_(ULONG) AddRef() noexcept override {
        return static_cast<ULONG>(::InterlockedIncrement(&references_));
    }

    STDMETHODIMP_(ULONG) Release() noexcept override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

private:
    LONG references_ = 0;
};

}  // namespace win
