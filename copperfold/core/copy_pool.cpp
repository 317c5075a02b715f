#include "copy_pool.h"

#include <algorithm>

#include "copy_engine.h"

namespace copperfold {

CopyPool::CopyPool(FileSystem& fileSystem, RunCounters& counters, int threads, bool stopOnFailure)
    : fs_(fileSystem), counters_(counters), stopOnFailure_(stopOnFailure) {
    const int count = std::clamp(threads, 1, 64);
    for (int i = 0; i < count; ++i) slots_.push_back(std::make_unique<Slot>());
    for (auto& slot : slots_) slot->thread = std::thread([this, s = slot.get()] { Work(*s); });
}

CopyPool::~CopyPool() {
    std::vector<Outcome> ignored;
    WaitForAll(ignored);
    quit_ = true;
    for (auto& slot : slots_) slot->start.Set();
    for (auto& slot : slots_) slot->thread.join();
}

void CopyPool::Work(Slot& slot) {
    for (;;) {
        slot.start.Wait();
        if (quit_.load()) return;
        std::uint64_t counted = 0;  // bytes of this file already added to bytesDone
        const CopyProgress progress = [this, &counted](std::uint64_t, std::uint64_t transferred,
                                                       CopyProgressReason reason) {
            if (counters_.cancelFlag.load() != 0) return false;
            if (reason == CopyProgressReason::ChunkFinished) {
                counters_.bytesDone += transferred - counted;
                counted = transferred;
            } else {
                counted = 0;
            }
            return true;
        };
        slot.task.error = fs_.CopyWithProgress(slot.task.from, slot.task.to, progress, counters_.cancelFlag);
        // A stopped copy stops the run, as on the walk's thread; so does a failed one when the
        // run ends at its first failure.
        if (slot.task.error == kErrorRequestAborted || (slot.task.error != 0 && stopOnFailure_)) {
            counters_.cancelFlag = 1;
        }
        slot.busy.store(false);
        slotFreed_.Set();
    }
}

void CopyPool::Collect(Slot& slot, std::vector<Outcome>& unsuccessful) {
    if (slot.task.error != 0) unsuccessful.push_back(std::move(slot.task));
    slot.task = {};
}

CopyPool::Slot* CopyPool::FreeSlot() const {
    for (const auto& slot : slots_) {
        if (!slot->busy.load()) return slot.get();
    }
    return nullptr;
}

void CopyPool::WaitForAnEnd(const WhileWaiting& whileWaiting) {
    // A copy that ends after the caller's look has set the event: no wake-up is lost.
    while (!slotFreed_.WaitFor(kWaitReportPeriod)) {
        if (whileWaiting) whileWaiting();
    }
}

void CopyPool::Start(const std::wstring& from, const std::wstring& to, std::vector<Outcome>& unsuccessful,
                     const WhileWaiting& whileWaiting) {
    Slot* slot = FreeSlot();
    while (!slot) {
        WaitForAnEnd(whileWaiting);
        slot = FreeSlot();
    }
    Collect(*slot, unsuccessful);
    slot->task.from = from;
    slot->task.to = to;
    slot->busy.store(true);
    slot->start.Set();
}

void CopyPool::WaitForAll(std::vector<Outcome>& unsuccessful, const WhileWaiting& whileWaiting) {
    for (auto& slot : slots_) {
        while (slot->busy.load()) WaitForAnEnd(whileWaiting);
        Collect(*slot, unsuccessful);
    }
}

}  // namespace copperfold
