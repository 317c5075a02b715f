// The copy engine's rules for each job type, its byte counting and its stops, on an in-memory
// file system.
#include "copperfold/core/copy_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "copperfold/core/forwarding_file_system.h"
#include "memory_file_system.h"

namespace copperfold {
namespace {

using testing_support::MemoryFileSystem;

class RecordingObserver final : public RunObserver {
public:
    void SetPathLines(const std::wstring& first, const std::wstring& second) override {
        lines.push_back(first + L" | " + second);
    }
    void SetProgress(int position) override { positions.push_back(position); }
    void ShowCopyError(std::uint32_t error, const std::wstring&, const std::wstring&) override { errors.push_back(error); }
    void ShowJobRefused(const JobRecord& job, const JobRefusal& reason) override {
        refused.push_back(job.source);
        reasons.push_back(FilledText(reason.text, reason.arguments));
    }
    void EstimatePhase(bool started) override { events.push_back(started ? L"estimate" : L"/estimate"); }
    void CopyPhase(bool started) override { events.push_back(started ? L"copy" : L"/copy"); }
    void JobStarted(const JobRecord& job) override { events.push_back(std::wstring(job.TypeName())); }
    void TotalKnown(std::uint64_t total) override {
        totals.push_back(total);
        if (betweenEstimateAndCopy) betweenEstimateAndCopy();
    }

    std::function<void()> betweenEstimateAndCopy;  // what others do to the files meanwhile
    std::vector<std::wstring> lines, refused, reasons, events;
    std::vector<int> positions;
    std::vector<std::uint32_t> errors;
    std::vector<std::uint64_t> totals;
};

class CopyEngineTest : public ::testing::Test {
protected:
    void Run(std::initializer_list<JobRecord> jobs) {
        JobBatch batch;
        for (const JobRecord& job : jobs) batch.entries[batch.count++] = job;
        engine.RunJobs(batch, std::chrono::milliseconds(0));
    }
    std::string Content(const std::wstring& path) const {
        const auto* node = fs.Find(path);
        return node ? node->content : "<missing>";
    }

