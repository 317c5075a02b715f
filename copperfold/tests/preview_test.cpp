// The preview of a run: found by the engine over a file system that writes nothing, and the
// same, file for file, as what the run then does.
#include "copperfold/core/preview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <utility>

#include "common/core/case_fold.h"
#include "common/core/text_codec.h"
#include "copperfold/core/forwarding_file_system.h"
#include "copperfold/core/job_paths.h"
#include "memory_file_system.h"

namespace copperfold {
namespace {

using testing_support::MemoryFileSystem;

// Tells when the engine starts a job, and counts the files each job compares; shows nothing.
class JobObserver final : public RunObserver {
public:
    explicit JobObserver(std::function<void()> jobStarted) : started(std::move(jobStarted)) {}
    void FileCompared(const std::wstring&, const std::wstring&) override { ++compared.back(); }
    std::vector<std::uint64_t> compared{0};
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void ShowJobRefused(const JobRecord&, const JobRefusal&) override {}
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {
        started();
        compared.push_back(0);
    }
    void TotalKnown(std::uint64_t) override {}

private:
    std::function<void()> started;
};

// Notes, job by job, what a run did: the files it copied (with the size each had then), the
// folders it made, and what it could not copy (both files) or make.
class NotingFileSystem final : public ForwardingFileSystem {
public:
    explicit NotingFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}

    struct Job {
        std::vector<std::pair<std::wstring, std::uint64_t>> copied;
        std::vector<std::wstring> kept;  // copies whose replaced file was kept as a version
        std::vector<std::wstring> folders;
        std::vector<std::vector<std::wstring>> failed;
    };
    std::vector<Job> jobs;

    bool CreateFolder(const std::wstring& path) override {
        if (ForwardingFileSystem::CreateFolder(path)) {
            jobs.back().folders.push_back(path);
            return true;
        }
        FileEntry there;
        if (!LookUp(path, there) || !there.IsFolder()) jobs.back().failed.push_back({path});
        return false;
    }
    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) override {
        FileEntry source;
        const std::uint64_t size = LookUp(from, source) ? source.size : 0;
        const std::uint32_t error = ForwardingFileSystem::CopyWithProgress(from, to, progress, cancel);
        if (error == 0) {
            jobs.back().copied.emplace_back(to, size);
        } else {
            jobs.back().failed.push_back({from, to});
        }
        return error;
    }
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const CopyProgress& progress, const std::atomic<int>& cancel) override {
        FileEntry replaced;
        if (LookUp(to, replaced) && !replaced.IsFolder()) {
            FileEntry source;
            const std::uint64_t size = LookUp(from, source) ? source.size : 0;
            const std::uint32_t error = ForwardingFileSystem::CopyKeepingReplaced(from, to, keepAs, progress, cancel);
            if (error == 0) {
                jobs.back().copied.emplace_back(to, size);
                jobs.back().kept.push_back(to);
            } else {
                jobs.back().failed.push_back({from, to});
            }
            return error;
        }
        return CopyWithProgress(from, to, progress, cancel);
    }
};

// A folder of a job's version store (no folder of the job's own; the trees here have no other
// of that name).
bool InAVersionStore(const std::wstring& path) {
    return common::UpperCased(path).find(L"\\.COPPERFOLD-VERSIONS") != std::wstring::npos;
}

template <typename T>
std::vector<T> Sorted(std::vector<T> items) {
    std::sort(items.begin(), items.end());
    return items;
}

bool AtOrBelow(const std::wstring& path, const std::wstring& place) {
    const std::wstring inner = ComparablePath(path), outer = ComparablePath(place);
    return inner == outer || (inner.starts_with(outer) && inner.size() > outer.size() && inner[outer.size()] == L'\\');
}

