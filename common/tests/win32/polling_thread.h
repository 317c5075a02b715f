#pragma once
// A question asked every 10 ms on a thread of its own, for tests whose own thread is busy (in a
// modal window, or waiting on another program) while something has to be watched for.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace testing_support {

// Asks `found` until it answers true, until `limit` has passed or until the object is destroyed.
class PollingThread {
public:
    PollingThread(std::function<bool()> found, std::chrono::milliseconds limit)
        : thread_([this, f = std::move(found), limit] {
              const auto end = std::chrono::steady_clock::now() + limit;
              while (!stop_ && std::chrono::steady_clock::now() < end) {
                  if (f()) {
                      found_ = true;
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          }) {}
    ~PollingThread() {
        stop_ = true;
        thread_.join();
    }
    PollingThread(const PollingThread&) = delete;
    PollingThread& operator=(const PollingThread&) = delete;

    bool Found() const { return found_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> found_{false};
    std::thread thread_;  // last: it starts once the flags exist
};

}  // namespace testing_support
