// Runs whose small files are copied on several threads at once: the same files end up in the
// same places as with one thread, the bytes add up, the user sees the files in listing order, and
// failures and cancels stop the run as they do without the threads.
#include "copperfold/core/copy_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "copperfold/core/forwarding_file_system.h"
#include "memory_file_system.h"

namespace copperfold {
namespace {

using namespace std::chrono_literals;
using testing_support::MemoryFileSystem;

// Lets four copies run at once: each one waits a moment outside the lock, so copies overlap.
class ConcurrentFileSystem final : public ForwardingFileSystem {
public:
    ConcurrentFileSystem() : ForwardingFileSystem(tree) {}

    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) override {
        const int running = ++copiesRunning;
        int seen = mostAtOnce.load();
        while (running > seen && !mostAtOnce.compare_exchange_weak(seen, running)) {
        }
        std::this_thread::sleep_for(2ms);
        std::uint32_t result = 0;
        {
            const std::lock_guard lock(mutex);
            result = tree.CopyWithProgress(from, to, progress, cancel);
        }
        --copiesRunning;
        return result;
    }
    int CopyConcurrency() const override { return 4; }

    MemoryFileSystem tree;
    std::mutex mutex;
    std::atomic<int> copiesRunning{0};
    std::atomic<int> mostAtOnce{0};
};

class Lines final : public RunObserver {
public:
    void SetPathLines(const std::wstring& first, const std::wstring&) override { firstLines.push_back(first); }
    void SetProgress(int position) override { positions.push_back(position); }
    void ShowCopyError(std::uint32_t error, const std::wstring&, const std::wstring& to) override {
        errors.push_back(error);
        failedTargets.push_back(to);
    }
    void ShowJobRefused(const JobRecord&, const JobRefusal&) override {}
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}

    std::vector<std::wstring> firstLines, failedTargets;
    std::vector<int> positions;
    std::vector<std::uint32_t> errors;
};

class CopyPoolTest : public ::testing::Test {
protected:
    void AddFiles(const std::wstring& folder, int count) {
        for (int i = 0; i < count; ++i) {
            files.tree.AddFile(folder + L"\\f" + std::to_wstring(100 + i) + L".txt", std::string(10 + i, 'a' + i % 26));
        }
    }
    void Run(std::initializer_list<JobRecord> jobs) {
        JobBatch batch;
        for (const JobRecord& job : jobs) batch.entries[batch.count++] = job;
        engine.RunJobs(batch, 0ms);
    }

    ConcurrentFileSystem files;
    Lines lines;
    RunCounters counters;
    CopyEngine engine{files, lines, counters};
};

TEST_F(CopyPoolTest, BackupAndSyncCopyEveryFileInListingOrderAndCountEveryByte) {
    AddFiles(L"C:\\S", 30);
    AddFiles(L"C:\\S\\Sub", 10);
    engine.SetLargestPooledFile(100);
    files.tree.AddFile(L"C:\\S\\big.bin", std::string(101, 'b'));  // copied on the walk's thread
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}});
    EXPECT_GT(files.mostAtOnce.load(), 1) << "small files overlap";
    for (int i = 0; i < 30; ++i) {
        const std::wstring name = L"\\f" + std::to_wstring(100 + i) + L".txt";
        EXPECT_EQ(files.tree.Find(L"E:\\T\\S" + name)->content, files.tree.Find(L"C:\\S" + name)->content);
    }
    EXPECT_NE(files.tree.Find(L"E:\\T\\S\\Sub\\f109.txt"), nullptr);
    EXPECT_EQ(files.tree.Find(L"E:\\T\\S\\big.bin")->content.size(), 101u);
    EXPECT_EQ(counters.bytesDone.load(), counters.bytesTotal.load());
    EXPECT_EQ(lines.positions.back(), kProgressRange);
    EXPECT_TRUE(std::is_sorted(lines.positions.begin(), lines.positions.end())) << "the bar never goes back";
    ASSERT_EQ(lines.firstLines.size(), 41u);
    EXPECT_EQ(lines.firstLines[0], CopyLine(L"C:\\S\\big.bin")) << "the walk's order, not the copies' ends";
    EXPECT_EQ(lines.firstLines[1], CopyLine(L"C:\\S\\f100.txt"));
    EXPECT_EQ(RunOutcomeCode(counters), 0);

    // A Sync's second pass sees every file of the first pass in place: nothing comes back twice.
    files.tree.AddFile(L"E:\\T\\S\\only-there.txt", "back");
    files.tree.copies.clear();
    Run({{L"C:\\S", L"E:\\T\\S", JobType::Sync, {}}});
    ASSERT_EQ(files.tree.copies.size(), 1u);
    EXPECT_EQ(files.tree.Find(L"C:\\S\\only-there.txt")->content, "back");
    EXPECT_EQ(RunOutcomeCode(counters), 0);
}

TEST_F(CopyPoolTest, AFailedCopyIsShownOnceAndEndsTheRunUnlessNobodyWatches) {
    AddFiles(L"C:\\S", 40);
    files.tree.AddFile(L"C:\\Other\\o.txt", "o");
    files.tree.failCopiesTo = L"E:\\T\\S\\f105.txt";
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}, {L"C:\\Other", L"E:\\T", JobType::Backup, {}}});
    EXPECT_EQ(lines.errors, std::vector<std::uint32_t>{112});
    EXPECT_EQ(lines.failedTargets, std::vector<std::wstring>{L"E:\\T\\S\\f105.txt"});
    EXPECT_EQ(files.tree.Find(L"E:\\T\\Other\\o.txt"), nullptr) << "the next job never starts";
    EXPECT_LT(files.tree.copies.size(), 40u) << "the walk stops soon after the failure";
    EXPECT_EQ(RunOutcomeCode(counters), 1);

    RunCounters unattendedCounters;
    Lines unattendedLines;
    CopyEngine unattended(files, unattendedLines, unattendedCounters);
    unattended.SetOnCopyFailure(CopyEngine::OnCopyFailure::GoOn);
    JobBatch batch;
    batch.entries[batch.count++] = {L"C:\\S", L"E:\\U", JobType::Backup, {}};
    batch.entries[batch.count++] = {L"C:\\Other", L"E:\\U", JobType::Backup, {}};
    files.tree.failCopiesTo = L"E:\\U\\S\\f105.txt";
    unattended.RunJobs(batch, 0ms);
    EXPECT_EQ(unattendedLines.errors, std::vector<std::uint32_t>{112});
    EXPECT_NE(files.tree.Find(L"E:\\U\\S\\f139.txt"), nullptr);
    EXPECT_NE(files.tree.Find(L"E:\\U\\Other\\o.txt"), nullptr);
    EXPECT_EQ(RunOutcomeCode(unattendedCounters), 1);
}

TEST_F(CopyPoolTest, ACancelStopsTheCopiesInFlightWithoutAnError) {
    AddFiles(L"C:\\S", 40);
    files.tree.stopAfterBytes = 5;  // every copy is cancelled halfway
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}});
    EXPECT_TRUE(lines.errors.empty());
    EXPECT_EQ(counters.cancelFlag.load(), 1);
    EXPECT_EQ(RunOutcomeCode(counters), 2);
    EXPECT_LE(files.tree.copies.size(), 5u) << "at most the copies already handed out";
}

}  // namespace
}  // namespace copperfold
