#pragma once
// Process-wide state of the loaded library: its module handle, the count of live component objects
// and the server-lock count that together decide DllCanUnloadNow, and the start-up and shut-down of
// the scan lock (scan_lock.h).

#include <windows.h>

namespace corelink::com {

// Called from DllMain. Attaching fails only when the scan lock cannot be created.
bool AttachModule(HMODULE module) noexcept;
void DetachModule() noexcept;

HMODULE ModuleHandle() noexcept;

// Every CBaseAPI and CBaseAPI2 counts itself from construction to destruction.
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;

// The class object's LockServer: true increments the server-lock count, false decrements it.
void LockModule(bool lock) noexcept;

// True while an object lives or a server lock is held.
bool ModuleInUse() noexcept;

}  // namespace corelink::com
