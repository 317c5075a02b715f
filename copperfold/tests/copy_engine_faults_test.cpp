// What the copy engine does with what it cannot read or copy (folders, names, a drive that goes
// away) and with pairs a Sync must not decide on (a time FAT cannot hold or one in the future, a
// hidden namesake), on an in-memory file system.
#include <gtest/gtest.h>

#include <chrono>

#include "copperfold/core/copy_engine.h"
#include "copperfold/core/file_times.h"
#include "memory_file_system.h"

namespace copperfold {
namespace {

using testing_support::MemoryFileSystem;
constexpr std::uint64_t kSecond = MemoryFileSystem::kUnitsPerSecond;
constexpr std::uint64_t kDay = 24 * 3600 * kSecond;

class ProblemObserver final : public RunObserver {
public:
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t error, const std::wstring& from, const std::wstring&) override {
        copyErrors.push_back(from + L" (" + std::to_wstring(error) + L")");
    }
    void ShowJobRefused(const JobRecord&, const JobRefusal& reason) override {
        refusals.push_back(FilledText(reason.text, reason.arguments));
    }
    void ShowRunProblem(const RunProblem& problem) override {
        std::wstring text = FilledText(problem.text, problem.arguments);
        if (problem.error != 0) text += L" (" + std::to_wstring(problem.error) + L")";
        (problem.failure ? failures : notes).push_back(text);
    }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}

    std::vector<std::wstring> copyErrors, refusals, failures, notes;
};

class CopyEngineFaults : public ::testing::Test {
protected:
    int Run(std::initializer_list<JobRecord> jobs) {
        observer = ProblemObserver{};
        JobBatch batch;
        for (const JobRecord& job : jobs) batch.entries[batch.count++] = job;
        engine.RunJobs(batch, std::chrono::milliseconds(0));
        return RunOutcomeCode(counters);
    }
    std::string Content(const std::wstring& path) const {
        const auto* node = fs.Find(path);
        return node ? node->content : "<missing>";
    }
    std::uint64_t TimeOf(const std::wstring& path) const {
        const auto* node = fs.Find(path);
        return node ? node->time : 0;
    }
    void AddFileAt(const std::wstring& path, const std::string& content, std::uint64_t time) {
        fs.AddFile(path, content);
        fs.SetTime(path, time);
    }

    MemoryFileSystem fs;
    ProblemObserver observer;
    RunCounters counters;
    CopyEngine engine{fs, observer, counters};
    const std::uint64_t now = FileTimeNow();
};

// A user's edit must never be overwritten by a drive's copy whose year the drive kept wrongly,
// and files of before 1980 must not be rewritten by their own copies on a FAT drive.
TEST_F(CopyEngineFaults, FatDrivesGetTimesTheyHoldAndNoFutureTimeWinsASync) {
    fs.volumes[L"C:\\"] = {L"C:\\", L"NTFS", false, 0, 0};
    fs.volumes[L"E:\\"] = {L"E:\\", L"FAT32", false, 0, 0};
    constexpr std::uint64_t y1975 = 118'153'296'000'000'000ull;
    constexpr std::uint64_t y2103 = 158'546'160'000'000'000ull;
    constexpr std::uint64_t y2150 = 173'247'552'000'000'000ull;
    AddFileAt(L"C:\\S\\1975.txt", "old", y1975);
    AddFileAt(L"C:\\S\\2150.txt", "far", y2150);
    AddFileAt(L"C:\\S\\letter.txt", "first", now - kDay);
    AddFileAt(L"C:\\S\\clock.txt", "here", now - kDay);

    EXPECT_EQ(Run({{L"C:\\S", L"E:\\B", JobType::Backup, {}}}), 0);
    EXPECT_EQ(TimeOf(L"E:\\B\\S\\1975.txt"), MemoryFileSystem::kFatEarliest) << "brought into FAT's range";
    EXPECT_EQ(TimeOf(L"E:\\B\\S\\2150.txt"), MemoryFileSystem::kFatLatest);
    EXPECT_EQ(TimeOf(L"E:\\B\\S\\letter.txt"), now - kDay) << "a time FAT holds is kept";

    fs.copies.clear();
    const JobRecord sync{L"C:\\S", L"E:\\B\\S", JobType::Sync, {}};
    EXPECT_EQ(Run({sync}), 0);
    EXPECT_TRUE(fs.copies.empty()) << "the originals and their copies of 1980 and 2107 are the same files";
    EXPECT_TRUE(observer.notes.empty());

    // After a replug the drive reads a copy's year as 2103 (the year modulo 128); meanwhile the
    // user edited the original. Another copy is 12 hours ahead (a clock off by some hours).
    fs.SetTime(L"E:\\B\\S\\letter.txt", y2103);
    AddFileAt(L"C:\\S\\letter.txt", "the user's edit", now);
    fs.SetTime(L"E:\\B\\S\\clock.txt", now + kDay / 2);
    fs.copies.clear();
    EXPECT_EQ(Run({sync, sync}), 0) << "a pair left as it is is no failure";
    EXPECT_EQ(Content(L"C:\\S\\letter.txt"), "the user's edit");
    EXPECT_EQ(Content(L"E:\\B\\S\\letter.txt"), "first");
    EXPECT_EQ(observer.notes, std::vector<std::wstring>{L"E:\\B\\S\\letter.txt is dated in the future, so it and "
                                                        L"C:\\S\\letter.txt were left as they are: neither can be "
                                                        L"taken for the newer file."})
        << "told once in the run, though two jobs met it";
    ASSERT_EQ(fs.copies.size(), 1u) << "a time within a day still counts";
    EXPECT_EQ(fs.copies[0].first, L"E:\\B\\S\\clock.txt");
    EXPECT_EQ(counters.bytesDone.load(), counters.bytesTotal.load()) << "the estimate left the pair out too";
}