    MemoryFileSystem fs;
    RecordingObserver observer;
    RunCounters counters;
    CopyEngine engine{fs, observer, counters};
};

TEST(CopyEngineTexts, PathsAndTargets) {
    EXPECT_EQ(JoinPath(L"C:\\Data", L"a.txt"), L"C:\\Data\\a.txt");
    EXPECT_EQ(JoinPath(L"E:\\", L"a.txt"), L"E:\\a.txt");

    EXPECT_EQ(AdjustedBackupTarget(L"C:\\Data\\Photos", L"E:\\Backup"), L"E:\\Backup\\Photos");
    EXPECT_EQ(AdjustedBackupTarget(L"C:\\Data\\Photos", L"E:\\Backup\\"), L"E:\\Backup\\Photos");
    EXPECT_EQ(AdjustedBackupTarget(L"C:\\", L"E:\\Backup"), L"E:\\Backup\\") << "a drive root lands in the target";
    EXPECT_EQ(AdjustedBackupTarget(L"a\\", L"E:\\Backup"), L"E:\\Backup\\a") << "two characters: the first is used";
    EXPECT_EQ(AdjustedBackupTarget(L"Photos", L"E:\\Backup"), L"E:\\Backup") << "no backslash: target unchanged";
}

TEST(CopyEngineTexts, PathLinesAreShortenedPastTheirLimits) {
    const std::wstring fifty(50, L'a');
    EXPECT_EQ(CopyLine(fifty), L"Copy: " + fifty);
    const std::wstring fiftyOne = std::wstring(18, L'h') + std::wstring(11, L'm') + std::wstring(22, L't');
    EXPECT_EQ(CopyLine(fiftyOne), L"Copy: " + std::wstring(18, L'h') + L"........" + std::wstring(22, L't'));

    const std::wstring fiftyTwo(52, L'b');
    EXPECT_EQ(ToLine(fiftyTwo), L"To: " + fiftyTwo);
    const std::wstring fiftyThree = std::wstring(20, L'h') + std::wstring(11, L'm') + std::wstring(22, L't');
    EXPECT_EQ(ToLine(fiftyThree), L"To: " + std::wstring(20, L'h') + L"........" + std::wstring(22, L't'));
}

TEST(CopyEngineTexts, FormatSize) {
    EXPECT_EQ(FormatSize(0), L"0 ");
    EXPECT_EQ(FormatSize(999), L"999 ");
    EXPECT_EQ(FormatSize(1000), L" 1.0K ");
    EXPECT_EQ(FormatSize(1048576), L" 1.0M ");
    EXPECT_EQ(FormatSize(5ull << 30), L" 5.0G ");
    EXPECT_EQ(FormatSize(3ull << 40), L" 3.0T ");
    EXPECT_EQ(FormatSize(1023999), L"1000.0K ");
}

TEST_F(CopyEngineTest, BackupCopiesIntoTheSourcesNameAndOverwritesEveryTime) {
    fs.AddFile(L"C:\\Data\\Photos\\a.jpg", "aaaa");
    fs.AddFile(L"C:\\Data\\Photos\\Trip\\b.jpg", "bbbbbbbb");
    fs.AddFile(L"C:\\Data\\Photos\\secret.txt", "s", 100, kAttributeHidden);
    fs.AddFolder(L"C:\\Data\\Photos\\.cache", kAttributeHidden);
    fs.AddFile(L"C:\\Data\\Photos\\.cache\\c.bin", "c");
    fs.AddFolder(L"E:\\Backup");

    Run({{L"C:\\Data\\Photos", L"E:\\Backup", JobType::Backup, {}}});
    EXPECT_EQ(Content(L"E:\\Backup\\Photos\\a.jpg"), "aaaa");
    EXPECT_EQ(Content(L"E:\\Backup\\Photos\\Trip\\b.jpg"), "bbbbbbbb");
    EXPECT_EQ(fs.Find(L"E:\\Backup\\Photos\\secret.txt"), nullptr) << "hidden files are never copied";
    EXPECT_EQ(fs.Find(L"E:\\Backup\\Photos\\.cache"), nullptr) << "nor hidden folders";
    EXPECT_EQ(counters.bytesTotal, 12u) << "nor counted";
    EXPECT_EQ(counters.bytesDone, 12u);
    EXPECT_EQ(observer.positions.back(), kProgressRange);

    fs.copies.clear();
    Run({{L"C:\\Data\\Photos", L"E:\\Backup", JobType::Backup, {}}});
    EXPECT_EQ(fs.copies.size(), 2u) << "a second Backup copies every file again";
    EXPECT_TRUE(observer.errors.empty());
}

TEST_F(CopyEngineTest, LeftoversAreSkippedEverywhereAndRemovedOnlyWhereTheRunWrites) {
    fs.AddFile(L"C:\\S\\a.txt", "new");
    fs.AddFile(L"C:\\S\\b.txt.~part", "half");  // a Restore's leftover in a Backup's source
    fs.AddFile(L"E:\\T\\S\\a.txt.~part", "half", 100, kAttributeHidden);
    fs.AddFile(L"E:\\T\\S\\c.txt.~part", "visible: created, killed before it was hidden");
    fs.AddFile(L"E:\\T\\S\\notes.part", "user file", 100, kAttributeHidden);  // not ours, hidden or not
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}});
    EXPECT_EQ(fs.removedPartials, (std::vector<std::wstring>{L"E:\\T\\S\\a.txt.~part", L"E:\\T\\S\\c.txt.~part"}));
    EXPECT_EQ(Content(L"C:\\S\\b.txt.~part"), "half") << "a Backup never writes to its source";
    EXPECT_EQ(fs.Find(L"E:\\T\\S\\b.txt.~part"), nullptr) << "nor copies a leftover as a user's file";
    EXPECT_EQ(counters.bytesTotal, 3u) << "nor counts one";
    EXPECT_EQ(Content(L"E:\\T\\S\\notes.part"), "user file");
    EXPECT_EQ(Content(L"E:\\T\\S\\a.txt"), "new");

    // A Sync writes to both sides: leftovers go on both, and none travels to the other side.
    fs.removedPartials.clear();
    fs.AddFile(L"D:\\Y\\t.bin.~part", "visible leftover");
    fs.AddFile(L"D:\\Y\\Only\\u.bin.~part", "in a folder only the target has");
    Run({{L"C:\\S", L"D:\\Y", JobType::Sync, {}}});
    EXPECT_EQ(fs.removedPartials, (std::vector<std::wstring>{L"C:\\S\\b.txt.~part", L"D:\\Y\\t.bin.~part",
                                                             L"D:\\Y\\Only\\u.bin.~part"}));
    EXPECT_EQ(Content(L"D:\\Y\\a.txt"), "new");
    EXPECT_EQ(fs.Find(L"C:\\S\\t.bin.~part"), nullptr);
    EXPECT_EQ(fs.Find(L"C:\\S\\Only\\u.bin.~part"), nullptr);

    // A Restore writes to the job's source only.
    fs.removedPartials.clear();
    fs.AddFile(L"C:\\R\\r.~part", "x");
    fs.AddFile(L"D:\\B\\b.~part", "x");
    fs.AddFile(L"D:\\B\\b", "b");
    Run({{L"C:\\R", L"D:\\B", JobType::Restore, {}}});
    EXPECT_EQ(fs.removedPartials, std::vector<std::wstring>{L"C:\\R\\r.~part"});
}

TEST_F(CopyEngineTest, BackupOfADriveRootAndOfAnEmptyFolder) {
    fs.AddFile(L"C:\\top.txt", "t");
    fs.AddFile(L"C:\\Docs\\d.txt", "d");
    fs.AddFolder(L"E:\\Backup");
    Run({{L"C:\\", L"E:\\Backup", JobType::Backup, {}}});
    EXPECT_EQ(Content(L"E:\\Backup\\top.txt"), "t");
    EXPECT_EQ(Content(L"E:\\Backup\\Docs\\d.txt"), "d");

    fs.AddFolder(L"C:\\Empty");
    Run({{L"C:\\Empty", L"F:\\Target", JobType::Backup, {}}});
    ASSERT_NE(fs.Find(L"F:\\Target\\Empty"), nullptr) << "the target and its subfolder are created";
    EXPECT_TRUE(fs.Find(L"F:\\Target\\Empty")->folder);
}

