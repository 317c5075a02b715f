#include "module.h"

#include <atomic>

#include "common/win32/unique_handle.h"
#include "scan_lock.h"

namespace corelink::com {
namespace {

HMODULE g_module = nullptr;
std::atomic<LONG> g_liveObjects{0};
std::atomic<LONG> g_serverLocks{0};
win32::UniqueHandle g_scanLock;

}  // namespace

bool AttachModule(HMODULE module) noexcept {
    g_module = module;
    g_scanLock.reset(::CreateMutexA(nullptr, FALSE, nullptr));
    return static_cast<bool>(g_scanLock);
}

void DetachModule() noexcept { g_scanLock.reset(); }

HMODULE ModuleHandle() noexcept { return g_module; }

HANDLE ScanLock() noexcept { return g_scanLock.get(); }

void ObjectCreated() noexcept { ++g_liveObjects; }
void ObjectDestroyed() noexcept { --g_liveObjects; }

void LockModule(bool lock) noexcept {
    if (lock) {
        ++g_serverLocks;
    } else {
        --g_serverLocks;
    }
}

bool ModuleInUse() noexcept { return g_liveObjects.load() != 0 || g_serverLocks.load() != 0; }

}  // namespace corelink::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ::DisableThreadLibraryCalls(instance);
        return corelink::com::AttachModule(instance) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        corelink::com::DetachModule();
        break;
    default:
        break;
    }
    return TRUE;
}
