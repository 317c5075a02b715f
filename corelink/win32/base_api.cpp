#include "com_boundary.h"
#include "base_api.h"

#include <new>

#include "debug_trace.h"
#include "module.h"
#include "query_interface.h"

namespace corelink::com {
namespace {

// An owned copy of `text` in the system code page; null for null text or when it cannot be made.
std::unique_ptr<char[]> AnsiCopy(const WCHAR* text) {
    if (text == nullptr) return nullptr;
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return nullptr;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[static_cast<size_t>(size)]);
    if (copy == nullptr) return nullptr;
    if (::WideCharToMultiByte(CP_ACP, 0, text, -1, copy.get(), size, nullptr, nullptr) != size) return nullptr;
    return copy;
}

}  // namespace

CBaseAPI::CBaseAPI() {
    Trace("Entry CBaseAPI function");
    Trace("Create CSTDCMDControl class");
    stdCommands_ = std::make_unique<corelink::CSTDCMDControl>();
    Trace("Create CVCommCMDControl class");
    vendorCommands_ = std::make_unique<corelink::CVCommCMDControl>();
    ObjectCreated();
}

CBaseAPI::~CBaseAPI() {
    debugDumpPath_.reset();
    vendorCommands_.reset();
    stdCommands_.reset();
    ObjectDestroyed();
}

HRESULT STDMETHODCALLTYPE CBaseAPI::QueryInterface(REFIID iid, void** object) {
    return Guarded(E_OUTOFMEMORY, [&] {
        return QueryOwnInterface<ICorelinkCtrl>(this, iid, IID_ICorelinkCtrl, "Find IID_ICorelinkCtrl interface",
                                                object);
    });
}

ULONG STDMETHODCALLTYPE CBaseAPI::AddRef() {
    return Guarded(ULONG{0}, [&] { return static_cast<ULONG>(++refCount_); });
}

ULONG STDMETHODCALLTYPE CBaseAPI::Release() {
    return Guarded(ULONG{0}, [&] {
        const LONG count = --refCount_;
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    });
}

ICorelinkCtrl* STDMETHODCALLTYPE CBaseAPI::DisableProductFilter() {
    return Guarded(static_cast<ICorelinkCtrl*>(nullptr), [&]() -> ICorelinkCtrl* {
        Trace("DisableProductFilter()");
        walk_.productFilterOff = true;
        return this;
    });
}

int STDMETHODCALLTYPE CBaseAPI::LinkTest(BYTE* probe) {
    return Guarded(0, [&] {
        Trace("LinkTest()");
        if (probe == nullptr || *probe != 0x55) return 0;
        *probe = 0xAA;
        return 1;
    });
}

int STDMETHODCALLTYPE CBaseAPI::SetDebugDmpFilePathSS(const WCHAR* folder) {
    return Guarded(0, [&] {
        Trace("SetDebugDmpFilePathSS()");
        debugDumpPath_ = AnsiCopy(folder);
        return 1;
    });
}

ICorelinkCtrl* STDMETHODCALLTYPE CBaseAPI::ForceInUSB30() {
    return Guarded(static_cast<ICorelinkCtrl*>(nullptr), [&]() -> ICorelinkCtrl* {
        Trace("ForceInUSB30()");
        walk_.usb30Only = true;
        return this;
    });
}

int STDMETHODCALLTYPE CBaseAPI::ActiveFilterDriver(int value) {
    return Guarded(0, [&] {
        Trace("ActiveFilterDriver()");
        walk_.forceSerialRead = value;
        return 1;
    });
}

}  // namespace corelink::com