TEST_F(CopyEngineTest, RestoreCreatesAMissingSourceAndCopiesTheTargetIntoIt) {
    fs.AddFile(L"E:\\Backup\\Photos\\a.jpg", "aaaa");
    fs.AddFile(L"E:\\Backup\\Photos\\Sub\\b.jpg", "bb");
    Run({{L"C:\\Data\\Photos", L"E:\\Backup\\Photos", JobType::Restore, {}}});
    EXPECT_EQ(Content(L"C:\\Data\\Photos\\a.jpg"), "aaaa");
    EXPECT_EQ(Content(L"C:\\Data\\Photos\\Sub\\b.jpg"), "bb");
    EXPECT_EQ(counters.bytesTotal, 6u) << "Restore counts the target";
}

TEST_F(CopyEngineTest, SyncMakesBothSidesConsistentAndNeverDeletes) {
    fs.AddFile(L"C:\\S\\newer-here.txt", "source wins", 200);
    fs.AddFile(L"D:\\T\\newer-here.txt", "old", 100);
    fs.AddFile(L"C:\\S\\newer-there.txt", "old", 100);
    fs.AddFile(L"D:\\T\\newer-there.txt", "target wins", 300);
    fs.AddFile(L"C:\\S\\same-time.txt", "short", 100);
    fs.AddFile(L"D:\\T\\same-time.txt", "much longer", 100);
    fs.AddFile(L"C:\\S\\only-source.txt", "s");
    fs.AddFile(L"D:\\T\\only-target.txt", "t");
    fs.AddFile(L"D:\\T\\Only Target Folder\\deep.txt", "deep");
    fs.AddFolder(L"D:\\T\\Empty Target Folder");
    fs.AddFile(L"D:\\T\\hidden.txt", "h", 100, kAttributeHidden);

    Run({{L"C:\\S", L"D:\\T", JobType::Sync, {}}});
    EXPECT_EQ(Content(L"D:\\T\\newer-here.txt"), "source wins");
    EXPECT_EQ(Content(L"C:\\S\\newer-there.txt"), "target wins");
    EXPECT_EQ(Content(L"C:\\S\\same-time.txt"), "short") << "equal times count as identical";
    EXPECT_EQ(Content(L"D:\\T\\same-time.txt"), "much longer");
    EXPECT_EQ(Content(L"D:\\T\\only-source.txt"), "s");
    EXPECT_EQ(Content(L"C:\\S\\only-target.txt"), "t");
    EXPECT_EQ(Content(L"C:\\S\\Only Target Folder\\deep.txt"), "deep");
    EXPECT_NE(fs.Find(L"C:\\S\\Empty Target Folder"), nullptr);
    EXPECT_EQ(fs.Find(L"C:\\S\\hidden.txt"), nullptr);
    EXPECT_EQ(fs.Files().size(), 13u) << "ten files before, three copied to the side that lacked them";

    // The compared file's size counts toward the bar, which ends full.
    EXPECT_EQ(counters.bytesDone.load(), counters.bytesTotal.load());
    EXPECT_EQ(observer.positions.back(), kProgressRange);
    EXPECT_NE(std::find(observer.lines.begin(), observer.lines.end(),
                        L"Compare: C:\\S\\same-time.txt | With: D:\\T\\same-time.txt"),
              observer.lines.end());
}

TEST_F(CopyEngineTest, SyncEstimateAddsTheNewerSideOfEachFile) {
    fs.AddFile(L"C:\\S\\a", "12345", 200);       // source newer: 5
    fs.AddFile(L"D:\\T\\a", "1", 100);
    fs.AddFile(L"C:\\S\\b", "1", 100);           // target newer: 3
    fs.AddFile(L"D:\\T\\b", "123", 300);
    fs.AddFile(L"C:\\S\\c", "12", 100);          // equal: the source's 2
    fs.AddFile(L"D:\\T\\c", "1234567", 100);
    fs.AddFile(L"D:\\T\\Only\\x", "1234");       // target only: 4
    EXPECT_EQ(engine.EstimateSync(L"C:\\S", L"D:\\T"), 4u);
    EXPECT_EQ(counters.bytesTotal, 14u);

    counters.bytesTotal = 0;
    EXPECT_EQ(engine.EstimateSync(L"C:\\Missing", L"D:\\T"), 4u) << "an unlistable side counts the other";
    EXPECT_EQ(counters.bytesTotal, 15u);
}

TEST_F(CopyEngineTest, ReadOnlyFilesAreOverwrittenWithTheOtherSidesAttributes) {
    fs.AddFile(L"C:\\S\\a.txt", "new", 100, 0x20);
    fs.AddFile(L"E:\\T\\S\\a.txt", "old", 100, kAttributeReadOnly | kAttributeHidden);
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}});
    EXPECT_TRUE(observer.errors.empty());
    EXPECT_EQ(Content(L"E:\\T\\S\\a.txt"), "new");
}

