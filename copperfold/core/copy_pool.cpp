#include "copy_pool.h"

#include <algorithm>
#include <utility>

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

std::uint32_t CopyPool::CopyOne(const Copy& copy) {
    std::uint64_t counted = 0;  // bytes of this file already added to bytesDone
    const CopyProgress progress = [this, &counted](std::uint64_t, std::uint64_t transferred, CopyProgressReason reason) {
        if (counters_.cancelFlag.load() != 0) return false;
        if (reason == CopyProgressReason::ChunkFinished) {
            counters_.bytesDone += transferred - counted;
            counted = transferred;
        } else {
            counted = 0;
        }
        return true;
    };
    if (!copy.keepAs.empty()) {
        return fs_.CopyKeepingReplaced(copy.from, copy.to, copy.keepAs, progress, counters_.cancelFlag);
    }
    return fs_.CopyWithProgress(copy.from, copy.to, progress, counters_.cancelFlag);
}

void CopyPool::Work(Slot& slot) {
    for (;;) {
        slot.start.Wait();
        if (quit_.load()) return;
        for (Copy& copy : slot.batch) {
            // Once the run stops, the rest of the batch is not copied: it counts as stopped.
            const std::uint32_t error = counters_.cancelFlag.load() != 0 ? kErrorRequestAborted : CopyOne(copy);
            if (error == 0) continue;
            // A stopped copy stops the run, as on the walk's thread; so does a failed one when
            // the run ends at its first failure (a source that changed while it was copied is
            // no such failure, see CopyEngine::CopyFailed).
            if (error == kErrorRequestAborted || (stopOnFailure_ && error != kErrorSourceChanged)) {
                counters_.cancelFlag = 1;
            }
            slot.unsuccessful.push_back({error, std::move(copy.from), std::move(copy.to)});
        }
        slot.batch.clear();
        slot.busy.store(false);
        slotFreed_.Set();
    }
}

void CopyPool::Collect(Slot& slot, std::vector<Outcome>& unsuccessful) {
    for (Outcome& outcome : slot.unsuccessful) unsuccessful.push_back(std::move(outcome));
    slot.unsuccessful.clear();
}

CopyPool::Slot* CopyPool::FreeSlot() const {
    for (const auto& slot : slots_) {
        if (!slot->busy.load()) return slot.get();
    }
    return nullptr;
}

CopyPool::Slot& CopyPool::WaitForAFreeSlot(const WhileWaiting& whileWaiting) {
    for (;;) {
        if (Slot* slot = FreeSlot()) return *slot;
        // A batch that ends after the look above has set the event: no wake-up is lost.
        while (!slotFreed_.WaitFor(kWaitReportPeriod)) {
            if (whileWaiting) whileWaiting();
        }
    }
}

void CopyPool::HandOver(Slot& slot, std::vector<Outcome>& unsuccessful) {
    Collect(slot, unsuccessful);
    slot.batch.swap(gathered_);
    gathered_.clear();
    gatheredBytes_ = 0;
    slot.busy.store(true);
    slot.start.Set();
}

void CopyPool::Start(const std::wstring& from, const std::wstring& to, std::uint64_t size,
                     std::vector<Outcome>& unsuccessful, const WhileWaiting& whileWaiting) {
    StartKeeping(from, to, {}, size, unsuccessful, whileWaiting);
}

void CopyPool::StartKeeping(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                            std::uint64_t size, std::vector<Outcome>& unsuccessful, const WhileWaiting& whileWaiting) {
    gathered_.push_back({from, to, keepAs});
    gatheredBytes_ += size;
    if (Slot* slot = FreeSlot()) {
        HandOver(*slot, unsuccessful);
    } else if (gathered_.size() >= kMostFilesPerBatch || gatheredBytes_ >= kMostBytesPerBatch) {
        HandOver(WaitForAFreeSlot(whileWaiting), unsuccessful);
    }
}

void CopyPool::WaitForAll(std::vector<Outcome>& unsuccessful, const WhileWaiting& whileWaiting) {
    if (!gathered_.empty()) HandOver(WaitForAFreeSlot(whileWaiting), unsuccessful);
    for (auto& slot : slots_) {
        while (slot->busy.load()) {
            if (!slotFreed_.WaitFor(kWaitReportPeriod) && whileWaiting) whileWaiting();
        }
        Collect(*slot, unsuccessful);
    }
}

}  // namespace copperfold
