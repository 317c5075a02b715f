#pragma once
// A file system that notes what a run's copies did, for the run log: how many files were
// copied, their bytes, and the first copy that failed (a cancelled copy is no failure).
// Used by one run's worker thread; read once the run has ended.

#include <cstdint>
#include <string>

#include "forwarding_file_system.h"

namespace copperfold {

class RecordingFileSystem final : public ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;

    struct FailedCopy {
        std::uint32_t error = 0;  // 0: no copy failed
        std::wstring from;
        std::wstring to;
    };

    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) override {
        std::uint64_t size = 0;
        const CopyProgress noting = [&](std::uint64_t total, std::uint64_t transferred, CopyProgressReason reason) {
            size = total;
            return progress ? progress(total, transferred, reason) : true;
        };
        const std::uint32_t result = ForwardingFileSystem::CopyWithProgress(from, to, noting, cancel);
        if (result == 0) {
            ++filesCopied;
            bytesCopied += size;
        } else if (result != kErrorRequestAborted && firstFailure.error == 0) {
            firstFailure = FailedCopy{result, from, to};
        }
        return result;
    }

    std::uint64_t filesCopied = 0;
    std::uint64_t bytesCopied = 0;
    FailedCopy firstFailure;
};

}  // namespace copperfold
