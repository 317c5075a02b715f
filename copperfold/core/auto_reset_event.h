#pragma once
// An auto-reset event for threads of the platform-free core: Set() lets one Wait() through (now
// or later); a Set() nobody waits for yet is kept, never lost.

#include <chrono>
#include <condition_variable>
#include <mutex>

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
    void Wait() {
        std::unique_lock lock(mutex_);
        signal_.wait(lock, [this] { return set_; });
        set_ = false;
    }

    // False when `limit` passed without a Set().
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        if (!signal_.wait_for(lock, limit, [this] { return set_; })) return false;
        set_ = false;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    bool set_ = false;
};

}  // namespace copperfold
