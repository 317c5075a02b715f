#include "base_api2.h"

#include "debug_trace.h"
#include "module.h"

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
    Trace("QueryInterface");
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        Trace("Find IID_IUnknown interface");
    } else if (IsEqualIID(iid, IID_ICorelinkCtrl2)) {
        Trace("Find IID_ICorelinkCtrl2 interface");
    } else {
        Trace("E_NOINTERFACE");
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<ICorelinkCtrl2*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CBaseAPI2::AddRef() { return static_cast<ULONG>(++refCount_); }

ULONG STDMETHODCALLTYPE CBaseAPI2::Release() {
    const LONG count = --refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

}  // namespace corelink::com