// Previews `batch`, then runs it, and checks that each job of the run copied exactly the files
// its preview listed (each with the size listed), made exactly the folders listed, and failed
// exactly at the places the preview said it would.
void ExpectThePreviewIsTheRun(MemoryFileSystem& fs, const JobBatch& batch) {
    const std::vector<JobPreview> previews = PreviewBatch(fs, batch);
    ASSERT_TRUE(fs.copies.empty()) << "the preview copied";
    ASSERT_TRUE(fs.createdFolders.empty()) << "the preview made folders";

    NotingFileSystem noting(fs);
    JobObserver observer([&noting] { noting.jobs.emplace_back(); });
    RunCounters counters;
    CopyEngine engine(noting, observer, counters);
    engine.SetOnCopyFailure(CopyEngine::OnCopyFailure::GoOn);  // as the preview: on past a failed copy
    engine.RunJobs(batch, std::chrono::milliseconds(0));
    ASSERT_EQ(noting.jobs.size(), previews.size());

    SCOPED_TRACE("the preview:\n" + common::WideToUtf8(FormatPreview(previews)).value_or("?"));
    for (std::size_t i = 0; i < previews.size(); ++i) {
        SCOPED_TRACE("job " + std::to_string(i + 1));
        std::vector<std::pair<std::wstring, std::uint64_t>> listed;
        std::vector<std::wstring> kept;
        std::vector<std::wstring> folders;
        std::vector<std::wstring> failing;
        for (const PreviewEntry& entry : previews[i].entries) {
            switch (entry.kind) {
            case PreviewEntry::Kind::Folder:
                folders.push_back(entry.path);
                break;
            case PreviewEntry::Kind::FileInTheWay:
            case PreviewEntry::Kind::FolderInTheWay:
                failing.push_back(entry.path);
                break;
            case PreviewEntry::Kind::RemovedVersions:
                break;
            default:
                listed.emplace_back(entry.path, entry.size);
                if (entry.kept) kept.push_back(entry.path);
                break;
            }
        }
        const NotingFileSystem::Job& ran = noting.jobs[i];
        std::vector<std::wstring> ranFolders = ran.folders;
        std::erase_if(ranFolders, InAVersionStore);
        EXPECT_EQ(Sorted(listed), Sorted(ran.copied));
        EXPECT_EQ(Sorted(kept), Sorted(ran.kept)) << "the files kept as versions";
        EXPECT_EQ(previews[i].kept, ran.kept.size());
        EXPECT_EQ(Sorted(folders), Sorted(ranFolders));
        EXPECT_EQ(previews[i].unchanged, batch.entries[i].SkipsSame() ? observer.compared[i + 1] : 0u)
            << "the files a quick job compares";
        const auto covers = [](const std::wstring& place, const std::vector<std::wstring>& failure) {
            return std::any_of(failure.begin(), failure.end(), [&](const std::wstring& path) { return AtOrBelow(path, place); });
        };
        for (const std::vector<std::wstring>& failure : ran.failed) {
            EXPECT_TRUE(std::any_of(failing.begin(), failing.end(), [&](const std::wstring& place) {
                return covers(place, failure);
            })) << "the run failed at " << common::WideToUtf8(failure.back()).value_or("?") << ", unforeseen";
        }
        for (const std::wstring& place : failing) {
            EXPECT_TRUE(std::any_of(ran.failed.begin(), ran.failed.end(), [&](const std::vector<std::wstring>& failure) {
                return covers(place, failure);
            })) << "the run did not fail at " << common::WideToUtf8(place).value_or("?");
        }
    }
}

// Every case of the Sync rules on one tree, a Backup and a Restore beside it, and a job that is
// refused.
class PreviewTest : public ::testing::Test {
protected:
    PreviewTest() {
        constexpr std::uint64_t second = MemoryFileSystem::kUnitsPerSecond;
        fs.AddFile(L"C:\\S\\new.txt", "only in the source");
        fs.AddFile(L"C:\\S\\same.txt", "same", 100);
        fs.AddFile(L"E:\\T\\same.txt", "same", 100);
        fs.AddFile(L"C:\\S\\newer-here.txt", "newer in the source", 200);
        fs.AddFile(L"E:\\T\\newer-here.txt", "old", 100);
        fs.AddFile(L"C:\\S\\newer-there.txt", "old", 100);
        fs.AddFile(L"E:\\T\\newer-there.txt", "newer in the target", 200);
        fs.AddFile(L"C:\\S\\close.txt", "one", 100);
        fs.AddFile(L"E:\\T\\close.txt", "two", 100);
        fs.SetTime(L"E:\\T\\close.txt", 100 * second + 15 * second / 10);  // within the tolerance
        fs.AddFile(L"C:\\S\\sub\\deep.txt", "a folder only in the source");
        fs.AddFile(L"E:\\T\\only-there.txt", "only in the target");
        fs.AddFile(L"E:\\T\\tsub\\x.txt", "a folder only in the target");
        fs.AddFile(L"C:\\S\\hidden.txt", "skipped", 100, kAttributeHidden);
        fs.AddFile(L"C:\\B\\doc.txt", "backed up");
        fs.AddFolder(L"E:\\BB");
        fs.AddFile(L"E:\\RR\\back.txt", "restored");
        fs.AddFolder(L"C:\\R");

        add({L"C:\\S", L"E:\\T", JobType::Sync});
        add({L"C:\\B", L"E:\\BB", JobType::Backup});
        add({L"C:\\R", L"E:\\RR", JobType::Restore});
        add({L"C:\\B", L"C:\\B\\inside", JobType::Backup});
    }
    void add(JobRecord job) { batch.entries[batch.count++] = std::move(job); }
    static std::set<std::wstring> Upper(const std::vector<std::wstring>& paths) {
        std::set<std::wstring> upper;
        for (const std::wstring& path : paths) upper.insert(common::UpperCased(path));
        return upper;
    }

