#pragma once
// A class factory that serves one object to every request.
#include <windows.h>
#include <unknwn.h>

#include "win/com_object.h"
#include "win/com_ptr.h"

namespace win {

// The first request creates the object through the create function and keeps it;
// every request, the first included, gets an interface of that same object. A
// failure to create it is kept and returned for this and every later request.
// Aggregation is refused.
class SingletonClassFactory : public IClassFactory {
public:
    // Creates a new object asked for `iid`, as ComObject<T>::Create does.
    using CreateFunction = HRESULT (*)(REFIID iid, void** out);

    explicit SingletonClassFactory(CreateFunction create) noexcept : create_(create) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override;
    STDMETHODIMP LockServer(BOOL lock) noexcept override;

    static constexpr InterfaceEntry<SingletonClassFactory> kInterfaces[] = {
        {&IID_IClassFactory, &AsInterface<SingletonClassFactory, IClassFactory>},
    };

private:
    CreateFunction create_;
    HRESULT createResult_ = S_OK;
    com_ptr<IUnknown> object_;
};

}  // namespace win
