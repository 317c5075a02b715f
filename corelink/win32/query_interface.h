#pragma once
// QueryInterface of the component's objects: each hands out itself for IID_IUnknown and for its
// own interface, tracing which was found, and nothing else.

#include <windows.h>

#include "debug_trace.h"

namespace corelink::com {

// `self` is the object as its own interface; `ownTrace` names that interface in the trace.
template <typename Interface>
HRESULT QueryOwnInterface(Interface* self, REFIID iid, REFIID own, const char* ownTrace, void** object) {
    Trace("QueryInterface");
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        Trace("Find IID_IUnknown interface");
    } else if (IsEqualIID(iid, own)) {
        Trace(ownTrace);
    } else {
        Trace("E_NOINTERFACE");
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = self;
    self->AddRef();
    return S_OK;
}

}  // namespace corelink::com
