#pragma once
// CFactory: the class object of the component. One class identifier yields either interface, each
// from its own object: CreateInstance builds a CBaseAPI for ICorelinkCtrl and a CBaseAPI2 for
// ICorelinkCtrl2.

#include <atomic>

#include "corelink_api.h"

namespace corelink::com {

// IClassFactory has no virtual destructor; the factory is deleted only by its own Release.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class CFactory final : public IClassFactory {
public:
    CFactory() = default;
    CFactory(const CFactory&) = delete;
    CFactory& operator=(const CFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~CFactory() = default;  // only Release destroys

    std::atomic<LONG> refCount_{1};
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace corelink::com
