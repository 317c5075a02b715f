// Times the copy engine on the platform's file system: one job, estimate and copy, as a run
// does it, without a window. Prints seconds and bytes; asserts nothing.
//   copy_bench.exe [--skip-same] [--keep-days N] backup|sync|restore SOURCE TARGET
// --skip-same: the job copies only new and changed files; --keep-days: it keeps what it replaces.
//   copy_bench.exe list SOURCE TARGET
// The floor of a repeat quick Backup: every folder of both trees listed through the same file
// system call the engine uses, each tree on a thread of its own, nothing compared or decided.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "copperfold/core/copy_engine.h"
#include "copperfold/win32/win32_file_system.h"

using copperfold::Win32FileSystem;

namespace {

class QuietObserver final : public copperfold::RunObserver {
public:
    void SetPathLines(const std::wstring& first, const std::wstring&) override {
        if (first.rfind(L"Copy: ", 0) == 0) ++copies;
    }
    int copies = 0;
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t error, const std::wstring&, const std::wstring&) override { std::fwprintf(stderr, L"copy failed: error %u\n", error); }
    void ShowJobRefused(const JobRecord&, const copperfold::JobRefusal& reason) override {
        std::fwprintf(stderr, L"job refused: %ls\n", copperfold::FilledText(reason.text, reason.arguments).c_str());
    }
    void EstimatePhase(bool started) override { Mark(started ? estimateStart : estimateEnd); }
    void CopyPhase(bool started) override { Mark(started ? copyStart : copyEnd); }
    static void Mark(std::chrono::steady_clock::time_point& at) { at = std::chrono::steady_clock::now(); }
    static double Between(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    }
    std::chrono::steady_clock::time_point estimateStart, estimateEnd, copyStart, copyEnd;
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}
};

// Entries below `folder` (itself not counted), listed depth first.
std::uint64_t ListTree(Win32FileSystem& files, const std::wstring& folder) {
    std::vector<copperfold::FileEntry> entries;
    if (!files.List(folder, entries)) return 0;
    std::uint64_t count = entries.size();
    for (const copperfold::FileEntry& entry : entries) {
        if (entry.IsFolder()) count += ListTree(files, copperfold::JoinPath(folder, entry.name));
    }
    return count;
}

int ListBothTrees(const std::wstring& source, const std::wstring& target) {
    Win32FileSystem fileSystem;
    std::uint64_t targetEntries = 0;
    const auto start = std::chrono::steady_clock::now();
    std::thread aside([&] { targetEntries = ListTree(fileSystem, target); });
    const std::uint64_t sourceEntries = ListTree(fileSystem, source);
    aside.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f seconds, %llu and %llu entries listed\n", seconds, static_cast<unsigned long long>(sourceEntries),
                static_cast<unsigned long long>(targetEntries));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    JobOptions options;
    int next = 1;
    for (; next < argc && argv[next][0] == L'-'; ++next) {
        const std::wstring option = argv[next];
        if (option == L"--skip-same") {
            options.skipSame = 1;
        } else if (option == L"--keep-days" && next + 1 < argc) {
            options.keepDays = static_cast<std::uint32_t>(std::wcstoul(argv[++next], nullptr, 10));
        } else {
            next = argc;  // unknown: the usage below
        }
    }
    if (argc - next != 3) {
        std::fwprintf(stderr, L"usage: copy_bench [--skip-same] [--keep-days N] backup|sync|restore SOURCE TARGET\n"
                              L"       copy_bench list SOURCE TARGET\n");
        return 2;
    }
    const std::wstring mode = argv[next];
    if (mode == L"list") return ListBothTrees(argv[next + 1], argv[next + 2]);
    const JobType type = mode == L"backup" ? JobType::Backup : mode == L"sync" ? JobType::Sync : JobType::Restore;
    copperfold::JobBatch batch;
    batch.entries[batch.count] = JobRecord{argv[next + 1], argv[next + 2], type, {}};
    batch.entries[batch.count++].options = options;

    Win32FileSystem fileSystem;
    QuietObserver observer;
    copperfold::RunCounters counters;
    copperfold::CopyEngine engine(fileSystem, observer, counters);
    const auto start = std::chrono::steady_clock::now();
    engine.RunJobs(batch, std::chrono::milliseconds(0));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f seconds, %llu bytes estimated, %llu bytes done, %d files copied\n", seconds,
                static_cast<unsigned long long>(counters.bytesTotal.load()),
                static_cast<unsigned long long>(counters.bytesDone.load()), observer.copies);
    std::printf("estimate %.3f s, copies %.3f s\n", QuietObserver::Between(observer.estimateStart, observer.estimateEnd),
                QuietObserver::Between(observer.copyStart, observer.copyEnd));
    return counters.cancelFlag.load() ? 1 : 0;
}
