// Registration of the in-process server under HKEY_CLASSES_ROOT\CLSID\{class identifier}: the
// component's name as the key's default value and the library's own path as the default value of
// InprocServer32. The path is written as UTF-16: in the system's 8-bit code page a folder name
// with characters outside it would be registered as question marks, and no client could load the
// component from there. No threading model is written, so clients get the object in their main
// single-threaded apartment. Both exports report S_OK whatever the registry said.
#include <windows.h>

#include <cstdio>
#include <string>

#include "com_boundary.h"
#include "common/win32/unique_handle.h"
#include "corelink_api.h"
#include "debug_trace.h"
#include "module.h"

namespace corelink::com {
namespace {

constexpr char kComponentName[] = "TOVI Base API Component";
constexpr char kInprocServerKey[] = "InprocServer32";
constexpr DWORD kModulePathCapacity = 32768;

// "CLSID\{6F3B2A91-...}" (the identifier in its 38-character braced form).
std::string ClassKeyPath() {
    const GUID& id = CLSID_Corelink;
    char braced[39];
    std::snprintf(braced, sizeof braced, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(id.Data1), static_cast<unsigned>(id.Data2),
                  static_cast<unsigned>(id.Data3), static_cast<unsigned>(id.Data4[0]),
                  static_cast<unsigned>(id.Data4[1]), static_cast<unsigned>(id.Data4[2]),
                  static_cast<unsigned>(id.Data4[3]), static_cast<unsigned>(id.Data4[4]),
                  static_cast<unsigned>(id.Data4[5]), static_cast<unsigned>(id.Data4[6]),
                  static_cast<unsigned>(id.Data4[7]));
    return std::string("CLSID\\") + braced;
}

win32::UniqueKey CreateKey(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return win32::UniqueKey();
    }
    return win32::UniqueKey(key);
}

void SetDefaultValue(HKEY key, const char* text) {
    ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(std::char_traits<char>::length(text) + 1));
}

std::wstring ModulePath() {
    std::wstring path(kModulePathCapacity, L'\0');
    const DWORD length = ::GetModuleFileNameW(ModuleHandle(), path.data(), kModulePathCapacity);
    path.resize(length < kModulePathCapacity ? length : 0);
    return path;
}

void RegisterServer() {
    Trace("Entry RegistrServer");
    const std::wstring modulePath = ModulePath();

    const win32::UniqueKey classKey = CreateKey(HKEY_CLASSES_ROOT, ClassKeyPath().c_str());
    if (!classKey) return;
    SetDefaultValue(classKey.get(), kComponentName);
    const win32::UniqueKey serverKey = CreateKey(classKey.get(), kInprocServerKey);
    if (!serverKey) return;
    ::RegSetValueExW(serverKey.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(modulePath.c_str()),
                     static_cast<DWORD>((modulePath.size() + 1) * sizeof(wchar_t)));
}

// Depth first: while the key has a subkey, delete the first one with its tree; then the key.
bool DeleteKeyTree(HKEY parent, const char* name) {
    {
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(parent, name, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
            return false;
        }
        const win32::UniqueKey key(opened);
        char subkey[256];  // a key name has at most 255 characters
        for (;;) {
            DWORD length = sizeof subkey;
            if (::RegEnumKeyExA(key.get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            if (!DeleteKeyTree(key.get(), subkey)) break;  // a subkey that stays would be found again
        }
    }
    return ::RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

}  // namespace
}  // namespace corelink::com

STDAPI DllRegisterServer() {
    return corelink::com::Guarded(E_OUTOFMEMORY, [] {
        corelink::com::Trace("Entry DllRegistrServer");
        corelink::com::RegisterServer();
        return S_OK;
    });
}

STDAPI DllUnregisterServer() {
    return corelink::com::Guarded(E_OUTOFMEMORY, [] {
        corelink::com::Trace("Entry DllUnregistrServer");
        corelink::com::DeleteKeyTree(HKEY_CLASSES_ROOT, corelink::com::ClassKeyPath().c_str());
        return S_OK;
    });
}
