#pragma once
// Registers (or unregisters) the device component that the build puts beside the test program,
// in the test's own Wine prefix: calls its DllRegisterServer or DllUnregisterServer export.

#include <windows.h>

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

}  // namespace win32_test