TEST_F(CopyEngineTest, CancelStopsWithoutAnErrorAndAFailedCopyEndsTheRun) {
    fs.AddFile(L"C:\\S\\big.bin", std::string(400, 'x'));
    fs.AddFile(L"C:\\S\\next.bin", "n");
    fs.AddFile(L"C:\\Other\\o.bin", "o");
    fs.stopAfterBytes = 100;
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}, {L"C:\\Other", L"E:\\T", JobType::Backup, {}}});
    EXPECT_TRUE(observer.errors.empty()) << "a cancelled copy shows no error";
    EXPECT_EQ(counters.cancelFlag, 1);
    EXPECT_EQ(fs.Find(L"E:\\T\\S\\big.bin"), nullptr);
    EXPECT_EQ(fs.copies.size(), 1u) << "the walk and the job loop stop";
    EXPECT_EQ(RunOutcomeCode(counters), 2);

    RunCounters fresh;
    MemoryFileSystem failing;
    failing.AddFile(L"C:\\S\\a.bin", "a");
    failing.AddFile(L"C:\\S\\b.bin", "b");
    failing.AddFile(L"C:\\Other\\o.bin", "o");
    failing.failCopiesTo = L"E:\\T\\S\\a.bin";
    RecordingObserver seen;
    CopyEngine failingEngine(failing, seen, fresh);
    JobBatch batch;
    batch.entries[batch.count++] = {L"C:\\S", L"E:\\T", JobType::Backup, {}};
    batch.entries[batch.count++] = {L"C:\\Other", L"E:\\T", JobType::Backup, {}};
    failingEngine.RunJobs(batch, std::chrono::milliseconds(0));
    EXPECT_EQ(seen.errors, std::vector<std::uint32_t>{112});
    EXPECT_EQ(failing.copies.size(), 1u);
    EXPECT_EQ(failing.Find(L"E:\\Other\\o.bin"), nullptr) << "a failed copy ends the whole run";
    EXPECT_EQ(RunOutcomeCode(fresh), 1);
}

TEST_F(CopyEngineTest, JobsThatCannotRunAreRefusedAndTheOthersRun) {
    fs.AddFile(L"C:\\Data\\a.txt", "a");
    const JobRecord inside{L"C:\\Data", L"C:\\Data\\Backup", JobType::Sync, {}};
    const JobRecord backupIntoItself{L"C:\\Data", L"C:\\", JobType::Backup, {}};
    const JobRecord unknown{L"C:\\Data", L"E:\\X", JobType::Unknown, L"Mirror"};
    const JobRecord good{L"C:\\Data", L"E:\\Good", JobType::Backup, {}};
    EXPECT_FALSE(JobRefusalReason(inside).empty());
    EXPECT_FALSE(JobRefusalReason(backupIntoItself).empty()) << "C:\\Data into C:\\ lands on C:\\Data itself";
    EXPECT_FALSE(JobRefusalReason({L"E:\\Backup\\Data", L"E:\\backup", JobType::Restore, {}}).empty());
    EXPECT_TRUE(JobRefusalReason({L"C:\\Data", L"C:\\Database", JobType::Sync, {}}).empty());
    EXPECT_TRUE(JobRefusalReason(good).empty());

    Run({inside, unknown, good});
    EXPECT_EQ(observer.refused.size(), 2u);
    EXPECT_EQ(Content(L"E:\\Good\\Data\\a.txt"), "a");
    EXPECT_EQ(counters.bytesTotal, 1u) << "refused jobs are not estimated";
    EXPECT_EQ(RunOutcomeCode(counters), 1);
}

// An empty folder used to read as the current drive's root, and a path that is not full as
// something relative to wherever the program was started.
TEST_F(CopyEngineTest, JobsWithAnEmptyOrRelativeFolderAreRefusedAndTouchNothing) {
    fs.AddFile(L"C:\\Data\\a.txt", "a");
    fs.AddFile(L"C:\\top.txt", "t");
    for (const wchar_t* bad : {L"", L" ", L"Data", L"C:", L"C:Data", L"\\\\server", L"\\\\server\\",
                               L"\\\\.\\C:\\Data", L"\\Data", L"/Data"}) {
        for (const JobType type : {JobType::Backup, JobType::Sync, JobType::Restore}) {
            EXPECT_FALSE(JobRefusalReason({bad, L"E:\\T", type, {}}).empty()) << testing::PrintToString(std::wstring(bad));
            EXPECT_FALSE(JobRefusalReason({L"C:\\Data", bad, type, {}}).empty()) << testing::PrintToString(std::wstring(bad));
        }
    }
    for (const wchar_t* full : {L"C:\\Data", L"c:/Data", L"\\\\server\\share", L"\\\\server\\share\\x", L"\\\\?\\C:\\Data",
                                L"\\\\?\\UNC\\server\\share\\x"}) {
        EXPECT_TRUE(JobRefusalReason({full, L"E:\\T", JobType::Sync, {}}).empty()) << testing::PrintToString(std::wstring(full));
    }

    const std::size_t filesBefore = fs.Files().size();
    Run({{L"C:\\Data", L"", JobType::Sync, {}}, {L"", L"E:\\T", JobType::Backup, {}}, {L"", L"", JobType::Restore, {}}});
    EXPECT_EQ(observer.refused.size(), 3u);
    EXPECT_EQ(fs.Files().size(), filesBefore) << "nothing copied anywhere";
    EXPECT_TRUE(fs.createdFolders.empty());
    EXPECT_EQ(fs.listings, 0) << "nothing walked, not even for the estimate";
    EXPECT_EQ(RunOutcomeCode(counters), 1);
}

