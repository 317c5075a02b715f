#pragma once
// Registers (or unregisters) the device component that the build puts beside the test program,
// in the test's own Wine prefix: calls its DllRegisterServer or DllUnregisterServer export. And
// the class factory of a loaded copy of it, for tests that create the component directly.

#include <windows.h>
#include <unknwn.h>

#include "corelink_api.h"

#include "common/win32/system_info.h"

namespace win32_test {

inline HRESULT CallComponentRegistration(const char* exportName) {
    const HMODULE component = ::LoadLibraryW(win32::SiblingPath(win32::ModulePath(), L"Corelink.ax").c_str());
    if (!component) return E_FAIL;
    using Register = HRESULT(STDAPICALLTYPE*)();
    const auto function =
        reinterpret_cast<Register>(reinterpret_cast<void (*)()>(::GetProcAddress(component, exportName)));
    const HRESULT result = function ? function() : E_FAIL;
    ::FreeLibrary(component);
    return result;
}

// The class factory of a loaded component module (the caller releases it), or null.
inline IClassFactory* ClassFactoryOf(HMODULE component) {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void (*)()>(::GetProcAddress(component, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (!getClassObject || getClassObject(CLSID_Corelink, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
        return nullptr;
    }
    return factory;
}

}  // namespace win32_test