    MemoryFileSystem fs;
    JobBatch batch;
};

TEST_F(PreviewTest, APreviewWritesNothingAndTheRunAfterItDoesExactlyWhatItListed) {
    ExpectThePreviewIsTheRun(fs, batch);
}

TEST_F(PreviewTest, EachFileIsListedWithItsDirectionAndEachJobWithItsTotals) {
    const std::vector<JobPreview> previews = PreviewBatch(fs, batch);
    const auto kindOf = [&](std::size_t job, const std::wstring& path) {
        for (const PreviewEntry& entry : previews[job].entries) {
            if (entry.path == path) return static_cast<int>(entry.kind);
        }
        return -1;
    };
    using Kind = PreviewEntry::Kind;
    EXPECT_EQ(kindOf(0, L"E:\\T\\new.txt"), static_cast<int>(Kind::ToTarget));
    EXPECT_EQ(kindOf(0, L"E:\\T\\newer-here.txt"), static_cast<int>(Kind::ToTarget));
    EXPECT_EQ(kindOf(0, L"C:\\S\\newer-there.txt"), static_cast<int>(Kind::ToSource));
    EXPECT_EQ(kindOf(0, L"C:\\S\\only-there.txt"), static_cast<int>(Kind::CopiedBack));
    EXPECT_EQ(kindOf(0, L"E:\\T\\sub"), static_cast<int>(Kind::Folder));
    EXPECT_EQ(kindOf(0, L"E:\\T\\same.txt"), -1);
    EXPECT_EQ(kindOf(0, L"E:\\T\\close.txt"), -1) << "1.5 s apart: the same time";
    EXPECT_EQ(kindOf(0, L"C:\\S\\close.txt"), -1);
    EXPECT_EQ(kindOf(0, L"E:\\T\\hidden.txt"), -1);
    EXPECT_EQ(kindOf(1, L"E:\\BB\\B\\doc.txt"), static_cast<int>(Kind::ToTarget));
    EXPECT_EQ(kindOf(2, L"C:\\R\\back.txt"), static_cast<int>(Kind::ToSource));
    EXPECT_NE(previews[3].refusal, L"");
    EXPECT_TRUE(previews[3].entries.empty());
    EXPECT_EQ(previews[1].files, 1u);
    EXPECT_EQ(previews[1].bytes, 9u);

    const std::wstring text = FormatPreview(previews);
    EXPECT_TRUE(text.starts_with(L"Job 1: Sync C:\\S -> E:\\T\n")) << text;
    EXPECT_NE(text.find(L"\n  \u2192 E:\\T\\new.txt (18 bytes)\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n  + C:\\S\\only-there.txt (18 bytes)\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n  \u2190 C:\\S\\newer-there.txt (19 bytes)\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\nJob 4: Backup C:\\B -> C:\\B\\inside\n  refused: "), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n  1 folder, 1 file, 9 bytes\n"), std::wstring::npos) << text;
    EXPECT_TRUE(text.ends_with(L"bytes\n"));
    EXPECT_EQ(text, FormatPreview(PreviewBatch(fs, batch))) << "the same text again: stable for diff";

    // A moved drive shows where its target went.
    JobBatch moved;
    moved.entries[0] = batch.entries[1];
    moved.entries[0].movedFrom = L"G:\\BB";
    moved.count = 1;
    EXPECT_NE(FormatPreview(PreviewBatch(fs, moved)).find(L"\n  G:\\BB \u2192 E:\\BB (the drive moved)\n"),
              std::wstring::npos);
}

// Trees drawn from a seeded stream: the same names in each of them, with other contents, times
// and spellings of case, some hidden or read-only, and now and then a file where another tree
// has a folder of that name, or the reverse.
class TreeMaker {
public:
    explicit TreeMaker(std::uint32_t seed) : random(seed) {}

    void Fill(MemoryFileSystem& fs, const std::wstring& folder, int depth = 0) {
        fs.AddFolder(folder);
        for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"d.txt"}) {
            const std::wstring path = folder + L"\\" + Spelt(name);
            if (Chance(12)) {
                fs.AddFile(path + L"\\e.txt", Content());  // a folder where the others have a file
            } else if (Chance(2)) {
                const std::uint32_t attributes = Chance(12) ? kAttributeHidden : Chance(8) ? kAttributeReadOnly : 0;
                fs.AddFile(path, Content(), 100 * (1 + Pick(3)), attributes);
            }
        }
        for (const wchar_t* name : {L"x", L"y"}) {
            const std::wstring path = folder + L"\\" + Spelt(name);
            if (Chance(10)) {
                fs.AddFile(path, Content());  // a file where the others have a folder
            } else if (depth < 2 && Chance(2)) {
                Fill(fs, path, depth + 1);
            }
        }
    }
    bool Chance(std::uint32_t oneIn) { return random() % oneIn == 0; }

