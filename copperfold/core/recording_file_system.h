#pragma once
// A file system that notes what a run's copies did, for the run log: each copy that ends goes
// to the run's journal (files and bytes per job), and the first copy that failed is kept (a
// cancelled copy is no failure). Copies may end on several threads at once; the failure is
// read once the run has ended.

#include <atomic>
#include <cstdint>
#include <string>

#include "forwarding_file_system.h"
#include "run_journal.h"

namespace copperfold {

class RecordingFileSystem final : public ForwardingFileSystem {
public:
    RecordingFileSystem(FileSystem& inner, RunJournal& journal) : ForwardingFileSystem(inner), journal_(journal) {}

    struct FailedCopy {
        std::uint32_t error = 0;  // 0: no copy failed
        std::wstring from;
        std::wstring to;
    };

    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) override {
        return Noted(from, to, progress, [&](const CopyProgress& noting) {
            return ForwardingFileSystem::CopyWithProgress(from, to, noting, cancel);
        });
    }
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const CopyProgress& progress, const std::atomic<int>& cancel) override {
        return Noted(from, to, progress, [&](const CopyProgress& noting) {
            return ForwardingFileSystem::CopyKeepingReplaced(from, to, keepAs, noting, cancel);
        });
    }

    // Once the run has ended.
    const FailedCopy& FirstFailure() const { return firstFailure_; }

private:
    template <typename Copy>
    std::uint32_t Noted(const std::wstring& from, const std::wstring& to, const CopyProgress& progress, const Copy& copy) {
        std::uint64_t size = 0;
        const CopyProgress noting = [&](std::uint64_t total, std::uint64_t transferred, CopyProgressReason reason) {
            size = total;
            return progress ? progress(total, transferred, reason) : true;
        };
        const std::uint32_t result = copy(noting);
        if (result == 0) {
            journal_.CopyEnded(true, size);
        } else if (result != kErrorRequestAborted) {
            journal_.CopyEnded(false, 0);
            if (!failureClaimed_.exchange(true)) firstFailure_ = FailedCopy{result, from, to};
        }
        return result;
    }

    RunJournal& journal_;
    std::atomic<bool> failureClaimed_{false};
    FailedCopy firstFailure_;
};

}  // namespace copperfold