TEST_F(CopyEngineTest, FoldersInsideEachOtherAreFoundWhateverTheSpelling) {
    fs.AddFile(L"C:\\sc\\src\\a.txt", "a");
    fs.AddFolder(L"C:\\sc\\src\\inner");
    const JobRecord dotted{L"C:\\sc\\.\\src", L"C:\\sc\\src\\inner", JobType::Backup, {}};
    const JobRecord climbing{L"C:\\sc\\other\\..\\src\\", L"c:/SC/src//inner", JobType::Sync, {}};
    const JobRecord trailingDots{L"C:\\sc\\src.. ", L"C:\\sc\\src\\inner", JobType::Sync, {}};
    for (const JobRecord& job : {dotted, climbing, trailingDots}) {
        EXPECT_FALSE(JobRefusalReason(job).empty()) << testing::PrintToString(job.source);
    }
    EXPECT_TRUE(JobRefusalReason({L"C:\\sc\\src", L"C:\\sc\\src...x\\inner", JobType::Sync, {}}).empty())
        << "dots inside a name are part of it";

    // Drive aliases and links: only the system knows; the engine asks it where both exist.
    fs.aliases[L"X:\\"] = L"C:\\sc";
    const JobRecord aliased{L"C:\\sc\\src", L"X:\\src\\inner\\new", JobType::Sync, {}};
    EXPECT_TRUE(JobRefusalReason(aliased).empty()) << "spelt apart";
    Run({dotted, climbing, trailingDots, aliased});
    EXPECT_EQ(observer.refused.size(), 4u);
    EXPECT_TRUE(fs.copies.empty());
    EXPECT_TRUE(fs.createdFolders.empty());
}

TEST_F(CopyEngineTest, JobFoldersAreTakenInTheSystemsFullForm) {
    fs.AddFile(L"C:\\Data\\Photos\\a.jpg", "a");
    fs.AddFile(L"C:\\Data\\Photos\\b.jpg", "b");
    Run({{L"C:\\Data\\Photos.", L"E:\\Backup. ", JobType::Backup, {}},
         {L"C:\\Data\\.\\Photos", L"E:\\Sync\\x\\..\\Photos  ", JobType::Sync, {}}});
    EXPECT_TRUE(observer.refused.empty());
    EXPECT_EQ(Content(L"E:\\Backup\\Photos\\a.jpg"), "a") << "not a folder \"Photos.\" beside Photos";
    EXPECT_EQ(Content(L"E:\\Sync\\Photos\\b.jpg"), "b");
    EXPECT_EQ(counters.bytesTotal, 4u) << "the estimate sees the same folders";
    for (const std::wstring& folder : fs.createdFolders) {
        EXPECT_TRUE(folder.back() != L'.' && folder.back() != L' ') << testing::PrintToString(folder);
    }
    EXPECT_EQ(RunOutcomeCode(counters), 0);
}

TEST_F(CopyEngineTest, ARunEstimatesAllJobsFirstThenCopiesJobByJob) {
    fs.AddFile(L"C:\\A\\a", "12");
    fs.AddFile(L"E:\\B\\b", "123");
    fs.AddFile(L"C:\\S\\s", "1234");
    Run({{L"C:\\A", L"E:\\T", JobType::Backup, {}},
         {L"C:\\R", L"E:\\B", JobType::Restore, {}},
         {L"C:\\S", L"E:\\S", JobType::Sync, {}}});
    EXPECT_EQ(observer.events, (std::vector<std::wstring>{L"estimate", L"/estimate", L"copy", L"Backup", L"Restore",
                                                          L"Sync", L"/copy"}));
    EXPECT_EQ(observer.totals, std::vector<std::uint64_t>{9});
    EXPECT_EQ(RunOutcomeCode(counters), 0);

    RecordingObserver empty;
    RunCounters emptyCounters;
    CopyEngine emptyRun(fs, empty, emptyCounters);
    emptyRun.RunJobs(JobBatch{}, std::chrono::milliseconds(0));
    EXPECT_EQ(empty.totals, std::vector<std::uint64_t>{0});
    EXPECT_TRUE(empty.positions.empty()) << "nothing moved, the bar stays at 0";
}

class CancelAfterTheJobs final : public RunObserver {
public:
    explicit CancelAfterTheJobs(RunCounters& run) : counters(run) {}
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void ShowJobRefused(const JobRecord&, const JobRefusal&) override {}
    void EstimatePhase(bool) override {}
    // The user confirms Cancel while the finished run stays on screen.
    void CopyPhase(bool started) override {
        if (!started) counters.cancelFlag = 1;
    }
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}
    RunCounters& counters;
};

