#pragma once
// The agent's COM class: it offers no operations of its own. Its worth is activation:
// a client that creates it is connected to the running agent, or COM starts one.
#include <windows.h>
#include <oaidl.h>

#include "agent/tandels_ids.h"
#include "win/com_object.h"
#include "win/type_info_dispatch.h"

// Adds nothing to IDispatch.
struct ITandelAPI : public IDispatch {};

class CTandelAPI : public win::TypeInfoDispatch<ITandelAPI, IID_ITandelAPI> {
public:
    static constexpr win::InterfaceEntry<CTandelAPI> kInterfaces[] = {
        {&IID_ITandelAPI, &win::AsInterface<CTandelAPI, ITandelAPI>},
        {&IID_IDispatch, &win::AsInterface<CTandelAPI, IDispatch>},
    };
};

// The class factory's create function: a new object asked for `iid`.
HRESULT CreateTandelAPI(REFIID iid, void** out);