private:
    std::uint32_t Pick(std::uint32_t count) { return random() % count; }
    std::string Content() { return std::string(1 + 3 * Pick(6), 'c'); }
    std::wstring Spelt(std::wstring name) {
        if (Chance(4)) std::transform(name.begin(), name.end(), name.begin(), common::ToUpperSimple);
        return name;
    }

    std::mt19937 random;
};

// Later jobs of a run see what the earlier ones wrote (folders, files, their sizes and times),
// and so does their preview: over many drawn trees, each job's preview is what the run does.
TEST(PreviewOfSeveralJobs, EachJobsPreviewIsWhatTheRunDoesAfterTheJobsBeforeIt) {
    const JobRecord syncA{L"C:\\A", L"E:\\T", JobType::Sync};
    const JobRecord syncB{L"C:\\B", L"E:\\T", JobType::Sync};
    const JobRecord backupA{L"C:\\A", L"E:\\T", JobType::Backup};
    // The options: copy only new and changed files, keep replaced files as versions.
    const auto with = [](JobRecord job, std::uint32_t skipSame, std::uint32_t keepDays) {
        job.options = {skipSame, keepDays};
        return job;
    };
    const struct {
        const char* name;
        std::vector<JobRecord> jobs;
    } shapes[] = {
        {"two Syncs onto one target", {syncA, syncB}},
        {"a Backup, then a Sync of what it wrote", {backupA, {L"C:\\A", L"E:\\T\\A", JobType::Sync}}},
        {"a Backup, then a Sync of another folder with it", {backupA, {L"C:\\B", L"E:\\T\\A", JobType::Sync}}},
        {"a Backup, then a Restore of the same folder", {backupA, {L"C:\\A", L"E:\\T\\A", JobType::Restore}}},
        {"a Sync, then a Backup of its target", {syncA, {L"E:\\T", L"C:\\B", JobType::Backup}}},
        {"a Restore, then two Syncs", {{L"C:\\A", L"E:\\T", JobType::Restore}, syncB, syncA}},
        {"the same Sync twice", {syncA, syncA}},
        {"a quick Backup twice", {with(backupA, 1, 0), with(backupA, 1, 0)}},
        {"two Syncs keeping versions", {with(syncA, 0, 7), with(syncB, 0, 7)}},
        {"a Backup, then a quick Restore, both keeping versions",
         {with(backupA, 0, 7), with({L"C:\\A", L"E:\\T\\A", JobType::Restore}, 1, 7)}},
    };
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        for (const auto& shape : shapes) {
            SCOPED_TRACE(std::string(shape.name) + ", seed " + std::to_string(seed));
            MemoryFileSystem fs;
            TreeMaker maker(seed * 7919 + static_cast<std::uint32_t>(&shape - shapes));
            maker.Fill(fs, L"C:\\A");
            maker.Fill(fs, L"C:\\B");
            if (!maker.Chance(6)) maker.Fill(fs, L"E:\\T");  // else the first job makes it
            if (maker.Chance(2)) maker.Fill(fs, L"E:\\T\\A");
            JobBatch batch;
            for (const JobRecord& job : shape.jobs) batch.entries[batch.count++] = job;
            ExpectThePreviewIsTheRun(fs, batch);
            if (HasFailure()) return;
        }
    }
}

