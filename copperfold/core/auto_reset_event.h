#pragma once
// An auto-reset event for threads of the platform-free core: Set() lets one Wait() through (now
// or later); a Set() nobody waits for yet is kept, never lost.

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

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    bool set_ = false;
};

}  // namespace copperfold