TEST_F(CopyEngineFaults, NamesThatDifferOnlyInCaseAreNeverPairedCopiedOrOverwritten) {
    fs.caseSensitiveDrives.insert(L'Z');
    fs.AddFile(L"Z:\\S\\a.txt", "lower");
    fs.AddFile(L"Z:\\S\\A.txt", "upper");
    fs.AddFile(L"Z:\\S\\Docs\\report.txt", "in Docs");
    fs.AddFile(L"Z:\\S\\docs\\report.txt", "in docs");
    fs.AddFile(L"Z:\\S\\plain.txt", "plain");
    EXPECT_EQ(Run({{L"Z:\\S", L"E:\\B", JobType::Backup, {}}}), 1);
    EXPECT_EQ(Content(L"E:\\B\\S\\plain.txt"), "plain");
    EXPECT_EQ(fs.Find(L"E:\\B\\S\\a.txt"), nullptr) << "neither of a pair reaches a drive that takes them for one";
    EXPECT_EQ(fs.Find(L"E:\\B\\S\\docs"), nullptr);
    const std::vector<std::wstring> told = {
        L"The names A.txt, a.txt in the folder Z:\\S differ only in case, and Windows takes them for one name: "
        L"none of them was copied.",
        L"The names Docs, docs in the folder Z:\\S differ only in case, and Windows takes them for one name: "
        L"none of them was copied."};
    EXPECT_EQ(observer.failures, told) << "each pair once";
    EXPECT_TRUE(observer.copyErrors.empty());

    // A Sync with a drive that holds an older copy under one of the names: nothing is paired with
    // it, either way, and the other side's files of such a name are left alone too.
    AddFileAt(L"E:\\T\\A.TXT", "the drive's", 500 * kSecond);
    fs.AddFile(L"E:\\T\\Docs\\report.txt", "the drive's report", 500);
    fs.copies.clear();
    EXPECT_EQ(Run({{L"Z:\\S", L"E:\\T", JobType::Sync, {}}}), 1);
    EXPECT_EQ(Content(L"Z:\\S\\a.txt"), "lower");
    EXPECT_EQ(Content(L"Z:\\S\\A.txt"), "upper");
    EXPECT_EQ(Content(L"Z:\\S\\docs\\report.txt"), "in docs");
    EXPECT_EQ(Content(L"E:\\T\\A.TXT"), "the drive's");
    ASSERT_EQ(fs.copies.size(), 1u);
    EXPECT_EQ(fs.copies[0].second, L"E:\\T\\plain.txt");
    EXPECT_EQ(observer.failures.size(), 2u);
    EXPECT_EQ(counters.bytesDone.load(), counters.bytesTotal.load());
}

