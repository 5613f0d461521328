#include "agent/tandel_api.h"

HRESULT CreateTandelAPI(REFIID iid, void** out) {
    return win::ComObject<CTandelAPI>::Create(iid, out);
}
