#pragma once
// An auto-reset event for threads of the platform-free core: Set() lets one Wait() through (now
// or later); a Set() nobody waits for yet is kept, never lost.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace copperfold {

class AutoResetEvent {
public:
    void Set() {
        {
            const std::lock_guard lock(mutex_);
            set_ = true;
        }
        signal_.notify_one();
    }
    // With `spins`, first yields the processor up to that many times while the event is not set,
    // for a caller whose Set() is due within a fraction of a millisecond: a wait that blocks,
    // and its wake-up, are requests to the Wine server there, each costing more than that.
    void Wait(int spins = 0) {
        for (int spin = 0; spin < spins && !set_.load(std::memory_order_relaxed); ++spin) std::this_thread::yield();
        std::unique_lock lock(mutex_);
        signal_.wait(lock, [this] { return set_.load(); });
        set_ = false;
    }

    // False when `limit` passed without a Set().
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        if (!signal_.wait_for(lock, limit, [this] { return set_.load(); })) return false;
        set_ = false;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    std::atomic<bool> set_{false};  // written under mutex_; read without it only by Wait's spins
};

}  // namespace copperfold