// Cancels the run when the engine first asks whether `path` is there.
class CancelOnLookingFor final : public ForwardingFileSystem {
public:
    CancelOnLookingFor(FileSystem& inner, RunCounters& run, std::wstring path)
        : ForwardingFileSystem(inner), counters(run), trigger(std::move(path)) {}
    bool Exists(const std::wstring& path) override {
        if (path == trigger) counters.cancelFlag = 1;
        return ForwardingFileSystem::Exists(path);
    }
    RunCounters& counters;
    std::wstring trigger;
};

class RecordingProblems final : public RunObserver {
public:
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void ShowJobRefused(const JobRecord&, const JobRefusal&) override {}
    void ShowRunProblem(const RunProblem& problem) override { shown.push_back(FilledText(problem.text, problem.arguments)); }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}
    std::vector<std::wstring> shown;
};

JobBatch BatchOnto(const std::wstring& target) {
    JobBatch batch;
    batch.entries[batch.count++] = {L"C:\\S", target, JobType::Backup, {}};
    return batch;
}

TEST_F(CopyEngineTest, ACancelAfterTheLastJobIsDoneChangesNothing) {
    fs.AddFile(L"C:\\S\\a", "a");
    CancelAfterTheJobs lateCancel(counters);
    CopyEngine late(fs, lateCancel, counters);
    JobBatch batch;
    batch.entries[batch.count++] = {L"C:\\S", L"E:\\T", JobType::Backup, {}};
    late.RunJobs(batch, std::chrono::milliseconds(0));
    EXPECT_EQ(Content(L"E:\\T\\S\\a"), "a");
    EXPECT_EQ(counters.cancelFlag, 1);
    EXPECT_EQ(RunOutcomeCode(counters), 0) << "every job was done";

    // A cancel that stops the last job's walk is a cancel.
    counters.cancelFlag = 0;
    fs.chunkSize = 1;
    fs.stopAfterBytes = 2;
    fs.AddFile(L"C:\\S\\b", "bbbb");
    late.RunJobs(batch, std::chrono::milliseconds(0));
    EXPECT_EQ(Content(L"E:\\T\\S\\b"), "<missing>");
    EXPECT_EQ(RunOutcomeCode(counters), 2);
    counters.cancelFlag = 1;
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}});
    EXPECT_EQ(RunOutcomeCode(counters), 2) << "cancelled before the job was done";

    // A cancel that comes just before the job's target folder is made: the folder is missing
    // because of the cancel, which is no failure.
    counters.cancelFlag = 0;
    CancelOnLookingFor cancelling(fs, counters, L"E:\\New\\S");
    RecordingProblems problems;
    CopyEngine stopped(cancelling, problems, counters);
    stopped.RunJobs(BatchOnto(L"E:\\New"), std::chrono::milliseconds(0));
    EXPECT_EQ(RunOutcomeCode(counters), 2);
    EXPECT_TRUE(problems.shown.empty()) << problems.shown.front();
}

TEST_F(CopyEngineTest, ARunNobodyWatchesGoesOnAfterAFailedCopy) {
    fs.AddFile(L"C:\\S\\a.bin", "a");
    fs.AddFile(L"C:\\S\\b.bin", "b");
    fs.AddFile(L"C:\\Other\\o.bin", "o");
    fs.failCopiesTo = L"E:\\T\\S\\a.bin";
    engine.SetOnCopyFailure(CopyEngine::OnCopyFailure::GoOn);
    Run({{L"C:\\S", L"E:\\T", JobType::Backup, {}}, {L"C:\\Other", L"E:\\T", JobType::Backup, {}}});
    EXPECT_EQ(observer.errors, std::vector<std::uint32_t>{112});
    EXPECT_EQ(Content(L"E:\\T\\S\\b.bin"), "b") << "the next file";
    EXPECT_EQ(Content(L"E:\\T\\Other\\o.bin"), "o") << "and the next job";
    EXPECT_EQ(counters.cancelFlag, 0);
    EXPECT_EQ(RunOutcomeCode(counters), 1) << "the failure still shows in the exit status";
}

TEST_F(CopyEngineTest, MakePathCreatesEveryMissingParent) {
    EXPECT_EQ(engine.MakePath(L"E:\\a\\b\\c"), 1);
    EXPECT_EQ(fs.createdFolders, (std::vector<std::wstring>{L"E:\\a", L"E:\\a\\b", L"E:\\a\\b\\c"}));
    EXPECT_EQ(engine.MakePath(L"nothing"), 0);
    counters.cancelFlag = 1;
    EXPECT_EQ(engine.MakePath(L"E:\\x\\y"), 0);
    EXPECT_EQ(fs.Find(L"E:\\x"), nullptr);
}