// A file where the other side has a folder, and the reverse, are where the run will fail, not
// copies; a target written with a trailing backslash is one folder.
TEST(PreviewOfSeveralJobs, ClashesOfFilesAndFoldersAreFailuresAndATrailingBackslashIsOneFolder) {
    MemoryFileSystem fs;
    fs.AddFile(L"C:\\S\\d\\f.txt", "in a folder");
    fs.AddFile(L"E:\\T\\d", "a file of the folder's name");
    fs.AddFile(L"C:\\S\\g.txt", "a file");
    fs.AddFile(L"E:\\T\\g.txt\\h.txt", "in a folder of the file's name");
    fs.AddFile(L"C:\\S\\ok.txt", "copied");
    fs.AddFile(L"C:\\N\\n.txt", "new");
    JobBatch batch;
    batch.entries[batch.count++] = {L"C:\\S", L"E:\\T", JobType::Sync};
    batch.entries[batch.count++] = {L"C:\\N", L"E:\\dst\\", JobType::Sync};
    batch.entries[batch.count++] = {L"C:\\S", L"E:\\B\\", JobType::Backup};

    EXPECT_EQ(FormatPreview(PreviewBatch(fs, batch)),
              L"Job 1: Sync C:\\S -> E:\\T\n"
              L"  \u2192 E:\\T\\ok.txt (6 bytes)\n"
              L"  ! C:\\S\\g.txt: a file where the other side has a folder; the run will fail here\n"
              L"  ! E:\\T\\d: a file where the other side has a folder; the run will fail here\n"
              L"  ! E:\\T\\g.txt: a folder where the other side has a file; the run will fail here\n"
              L"  0 folders, 1 file, 6 bytes, 3 places where the run will fail\n"
              L"Job 2: Sync C:\\N -> E:\\dst\\\n"
              L"  folder E:\\dst\n"
              L"  \u2192 E:\\dst\\n.txt (3 bytes)\n"
              L"  1 folder, 1 file, 3 bytes\n"
              L"Job 3: Backup C:\\S -> E:\\B\\\n"
              L"  folder E:\\B\n"
              L"  folder E:\\B\\S\n"
              L"  folder E:\\B\\S\\d\n"
              L"  \u2192 E:\\B\\S\\d\\f.txt (11 bytes)\n"
              L"  \u2192 E:\\B\\S\\g.txt (6 bytes)\n"
              L"  \u2192 E:\\B\\S\\ok.txt (6 bytes)\n"
              L"  3 folders, 3 files, 23 bytes\n"
              L"Total: 4 folders, 5 files, 32 bytes, 3 places where the run will fail\n");
    ExpectThePreviewIsTheRun(fs, batch);
}

}  // namespace
}  // namespace copperfold

