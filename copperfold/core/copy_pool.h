#pragma once
// Copies files on a few threads of their own, so that the waits of one copy (above all the
// flush that puts a finished file on disk before it replaces the destination) overlap with the
// work of the others. The walk hands the files over in its own order and shows their path lines
// itself; every copy stays complete and fail-safe on its own. Progress goes straight into the
// run's byte counter.
//
// While every thread is busy, the walk gathers the next small files into a batch that the next
// free thread takes as a whole: a thread then sleeps and wakes once per batch, not once per file
// (each of which costs a round trip to the system's scheduler). A batch is handed over as soon as
// a thread is free, so an idle thread never waits for a batch to fill.
//
// The walk and the threads share only atomics and events: a thread's batch is written before its
// start event is set, its results before its busy flag is cleared.

#include <atomic>
#include <chrono>
#include <cstddef>
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

    // A batch ends at this many files or once it holds this many bytes.
    static constexpr std::size_t kMostFilesPerBatch = 16;
    static constexpr std::uint64_t kMostBytesPerBatch = 4u << 20;

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

    // Adds a copy of a file of `size` bytes to the batch being gathered, and hands the batch to a
    // thread when one is free, or when the batch is full (waiting for a thread then). Copies that
    // ended without success since the last call are added to `unsuccessful`.
    void Start(const std::wstring& from, const std::wstring& to, std::uint64_t size, std::vector<Outcome>& unsuccessful,
               const WhileWaiting& whileWaiting = {});
    // The same for a copy that keeps the file it replaces at `keepAs` (FileSystem::CopyKeepingReplaced).
    void StartKeeping(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs, std::uint64_t size,
                      std::vector<Outcome>& unsuccessful, const WhileWaiting& whileWaiting = {});
    // Hands over what was gathered and waits until no copy runs; adds the copies that ended
    // without success.
    void WaitForAll(std::vector<Outcome>& unsuccessful, const WhileWaiting& whileWaiting = {});

private:
    struct Copy {
        std::wstring from;
        std::wstring to;
        std::wstring keepAs;  // empty: what `to` names is not kept
    };
    struct Slot {
        AutoResetEvent start;
        std::atomic<bool> busy{false};
        // The walk's while the slot is free, the thread's while it is busy.
        std::vector<Copy> batch;
        std::vector<Outcome> unsuccessful;
        std::thread thread;
    };

    void Work(Slot& slot);
    // Copies one file of a batch; its error, or 0.
    std::uint32_t CopyOne(const Copy& copy);
    Slot* FreeSlot() const;
    Slot& WaitForAFreeSlot(const WhileWaiting& whileWaiting);
    void HandOver(Slot& slot, std::vector<Outcome>& unsuccessful);
    static void Collect(Slot& slot, std::vector<Outcome>& unsuccessful);

    FileSystem& fs_;
    RunCounters& counters_;
    bool stopOnFailure_;
    std::vector<std::unique_ptr<Slot>> slots_;
    AutoResetEvent slotFreed_;  // set whenever a thread's batch has ended
    std::atomic<bool> quit_{false};
    std::vector<Copy> gathered_;  // the walk's: the batch not handed over yet
    std::uint64_t gatheredBytes_ = 0;
};

}  // namespace copperfold