// A no-op Sync lists each folder once per side, in its estimate, and never looks files up one by
// one (a lookup by name is expensive on some file systems).
TEST_F(CopyEngineTest, ANoOpSyncListsEachFolderOncePerSideAndLooksNothingUpByName) {
    for (int folder = 0; folder < 5; ++folder) {
        for (int file = 0; file < 20; ++file) {
            const std::wstring name = L"\\F" + std::to_wstring(folder) + L"\\f" + std::to_wstring(file);
            fs.AddFile(L"C:\\S" + name, "x", 100);
            fs.AddFile(L"D:\\T" + name, "x", 100);
        }
    }
    Run({{L"C:\\S", L"D:\\T", JobType::Sync, {}}});
    EXPECT_TRUE(fs.copies.empty());
    EXPECT_EQ(fs.lookups, 2) << "the job's two folders, nothing else";
    EXPECT_EQ(fs.listings, 2 * 6) << "two sides, six folders";
    EXPECT_EQ(counters.bytesDone.load(), 100u);

    // The same job again, when a copy changes one folder: that folder is listed anew for the
    // second pass, the others are not.
    fs.listings = 0;
    fs.AddFile(L"C:\\S\\F2\\new", "n", 300);
    Run({{L"C:\\S", L"D:\\T", JobType::Sync, {}}});
    EXPECT_EQ(Content(L"D:\\T\\F2\\new"), "n");
    EXPECT_EQ(fs.listings, 2 * 6 + 1);
}

// A run lists a Sync job's folders in its estimate and copies later: whatever changed in between
// decides, and nothing newer is overwritten by what the listing saw.
TEST_F(CopyEngineTest, SyncCopiesByTheFilesAsTheyAreNotAsTheEstimateSawThem) {
    fs.AddFile(L"C:\\S\\edited-there", "old", 100);
    fs.AddFile(L"D:\\T\\edited-there", "older", 50);
    fs.AddFile(L"C:\\S\\created-there", "source", 100);
    fs.AddFile(L"D:\\T\\created-here", "target", 100);
    fs.AddFile(L"C:\\S\\removed", "gone soon", 200);
    fs.AddFile(L"D:\\T\\removed", "older", 100);
    fs.AddFile(L"C:\\S\\same", "same", 100);
    fs.AddFile(L"D:\\T\\same", "same", 100);
    observer.betweenEstimateAndCopy = [this] {
        fs.AddFile(L"D:\\T\\edited-there", "the user's edit", 300);
        fs.AddFile(L"D:\\T\\created-there", "made meanwhile", 300);
        fs.AddFile(L"C:\\S\\created-here", "made meanwhile too", 50);
        fs.AddFile(L"D:\\T\\same", "edited", 300);
        fs.RemoveForTest(L"C:\\S\\removed");
    };
    Run({{L"C:\\S", L"D:\\T", JobType::Sync, {}}});
    EXPECT_EQ(Content(L"D:\\T\\edited-there"), "the user's edit");
    EXPECT_EQ(Content(L"C:\\S\\edited-there"), "the user's edit") << "the newer side is copied";
    EXPECT_EQ(Content(L"D:\\T\\created-there"), "made meanwhile");
    EXPECT_EQ(Content(L"C:\\S\\created-there"), "made meanwhile");
    EXPECT_EQ(Content(L"C:\\S\\created-here"), "made meanwhile too") << "the second pass leaves a present file";
    EXPECT_EQ(Content(L"D:\\T\\removed"), "older") << "nothing to copy, and no error";
    EXPECT_EQ(Content(L"D:\\T\\same"), "edited") << "seen as the same file: counted, not copied";
    EXPECT_EQ(Content(L"C:\\S\\same"), "same");
    EXPECT_TRUE(observer.errors.empty());
    EXPECT_EQ(RunOutcomeCode(counters), 0);
}

// Jobs of one run that share folders: a later Sync job sees what the earlier jobs wrote, though
// the estimate listed its folders before anything was copied.
TEST_F(CopyEngineTest, ALaterSyncJobSeesWhatTheRunsEarlierJobsWrote) {
    fs.AddFile(L"C:\\Photos\\new.jpg", "new photo", 500);
    fs.AddFile(L"C:\\Photos\\old.jpg", "edited photo", 500);
    fs.AddFile(L"E:\\Photos\\old.jpg", "old photo", 100);
    fs.AddFile(L"F:\\Photos\\old.jpg", "old photo, second copy", 200);
    // The Sync job spells the folder the Backup writes to in other letters.
    Run({{L"C:\\Photos", L"E:\\", JobType::Backup, {}}, {L"e:\\PHOTOS", L"F:\\Photos", JobType::Sync, {}}});
    EXPECT_EQ(Content(L"E:\\Photos\\new.jpg"), "new photo");
    EXPECT_EQ(Content(L"F:\\Photos\\new.jpg"), "new photo");
    EXPECT_EQ(Content(L"E:\\Photos\\old.jpg"), "edited photo") << "not the older copy of F:";
    EXPECT_EQ(Content(L"F:\\Photos\\old.jpg"), "edited photo");
}

