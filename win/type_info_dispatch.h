#pragma once
// IDispatch of a dual interface, worked from the interface's description in the
// type library this program carries as a resource of its own file.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <new>

#include "win/com_ptr.h"
#include "win/module_path.h"

namespace win {

// The type information is loaded when first asked for and kept for the object's life.
template <typename Interface, const IID& Iid>
class TypeInfoDispatch : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        *info = com_ptr<ITypeInfo>(typeInfo_).detach();
        return S_OK;
    }

    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                               DISPID* ids) noexcept override {
        if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return typeInfo_->GetIDsOfNames(names, count, ids);
    }

    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) noexcept override {
        if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return typeInfo_->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception,
                                 argumentError);
    }

private:
    HRESULT LoadTypeInfo() noexcept {
        if (typeInfo_) return S_OK;
        try {
            const std::wstring path = ModuleFilePath();
            if (path.empty()) return TYPE_E_CANTLOADLIBRARY;
            com_ptr<ITypeLib> library;
            HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
            if (FAILED(hr)) return hr;
            return library->GetTypeInfoOfGuid(Iid, typeInfo_.put());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    com_ptr<ITypeInfo> typeInfo_;
};

}  // namespace win