namespace copperfold {
namespace {

// What a run reports besides its copies is in its preview too, and the same: names that differ
// only in case, a name Windows refuses, a folder that cannot be opened (failures of the run), a
// Sync's future-dated pair and hidden namesake (notes). Copies onto a FAT drive get the times a
// real copy there gets, so later jobs of the preview decide on them as the run does.
TEST(PreviewOfSeveralJobs, WhatTheRunWillReportAndCopiesOntoFatAreAsInTheRun) {
    MemoryFileSystem fs;
    fs.caseSensitiveDrives.insert(L'C');
    fs.AddFile(L"C:\\S\\a.txt", "lower");
    fs.AddFile(L"C:\\S\\A.txt", "upper");
    fs.AddFile(L"C:\\S\\what?.txt", "refused");
    fs.AddFile(L"C:\\S\\Locked\\x.txt", "unread");
    fs.unreadable[fs.Key(L"C:\\S\\Locked")] = 5;
    const std::uint64_t future = FileTimeNow() / MemoryFileSystem::kUnitsPerSecond + 10 * 86400;
    fs.AddFile(L"C:\\S\\future.txt", "from a wrong clock", future);
    fs.AddFile(L"E:\\T\\future.txt", "old");
    fs.AddFile(L"C:\\S\\secret.txt", "visible here");
    fs.AddFile(L"E:\\T\\secret.txt", "hidden there", 100, kAttributeHidden);
    fs.AddFile(L"C:\\S\\ok.txt", "fine");
    fs.AddFile(L"C:\\Old\\1975.txt", "written in 1975", 118'153'296'000ull / 10);  // 1975-06-01
    fs.volumes[L"F:\\"] = VolumeFacts{L"F:\\", L"FAT32", false, 0, 0};
    JobBatch batch;
    batch.entries[batch.count++] = {L"C:\\S", L"E:\\T", JobType::Sync};
    batch.entries[batch.count++] = {L"C:\\Old", L"F:\\Fat", JobType::Backup};    // the copy dated 1980
    batch.entries[batch.count++] = {L"F:\\Fat\\Old", L"D:\\Ntfs", JobType::Backup};  // and its copy
    batch.entries[batch.count++] = {L"C:\\Old", L"D:\\Ntfs\\Old", JobType::Sync};    // 1975 against 1980

    const std::vector<JobPreview> previews = PreviewBatch(fs, batch);
    const std::wstring text = FormatPreview(previews);
    ASSERT_EQ(previews[0].problems.size(), 3u) << testing::PrintToString(text);
    EXPECT_NE(previews[0].problems[0].find(L"C:\\S\\what?.txt was not copied"), std::wstring::npos);
    EXPECT_EQ(previews[0].problems[1],
              L"The folder C:\\S\\Locked could not be opened, so nothing was copied into it or out of it. (system error 5)");
    EXPECT_EQ(previews[0].problems[2],
              L"The names A.txt, a.txt in the folder C:\\S differ only in case, and Windows takes them for one name: "
              L"none of them was copied.");
    ASSERT_EQ(previews[0].notes.size(), 2u);
    EXPECT_NE(previews[0].notes[0].find(L"C:\\S\\future.txt is dated in the future"), std::wstring::npos);
    EXPECT_NE(previews[0].notes[1].find(L"E:\\T\\secret.txt has its name but is hidden"), std::wstring::npos);
    EXPECT_EQ(previews[0].failures, 3u);
    EXPECT_NE(text.find(L"\n  ! The names A.txt, a.txt in the folder C:\\S differ only in case"), std::wstring::npos);
    EXPECT_NE(text.find(L"\n  note: C:\\S\\future.txt is dated in the future"), std::wstring::npos);
    EXPECT_NE(text.find(L"\n  1 folder, 1 file, 4 bytes, 3 places where the run will fail\n"), std::wstring::npos)
        << testing::PrintToString(text);
    ASSERT_EQ(previews[3].entries.size(), 1u) << "the copy's copy is dated 1980, newer than its original";
    EXPECT_EQ(previews[3].entries[0].kind, PreviewEntry::Kind::ToSource);

    ExpectThePreviewIsTheRun(fs, batch);
    NotingFileSystem noting(fs);
    RunCounters counters;
    struct Reported final : public RunObserver {
        void SetPathLines(const std::wstring&, const std::wstring&) override {}
        void SetProgress(int) override {}
        void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
        void ShowJobRefused(const JobRecord&, const JobRefusal&) override {}
        void ShowRunProblem(const RunProblem& problem) override { (problem.failure ? failures : notes)++; }
        void EstimatePhase(bool) override {}
        void CopyPhase(bool) override {}
        void JobStarted(const JobRecord&) override {}
        void TotalKnown(std::uint64_t) override {}
        std::size_t failures = 0, notes = 0;
    } reported;
    CopyEngine(fs, reported, counters).RunJobs(batch, std::chrono::milliseconds(0));
    EXPECT_EQ(reported.failures, 3u) << "the run reports what its preview said";
    EXPECT_EQ(reported.notes, 2u);
}

}  // namespace
}  // namespace copperfold
