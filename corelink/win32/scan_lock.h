#pragma once
// The scan lock: one unnamed mutex per loaded library that serialises the USB port walks of all
// objects in the process (the walk state lives in the objects and the walks touch the same hubs).
// It is created when the library is loaded and closed when it is unloaded; it does not reach across
// processes. Commands, open and close take no lock.

#include <windows.h>

namespace corelink::com {

// The mutex; null only outside the library's lifetime.
HANDLE ScanLock() noexcept;

// Holds the scan lock for a scope. `Held()` is false when the wait timed out or failed; a mutex
// abandoned by a thread that ended while holding it is taken over.
class ScanLockHold {
public:
    explicit ScanLockHold(DWORD timeoutMilliseconds = INFINITE) noexcept : mutex_(ScanLock()) {
        if (mutex_ == nullptr) return;
        const DWORD wait = ::WaitForSingleObject(mutex_, timeoutMilliseconds);
        held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~ScanLockHold() {
        if (held_) ::ReleaseMutex(mutex_);
    }
    ScanLockHold(const ScanLockHold&) = delete;
    ScanLockHold& operator=(const ScanLockHold&) = delete;

    bool Held() const noexcept { return held_; }

private:
    HANDLE mutex_;
    bool held_ = false;
};

}  // namespace corelink::com
