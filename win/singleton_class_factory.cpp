#include "win/singleton_class_factory.h"

namespace win {

STDMETHODIMP SingletonClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!object_ && SUCCEEDED(createResult_)) {
        createResult_ = create_(IID_IUnknown, object_.put_void());
        // A create function that succeeds without an object is a failure too.
        if (SUCCEEDED(createResult_) && !object_) createResult_ = E_UNEXPECTED;
    }
    if (FAILED(createResult_)) return createResult_;
    return object_->QueryInterface(iid, out);
}

STDMETHODIMP SingletonClassFactory::LockServer(BOOL lock) noexcept {
    if (lock) {
        ModuleLock::Lock();
    } else {
        ModuleLock::Unlock();
    }
    return S_OK;
}

}  // namespace win
