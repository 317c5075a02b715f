#include "com_boundary.h"
#include "base_api2.h"

#include "debug_trace.h"
#include "module.h"
#include "query_interface.h"

namespace corelink::com {

CBaseAPI2::CBaseAPI2() {
    Trace("Entry CBaseAPI2 function");
    vendorCommands_ = std::make_unique<corelink::CVCommCMDControl>();
    ObjectCreated();
}

CBaseAPI2::~CBaseAPI2() {
    vendorCommands_.reset();
    ObjectDestroyed();
}

HRESULT STDMETHODCALLTYPE CBaseAPI2::QueryInterface(REFIID iid, void** object) {
    return Guarded(E_OUTOFMEMORY, [&] {
        return QueryOwnInterface<ICorelinkCtrl2>(this, iid, IID_ICorelinkCtrl2, "Find IID_ICorelinkCtrl2 interface",
                                                 object);
    });
}

ULONG STDMETHODCALLTYPE CBaseAPI2::AddRef() {
    return Guarded(ULONG{0}, [&] { return static_cast<ULONG>(++refCount_); });
}

ULONG STDMETHODCALLTYPE CBaseAPI2::Release() {
    return Guarded(ULONG{0}, [&] {
        const LONG count = --refCount_;
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    });
}

}  // namespace corelink::com