TEST_F(CopyEngineFaults, WhatARunCannotReadOrCopyIsToldAndFailsTheRun) {
    fs.AddFile(L"C:\\S\\Private\\p.txt", "p");
    fs.AddFile(L"C:\\S\\what?.txt", "a name Windows refuses");
    fs.AddFile(L"C:\\S\\a|b\\inner.txt", "in a folder Windows refuses");
    fs.AddFile(L"C:\\S\\locked.txt", "cannot be looked up", 200);
    fs.AddFile(L"C:\\S\\ok.txt", "ok");
    fs.AddFile(L"D:\\T\\locked.txt", "older", 100);
    fs.unreadable[L"C:\\S\\PRIVATE"] = 5;       // access denied
    fs.unreadable[L"C:\\S\\LOCKED.TXT"] = 32;   // in use
    for (const JobRecord& job : {JobRecord{L"C:\\S", L"D:\\B", JobType::Backup, {}}, JobRecord{L"C:\\S", L"D:\\T", JobType::Sync, {}}}) {
        const JobType type = job.type;
        EXPECT_EQ(Run({job}), 1) << job.target;
        EXPECT_EQ(Content(type == JobType::Sync ? L"D:\\T\\ok.txt" : L"D:\\B\\S\\ok.txt"), "ok") << "the rest was copied";
        std::vector<std::wstring> expected = {
            L"The folder C:\\S\\Private could not be opened, so nothing was copied into it or out of it. (5)",
            L"C:\\S\\what?.txt was not copied: its name has a character that Windows does not allow in names, such as ? * or |.",
            L"C:\\S\\a|b was not copied: its name has a character that Windows does not allow in names, such as ? * or |."};
        if (type == JobType::Sync) expected.push_back(L"The file C:\\S\\locked.txt could not be read, so it was not copied. (32)");
        std::sort(expected.begin(), expected.end());
        std::sort(observer.failures.begin(), observer.failures.end());
        EXPECT_EQ(observer.failures, expected);
    }
    EXPECT_EQ(Content(L"D:\\T\\locked.txt"), "older") << "a file Sync could not look up is not taken for deleted";

    // A Restore whose drive is not there: the job is refused, and nothing is made on the other side.
    fs.AddFile(L"E:\\Backup\\S\\a.txt", "a");
    fs.missingDrives.insert(L'E');
    fs.createdFolders.clear();
    EXPECT_EQ(Run({{L"C:\\New", L"E:\\Backup\\S", JobType::Restore, {}}}), 1);
    EXPECT_EQ(observer.refusals, std::vector<std::wstring>{L"The folder E:\\Backup\\S cannot be reached: the drive "
                                                           L"E: is not there. The job was not run."});
    EXPECT_TRUE(fs.createdFolders.empty());
}

// A drive unplugged in the middle of a job: said once, with the files not copied; the job
// stops, and the run goes on with its other jobs.
TEST_F(CopyEngineFaults, ADriveThatGoesAwayStopsItsJobAndIsToldOnce) {
    for (int i = 0; i < 10; ++i) fs.AddFile(L"E:\\B\\S\\f" + std::to_wstring(i), "data");
    fs.AddFile(L"C:\\Other\\o.txt", "o");
    int copied = 0;
    fs.onCopied = [&](const std::wstring&) {
        if (++copied == 3) fs.missingDrives.insert(L'E');
    };
    engine.SetOnCopyFailure(CopyEngine::OnCopyFailure::GoOn);
    EXPECT_EQ(Run({{L"C:\\S", L"E:\\B\\S", JobType::Restore, {}}, {L"C:\\Other", L"D:\\X", JobType::Backup, {}}}), 1);
    EXPECT_TRUE(observer.copyErrors.empty()) << "no line per file";
    EXPECT_EQ(observer.failures, std::vector<std::wstring>{L"Drive E: went away during this job, so the job was "
                                                           L"stopped: 7 of the 10 files it was to copy were not copied."});
    EXPECT_EQ(fs.copies.size(), 5u) << "three copied, one failed with the drive, then the next job's";
    EXPECT_EQ(Content(L"D:\\X\\Other\\o.txt"), "o") << "the next job ran";
}

// A hidden file is never copied or compared: a Sync leaves a file whose namesake on the other
// side is hidden as it is, either way, and says so.
TEST_F(CopyEngineFaults, ASyncLeavesAFileWithAHiddenNamesakeAsItIs) {
    fs.AddFile(L"C:\\S\\a.txt", "visible", 100);
    fs.AddFile(L"D:\\T\\a.txt", "hidden, newer", 300, kAttributeHidden);
    fs.AddFile(L"C:\\S\\b.txt", "hidden", 100, kAttributeHidden);
    fs.AddFile(L"D:\\T\\b.txt", "visible, newer", 300);
    fs.AddFile(L"C:\\S\\F\\f.txt", "in a visible folder");
    fs.AddFolder(L"D:\\T\\F", kAttributeHidden);
    fs.AddFile(L"D:\\T\\F\\f.txt", "in a hidden folder", 300);
    EXPECT_EQ(Run({{L"C:\\S", L"D:\\T", JobType::Sync, {}}}), 0);
    EXPECT_TRUE(fs.copies.empty());
    EXPECT_EQ(Content(L"C:\\S\\a.txt"), "visible");
    ASSERT_EQ(observer.notes.size(), 3u);
    EXPECT_NE(observer.notes[0].find(L"C:\\S\\a.txt was left as it is: D:\\T\\a.txt has its name but is hidden"),
              std::wstring::npos);
    EXPECT_EQ(counters.bytesTotal.load(), 0u) << "the estimate counts none of them";
}

}  // namespace
}  // namespace copperfold