// Copies on file systems that keep times coarsely or in local time: a second Sync copies nothing.
TEST_F(CopyEngineTest, SyncTakesTimesWithinTwoSecondsAndADaylightSavingHourOnFatAsTheSame) {
    constexpr std::uint64_t second = MemoryFileSystem::kUnitsPerSecond;
    constexpr std::uint64_t base = 13'300'000'000ull * second;
    fs.volumes[L"C:\\"] = {L"C:\\", L"NTFS", false, 0, 0};
    fs.volumes[L"E:\\"] = {L"E:\\", L"FAT32", false, 0, 0};
    fs.volumes[L"F:\\"] = {L"F:\\", L"NTFS", false, 0, 0};
    auto pair = [&](const std::wstring& name, std::uint64_t sourceTime, std::uint64_t copyTime, const char* copy) {
        fs.AddFile(L"C:\\S\\" + name, "same size");
        fs.SetTime(L"C:\\S\\" + name, sourceTime);
        for (const wchar_t* drive : {L"E:\\T\\", L"F:\\T\\"}) {
            fs.AddFile(drive + name, copy);
            fs.SetTime(drive + name, copyTime);
        }
    };
    pair(L"rounded-down", base + second + second * 999 / 1000, base, "same size");       // 1.999 s
    pair(L"rounded-up", base, base + 2 * second, "same size");                           // 2 s
    pair(L"edited", base + 2 * second + second / 1000, base, "old  size");               // 2.001 s
    pair(L"shifted", base, base + 3600 * second, "same size");                           // an hour on the copy
    pair(L"shifted-edited", base + 3600 * second, base, "otherSize!");                   // an hour and a new size
    Run({{L"C:\\S", L"E:\\T", JobType::Sync, {}}, {L"C:\\S", L"F:\\T", JobType::Sync, {}}});

    std::vector<std::wstring> copied;
    for (const auto& [from, to] : fs.copies) copied.push_back(from + L" > " + to);
    const std::vector<std::wstring> expected = {
        L"C:\\S\\edited > E:\\T\\edited", L"C:\\S\\shifted-edited > E:\\T\\shifted-edited",
        L"C:\\S\\edited > F:\\T\\edited", L"F:\\T\\shifted > C:\\S\\shifted",
        L"C:\\S\\shifted-edited > F:\\T\\shifted-edited"};
    EXPECT_EQ(copied, expected) << "an hour counts as a shift only where a side keeps local times";
    EXPECT_EQ(counters.bytesDone.load(), counters.bytesTotal.load()) << "the estimate decided alike";
}

TEST_F(CopyEngineTest, AJobThatDoesNotFitIsRefusedBeforeItWritesAndTheOthersGoOn) {
    fs.volumes[L"E:\\"] = {L"E:\\", L"NTFS", true, 110, 0};
    fs.AddFile(L"C:\\A\\a", std::string(60, 'a'));
    fs.AddFile(L"C:\\B\\b1", std::string(30, 'b'));
    fs.AddFile(L"C:\\B\\b2", std::string(30, 'b'));
    fs.AddFile(L"C:\\C\\c", std::string(40, 'c'));
    fs.AddFile(L"E:\\C\\c", std::string(35, 'x'));  // replaced: counts 5 more, and 40 of room while copied
    Run({{L"C:\\A", L"E:\\", JobType::Backup, {}},
         {L"C:\\B", L"E:\\", JobType::Backup, {}},
         {L"C:\\C", L"E:\\", JobType::Backup, {}}});
    EXPECT_EQ(Content(L"E:\\A\\a"), std::string(60, 'a'));
    EXPECT_EQ(fs.Find(L"E:\\B"), nullptr) << "the refused job created nothing, not even its folder";
    EXPECT_EQ(Content(L"E:\\C\\c"), std::string(40, 'c')) << "60 + 5 + 40 of room fit 110; 60 + 60 did not";
    ASSERT_EQ(observer.refused, std::vector<std::wstring>{L"C:\\B"});
    EXPECT_EQ(observer.reasons.front(),
              L"There is not enough free space on drive E: for this job: it needs 120 bytes and 110 bytes are free. "
              L"The job was not run.");
    EXPECT_EQ(counters.jobsRefused.load(), 1);
    EXPECT_EQ(RunOutcomeCode(counters), 1);
    EXPECT_EQ(counters.bytesTotal.load(), 100u) << "the refused job's bytes are not part of the run";
    EXPECT_EQ(counters.bytesDone.load(), 100u);
    EXPECT_EQ(fs.volumeQueries, 2) << "each volume is asked once in a run: C: and E:";
}

TEST_F(CopyEngineTest, ASyncIsCheckedOnBothOfItsSides) {
    fs.volumes[L"C:\\"] = {L"C:\\", L"NTFS", true, 5, 0};
    fs.volumes[L"E:\\"] = {L"E:\\", L"NTFS", true, 1000, 0};
    fs.AddFile(L"E:\\T\\only-here", "123456");  // comes back to C:, which has 5 bytes free
    fs.AddFile(L"C:\\S\\a", "1");
    Run({{L"C:\\S", L"E:\\T", JobType::Sync, {}}});
    EXPECT_TRUE(fs.copies.empty());
    ASSERT_EQ(observer.reasons.size(), 1u);
    EXPECT_NE(observer.reasons[0].find(L"drive C:"), std::wstring::npos) << observer.reasons[0];
}

}  // namespace
}  // namespace copperfold
