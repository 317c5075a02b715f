// The class-object exports of the in-process server (registration is in registration.cpp).
#include <new>

#include "class_factory.h"
#include "com_boundary.h"
#include "debug_trace.h"
#include "module.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return corelink::com::Guarded(E_OUTOFMEMORY, [&] {
        corelink::com::Trace("Entry DllGetClassObject");
        if (object != nullptr) *object = nullptr;
        if (!IsEqualCLSID(clsid, CLSID_Corelink)) return CLASS_E_CLASSNOTAVAILABLE;
        auto* factory = new (std::nothrow) corelink::com::CFactory();
        if (factory == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = factory->QueryInterface(iid, object);
        factory->Release();
        return result;
    });
}

STDAPI DllCanUnloadNow() {
    return corelink::com::Guarded(S_FALSE, [] { return corelink::com::ModuleInUse() ? S_FALSE : S_OK; });
}
