#include "com_boundary.h"
#include "class_factory.h"

#include <new>

#include "base_api.h"
#include "base_api2.h"
#include "debug_trace.h"
#include "module.h"

namespace corelink::com {
namespace {

// Builds one object, hands out the asked interface and drops the construction reference, so a
// refused interface leaves nothing behind.
template <typename Object>
HRESULT CreateAndQuery(REFIID iid, void** object) {
    auto* created = new Object();
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CFactory::QueryInterface(REFIID iid, void** object) {
    return Guarded(E_OUTOFMEMORY, [&] {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    });
}

ULONG STDMETHODCALLTYPE CFactory::AddRef() {
    return Guarded(ULONG{0}, [&] { return static_cast<ULONG>(++refCount_); });
}

ULONG STDMETHODCALLTYPE CFactory::Release() {
    return Guarded(ULONG{0}, [&] {
        const LONG count = --refCount_;
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    });
}

HRESULT STDMETHODCALLTYPE CFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return Guarded(E_OUTOFMEMORY, [&] {
        Trace("Entry CFactory CreateInstance");
        if (object != nullptr) *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        if (IsEqualIID(iid, IID_ICorelinkCtrl)) return CreateAndQuery<CBaseAPI>(iid, object);
        if (IsEqualIID(iid, IID_ICorelinkCtrl2)) return CreateAndQuery<CBaseAPI2>(iid, object);
        // Any other identifier, IID_IUnknown included, is refused as an allocation failure.
        return E_OUTOFMEMORY;
    });
}

HRESULT STDMETHODCALLTYPE CFactory::LockServer(BOOL lock) {
    return Guarded(E_OUTOFMEMORY, [&] {
        LockModule(lock != FALSE);
        return S_OK;
    });
}

}  // namespace corelink::com
