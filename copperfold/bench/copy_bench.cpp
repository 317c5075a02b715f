// Times the copy engine on the platform's file system: one job, estimate and copy, as a run
// does it, without a window. Prints seconds and bytes; asserts nothing.
//   copy_bench.exe backup|sync|restore SOURCE TARGET
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>

#include "copperfold/core/copy_engine.h"
#include "copperfold/win32/win32_file_system.h"

using copperfold::Win32FileSystem;

namespace {

class QuietObserver final : public copperfold::RunObserver {
public:
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t error, const std::wstring&, const std::wstring&) override { std::fwprintf(stderr, L"copy failed: error %u\n", error); }
    void ShowJobRefused(const JobRecord&, const copperfold::JobRefusal& reason) override {
        std::fwprintf(stderr, L"job refused: %ls\n", copperfold::FilledText(reason.text, reason.arguments).c_str());
    }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fwprintf(stderr, L"usage: copy_bench backup|sync|restore SOURCE TARGET\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const JobType type = mode == L"backup" ? JobType::Backup : mode == L"sync" ? JobType::Sync : JobType::Restore;
    copperfold::JobBatch batch;
    batch.entries[batch.count++] = JobRecord{argv[2], argv[3], type, {}};

    Win32FileSystem fileSystem;
    QuietObserver observer;
    copperfold::RunCounters counters;
    copperfold::CopyEngine engine(fileSystem, observer, counters);
    const auto start = std::chrono::steady_clock::now();
    engine.RunJobs(batch, std::chrono::milliseconds(0));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f seconds, %llu bytes estimated, %llu bytes done\n", seconds,
                static_cast<unsigned long long>(counters.bytesTotal.load()),
                static_cast<unsigned long long>(counters.bytesDone.load()));
    return counters.cancelFlag.load() ? 1 : 0;
}
