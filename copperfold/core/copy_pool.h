#pragma once
// Copies files on a few threads of their own, so that the waits of one copy (above all the
// flush that puts a finished file on disk before it replaces the destination) overlap with the
// work of the others. The walk hands the files over in its own order and shows their path lines
// itself; every copy stays complete and fail-safe on its own. Progress goes straight into the
// run's byte counter. The walk and the threads share only atomics and events: a thread's task
// is written before its start event is set, its result before its busy flag is cleared.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "auto_reset_event.h"
#include "file_system.h"

namespace copperfold {

struct RunCounters;

class CopyPool {
public:
    struct Outcome {
        std::uint32_t error = 0;  // never 0 in a list of outcomes: those are failures or stops
        std::wstring from;
        std::wstring to;
    };

    // `stopOnFailure`: a failed copy raises the cancel flag at once, so the copies still
    // running stop between chunks and no new one starts.
    CopyPool(FileSystem& fileSystem, RunCounters& counters, int threads, bool stopOnFailure);
    ~CopyPool();  // waits for the running copies
    CopyPool(const CopyPool&) = delete;
    CopyPool& operator=(const CopyPool&) = delete;

    // Called on the walk's thread every kWaitReportPeriod while it waits for the copies (to show
    // their progress).
    using WhileWaiting = std::function<void()>;
    static constexpr std::chrono::milliseconds kWaitReportPeriod{100};

    // Starts a copy as soon as a thread is free. Copies that ended without success since the
    // last call are added to `unsuccessful`.
    void Start(const std::wstring& from, const std::wstring& to, std::vector<Outcome>& unsuccessful,
               const WhileWaiting& whileWaiting = {});
    // Waits until no copy runs; adds the copies that ended without success.
    void WaitForAll(std::vector<Outcome>& unsuccessful, const WhileWaiting& whileWaiting = {});

private:
    struct Slot {
        AutoResetEvent start;
        std::atomic<bool> busy{false};
        Outcome task;  // the walk's while the slot is free, the thread's while it is busy
        std::thread thread;
    };

    void Work(Slot& slot);
    Slot* FreeSlot() const;
    void WaitForAnEnd(const WhileWaiting& whileWaiting);
    static void Collect(Slot& slot, std::vector<Outcome>& unsuccessful);

    FileSystem& fs_;
    RunCounters& counters_;
    bool stopOnFailure_;
    std::vector<std::unique_ptr<Slot>> slots_;
    AutoResetEvent slotFreed_;  // set whenever a thread's copy has ended
    std::atomic<bool> quit_{false};
};

}  // namespace copperfold
