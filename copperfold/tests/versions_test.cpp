// Quick copies (only new and changed files), kept versions of replaced files, their removal after
// their days, and restores of a version, on an in-memory file system.
#include "copperfold/core/versions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "copperfold/core/copy_engine.h"
#include "copperfold/core/file_times.h"
#include "copperfold/core/preview.h"
#include "copperfold/tests/counting_observer.h"
#include "memory_file_system.h"

namespace copperfold {
namespace {

using testing_support::MemoryFileSystem;
constexpr std::uint64_t kSecond = MemoryFileSystem::kUnitsPerSecond;

using testing_support::CountingObserver;

class VersionsTest : public ::testing::Test {
protected:
    // One run of `jobs`; what it showed is in `observer` (fresh for each run).
    void Run(std::initializer_list<JobRecord> jobs) {
        JobBatch batch;
        for (const JobRecord& job : jobs) batch.entries[batch.count++] = job;
        observer = CountingObserver{};
        fs.copies.clear();
        fs.keptAs.clear();
        fs.removedTrees.clear();
        CopyEngine engine(fs, observer, counters);
        engine.RunJobs(batch, std::chrono::milliseconds(0));
    }
    static JobRecord Job(std::wstring source, std::wstring target, JobType type, std::uint32_t skipSame,
                         std::uint32_t keepDays) {
        JobRecord job(std::move(source), std::move(target), type);
        job.options = {skipSame, keepDays};
        return job;
    }
    std::string Content(const std::wstring& path) const {
        const auto* node = fs.Find(path);
        return node ? node->content : "<missing>";
    }
    // The files below `folder`, relative to it, with their contents.
    std::map<std::wstring, std::string> Tree(const std::wstring& folder) const {
        std::map<std::wstring, std::string> tree;
        const std::wstring prefix = common::UpperCased(folder) + L"\\";
        for (const std::wstring& file : fs.Files()) {
            if (common::UpperCased(file).starts_with(prefix)) tree[file.substr(prefix.size())] = Content(file);
        }
        return tree;
    }

    MemoryFileSystem fs;
    CountingObserver observer;
    RunCounters counters;
};

// A repeat Backup or Restore that copies only new and changed files copies nothing, yet counts
// every file (the bar ends full); a file whose copy differs in size or time (beyond the 2 s, or
// the hour of daylight saving on a FAT drive) is copied; the same jobs without the option copy
// every file as before.
TEST_F(VersionsTest, AQuickCopyComparesUnchangedFilesAndCopiesTheRest) {
    fs.AddFile(L"C:\\S\\a.txt", "aaaa", 100);
    fs.AddFile(L"C:\\S\\sub\\b.txt", "bb", 100);
    fs.AddFile(L"C:\\S\\c.txt", "cc", 100);
    fs.AddFile(L"C:\\S\\d.txt", "dd", 100);
    const JobRecord quick = Job(L"C:\\S", L"E:\\B", JobType::Backup, 1, 0);
    Run({quick});
    EXPECT_EQ(observer.copies, 4);

    Run({quick});
    EXPECT_EQ(observer.copies, 0) << "a repeat copies nothing";
    EXPECT_TRUE(fs.copies.empty());
    EXPECT_EQ(observer.compared.size(), 4u);
    EXPECT_EQ(counters.bytesTotal, 10u);
    EXPECT_EQ(counters.bytesDone, 10u) << "compared files count as Sync's equal ones do";

    fs.SetTime(L"E:\\B\\S\\a.txt", 100 * kSecond + 15 * kSecond / 10);  // within the tolerance
    fs.AddFile(L"C:\\S\\c.txt", "CC", 110);                             // edited: same size, later
    fs.AddFile(L"C:\\S\\sub\\b.txt", "bbb", 100);                       // same time, other size
    fs.AddFile(L"E:\\B\\S\\d.txt", "dd", 100 + 3600);                    // an hour off on a drive that is no FAT
    fs.AddFile(L"E:\\B\\S\\only-here.txt", "kept", 100);
    Run({quick});
    EXPECT_EQ(fs.copies, (std::vector<std::pair<std::wstring, std::wstring>>{
                             {L"C:\\S\\c.txt", L"E:\\B\\S\\c.txt"},
                             {L"C:\\S\\d.txt", L"E:\\B\\S\\d.txt"},
                             {L"C:\\S\\sub\\b.txt", L"E:\\B\\S\\sub\\b.txt"}}));
    EXPECT_EQ(Content(L"E:\\B\\S\\only-here.txt"), "kept");

    // On a FAT drive a copy an hour off (a change of daylight saving time) is the same file.
    fs.volumes[L"E:\\"] = VolumeFacts{L"E:\\", L"FAT32", false, 0, 0};
    fs.AddFile(L"E:\\B\\S\\d.txt", "dd", 100 + 3600);
    Run({quick});
    EXPECT_TRUE(fs.copies.empty());

    // A Restore the same way; the jobs without the option copy everything.
    const JobRecord restore = Job(L"C:\\S", L"E:\\B\\S", JobType::Restore, 1, 0);
    Run({restore});
    EXPECT_EQ(fs.copies, (std::vector<std::pair<std::wstring, std::wstring>>{
                             {L"E:\\B\\S\\only-here.txt", L"C:\\S\\only-here.txt"}}))
        << "the only file without a namesake in the source";
    EXPECT_EQ(observer.compared.size(), 4u);
    Run({Job(L"C:\\S", L"E:\\B", JobType::Backup, 0, 0), Job(L"C:\\S", L"E:\\B\\S", JobType::Restore, 2, 0)});
    EXPECT_EQ(observer.copies, 5 + 5) << "without the option (or with a value of a newer version), every file";
    EXPECT_TRUE(observer.compared.empty());
}

// The damaged source: a Backup, then every source file rewritten with other bytes and times,
// then the Backup again. Every earlier file is in the version store, and a restore of that
// version puts them all back, keeping the damaged ones as a version in turn; a restore of one
// file of that version undoes the restore for that file alone.
TEST_F(VersionsTest, AfterADamagedSourceWasBackedUpAVersionRestoreBringsEveryFileBack) {
    const std::map<std::wstring, std::string> good = {
        {L"a.jpg", "first photo"}, {L"Trip\\b.jpg", "second photo"}, {L"Trip\\Deep\\c.jpg", "third"}};
    for (const auto& [file, content] : good) fs.AddFile(L"C:\\Photos\\" + file, content, 100);
    const JobRecord backup = Job(L"C:\\Photos", L"E:\\Backup", JobType::Backup, 1, 30);
    Run({backup});
    const std::wstring copies = L"E:\\Backup\\Photos";
    const std::wstring store = copies + L"\\.copperfold-versions";
    EXPECT_EQ(Tree(copies), good);
    EXPECT_EQ(fs.Find(store), nullptr) << "nothing was replaced: no store";
    ASSERT_TRUE(fs.SetAttributes(copies + L"\\a.jpg", kAttributeReadOnly | kAttributeHidden));  // by the user

    std::map<std::wstring, std::string> damaged;
    for (const auto& [file, content] : good) {
        damaged[file] = "encrypted " + content;
        fs.AddFile(L"C:\\Photos\\" + file, damaged[file], 500);
    }
    Run({backup});
    EXPECT_EQ(observer.copies, 3);
    EXPECT_TRUE(observer.failures.empty());
    const std::vector<SideVersions> once = ListVersions(fs, backup);
    ASSERT_EQ(once.size(), 1u);
    EXPECT_EQ(once[0].side, JobSide::Target);
    EXPECT_EQ(once[0].store, store);
    ASSERT_EQ(once[0].versions.size(), 1u);
    const VersionFolder before = once[0].versions[0];
    EXPECT_EQ(before.files, 3u);
    EXPECT_EQ(before.bytes, 11u + 12u + 5u);
    EXPECT_EQ(Tree(store + L"\\" + before.name), good) << "every earlier file, at its path, by a rename";
    EXPECT_EQ(fs.keptAs.size(), 3u);
    ASSERT_NE(fs.Find(store), nullptr);
    EXPECT_NE(fs.Find(store)->attributes & kAttributeHidden, 0u) << "hidden where the drive allows";
    constexpr std::uint32_t kBits = kAttributeReadOnly | kAttributeHidden;
    EXPECT_EQ(fs.Find(store + L"\\" + before.name + L"\\a.jpg")->attributes & kBits, kAttributeReadOnly)
        << "a kept file keeps its read-only bit; hidden goes, or no listing would show it to a restore";
    for (const auto& [file, content] : damaged) EXPECT_EQ(Content(copies + L"\\" + file), content);

    // A repeat copies nothing and keeps nothing; the store is no file of the job's.
    Run({backup});
    EXPECT_EQ(observer.copies, 0);
    EXPECT_EQ(observer.compared.size(), 3u);
    EXPECT_EQ(ListVersions(fs, backup)[0].versions.size(), 1u);

    // The preview of the restore, then the restore: each file back, each damaged one kept.
    JobRecord restore;
    ASSERT_FALSE(MakeVersionRestore(backup, JobSide::Target, before.name, L"", restore).Refused());
    JobBatch batch;
    batch.entries[batch.count++] = restore;
    const std::vector<JobPreview> preview = PreviewBatch(fs, batch);
    ASSERT_EQ(preview.size(), 1u);
    EXPECT_EQ(preview[0].refusal, L"");
    EXPECT_EQ(preview[0].files, 3u);
    EXPECT_EQ(preview[0].kept, 3u) << testing::PrintToString(FormatPreview(preview));
    EXPECT_NE(FormatPreview(preview).find(L"\u2190 E:\\Backup\\Photos\\Trip\\b.jpg (12 bytes; the file it replaces is "
                                          L"kept as a version)"),
              std::wstring::npos);
    EXPECT_TRUE(fs.keptAs.empty() && fs.copies.empty()) << "the preview wrote nothing";
    Run({restore});
    EXPECT_TRUE(observer.refusals.empty()) << testing::PrintToString(observer.refusals);
    for (const auto& [file, content] : good) EXPECT_EQ(Content(copies + L"\\" + file), content) << testing::PrintToString(file);
    EXPECT_EQ(fs.Find(copies + L"\\a.jpg")->attributes & kBits, kAttributeReadOnly) << "back with its bit";
    const std::vector<SideVersions> twice = ListVersions(fs, backup);
    ASSERT_EQ(twice[0].versions.size(), 2u);
    EXPECT_EQ(twice[0].versions[0].name, before.name) << "the restored version stays";
    EXPECT_EQ(Tree(store + L"\\" + before.name), good);
    const std::wstring undo = twice[0].versions[1].name;
    EXPECT_EQ(Tree(store + L"\\" + undo), damaged) << "the files the restore replaced, kept in turn";

    // One file of the kept damage back, and nothing else.
    ASSERT_FALSE(MakeVersionRestore(backup, JobSide::Target, undo, L"Trip\\b.jpg", restore).Refused());
    Run({restore});
    EXPECT_EQ(fs.copies, (std::vector<std::pair<std::wstring, std::wstring>>{
                             {store + L"\\" + undo + L"\\Trip\\b.jpg", copies + L"\\Trip\\b.jpg"}}));
    EXPECT_EQ(Content(copies + L"\\Trip\\b.jpg"), damaged[L"Trip\\b.jpg"]);
    EXPECT_EQ(Content(copies + L"\\a.jpg"), good.at(L"a.jpg"));
    const std::vector<SideVersions> thrice = ListVersions(fs, backup);
    ASSERT_EQ(thrice[0].versions.size(), 3u);
    EXPECT_EQ(Tree(store + L"\\" + thrice[0].versions[2].name),
              (std::map<std::wstring, std::string>{{L"Trip\\b.jpg", good.at(L"Trip\\b.jpg")}}));

    // What cannot be restored is refused, before anything is written.
    EXPECT_TRUE(MakeVersionRestore(backup, JobSide::Source, before.name, L"", restore).Refused()) << "a Backup keeps none there";
    EXPECT_TRUE(MakeVersionRestore(backup, JobSide::Target, L"Trip", L"", restore).Refused());
    EXPECT_TRUE(MakeVersionRestore(backup, JobSide::Target, before.name, L"..\\..\\x", restore).Refused());
    EXPECT_TRUE(MakeVersionRestore(backup, JobSide::Target, before.name, L"C:\\x", restore).Refused());
    ASSERT_FALSE(MakeVersionRestore(backup, JobSide::Target, before.name, L"Trip\\none.jpg", restore).Refused());
    Run({restore});
    ASSERT_EQ(observer.refusals.size(), 1u);
    EXPECT_NE(observer.refusals[0].find(L"none.jpg is not there"), std::wstring::npos);
    JobRecord forged = restore;
    forged.target = L"E:\\Backup\\Photos\\Trip";  // no version: a restore never copies from elsewhere
    Run({forged});
    EXPECT_EQ(observer.refusals.size(), 1u);
    EXPECT_TRUE(fs.copies.empty());
}

// The store lies on a drive anyone may have written: a link planted in it (a version that is a
// link, a folder of a version that is one) is never followed by a restore or its preview, so
// nothing from where it points is copied into the job's folder; the rest of the version is.
TEST_F(VersionsTest, ARestoreNeverFollowsALinkPlantedInTheStore) {
    const JobRecord backup = Job(L"C:\\Photos", L"E:\\Backup", JobType::Backup, 0, 30);
    const std::wstring store = L"E:\\Backup\\Photos\\.copperfold-versions";
    const std::wstring real = L"2026-05-01 14.30.05 +0200";
    const std::wstring linked = L"2026-05-02 09.00.00 +0200";
    fs.AddFile(L"E:\\Backup\\Photos\\a.jpg", "damaged", 500);
    fs.AddFile(store + L"\\" + real + L"\\a.jpg", "good", 100);
    fs.AddFolder(store + L"\\" + real + L"\\Trip", kAttributeReparsePoint);  // seen as what it points to
    fs.AddFile(store + L"\\" + real + L"\\Trip\\secret.txt", "someone else's");
    fs.AddFolder(store + L"\\" + linked, kAttributeReparsePoint);
    fs.AddFile(store + L"\\" + linked + L"\\key.txt", "someone else's");

    const std::vector<SideVersions> listed = ListVersions(fs, backup);
    ASSERT_EQ(listed.size(), 1u);
    ASSERT_EQ(listed[0].versions.size(), 1u) << "a version that is a link is not listed";
    EXPECT_EQ(listed[0].versions[0].files, 1u);

    JobRecord restore;
    const auto restoreOf = [&](const std::wstring& version, const std::wstring& file) {
        EXPECT_FALSE(MakeVersionRestore(backup, JobSide::Target, version, file, restore).Refused());
        JobBatch batch;
        batch.entries[batch.count++] = restore;
        return PreviewBatch(fs, batch);
    };
    for (const auto& [version, file] : {std::pair{linked, L""}, std::pair{real, L"Trip\\secret.txt"},
                                        std::pair{real, L"Trip"}}) {
        const std::vector<JobPreview> preview = restoreOf(version, file);
        ASSERT_EQ(preview.size(), 1u);
        EXPECT_NE(preview[0].refusal.find(L"is not there"), std::wstring::npos) << testing::PrintToString(file);
        Run({restore});
        ASSERT_EQ(observer.refusals.size(), 1u) << testing::PrintToString(version + L"\\" + file);
        EXPECT_TRUE(fs.copies.empty()) << testing::PrintToString(fs.copies);
    }
    // The whole version: its own file back, the linked folder left out of the count and the copy.
    const std::vector<JobPreview> preview = restoreOf(real, L"");
    ASSERT_EQ(preview.size(), 1u);
    EXPECT_EQ(preview[0].refusal, L"");
    EXPECT_EQ(preview[0].files, 1u);
    Run({restore});
    EXPECT_TRUE(observer.refusals.empty()) << testing::PrintToString(observer.refusals);
    EXPECT_EQ(fs.copies, (std::vector<std::pair<std::wstring, std::wstring>>{
                             {store + L"\\" + real + L"\\a.jpg", L"E:\\Backup\\Photos\\a.jpg"}}));
    EXPECT_EQ(Content(L"E:\\Backup\\Photos\\a.jpg"), "good");
    EXPECT_EQ(fs.Find(L"E:\\Backup\\Photos\\Trip"), nullptr);
    EXPECT_EQ(RunOutcomeCode(counters), 0);
}

// A Sync keeps each side's replaced file on that side; the stores are not walked, so neither
// travels to the other side, nor do they count as each other's hidden namesakes.
TEST_F(VersionsTest, ASyncKeepsEachSidesReplacedFilesOnThatSide) {
    fs.AddFile(L"C:\\L\\newer-here.txt", "new here", 200);
    fs.AddFile(L"E:\\L\\newer-here.txt", "old there", 100);
    fs.AddFile(L"C:\\L\\Sub\\newer-there.txt", "old here", 100);
    fs.AddFile(L"E:\\L\\Sub\\newer-there.txt", "new there", 200);
    fs.AddFile(L"C:\\L\\same.txt", "same", 100);
    fs.AddFile(L"E:\\L\\same.txt", "same", 100);
    fs.AddFile(L"E:\\L\\only-there.txt", "copied back, replaces nothing", 100);
    const JobRecord sync = Job(L"C:\\L", L"E:\\L", JobType::Sync, 0, 7);
    Run({sync});
    EXPECT_EQ(observer.copies, 3);
    const std::vector<SideVersions> sides = ListVersions(fs, sync);
    ASSERT_EQ(sides.size(), 2u);
    ASSERT_EQ(sides[0].versions.size(), 1u);
    ASSERT_EQ(sides[1].versions.size(), 1u);
    EXPECT_EQ(sides[0].side, JobSide::Source);
    EXPECT_EQ(Tree(sides[0].store), (std::map<std::wstring, std::string>{
                                        {sides[0].versions[0].name + L"\\Sub\\newer-there.txt", "old here"}}));
    EXPECT_EQ(Tree(sides[1].store),
              (std::map<std::wstring, std::string>{{sides[1].versions[0].name + L"\\newer-here.txt", "old there"}}));

    Run({sync});
    EXPECT_EQ(observer.copies, 0);
    EXPECT_TRUE(observer.notes.empty()) << "the two stores are no hidden namesakes of each other";
    EXPECT_EQ(Tree(L"C:\\L\\.copperfold-versions").size(), 1u);
    EXPECT_EQ(Tree(L"E:\\L\\.copperfold-versions").size(), 1u);

    // Runs of one second list in the order they ran, the tenth after the ninth.
    const std::uint64_t second = FileTimeOfUnixSeconds(1'700'000'000);
    for (const int sequence : {10, 2, 11, 1, 9}) {
        fs.AddFile(sides[1].store + L"\\" + VersionFolderName(second, 0, sequence) + L"\\f.txt", "f");
    }
    std::vector<std::wstring> order;
    const std::vector<SideVersions> listed = ListVersions(fs, sync);
    for (const VersionFolder& version : listed[1].versions) {
        if (version.time == VersionFolderTime(VersionFolderName(second, 0, 1))) order.push_back(version.name.substr(25));
    }
    EXPECT_EQ(order, (std::vector<std::wstring>{L"", L" (2)", L" (9)", L" (10)", L" (11)"}));
}

// At the start of a job's run its version folders older than its days go, and nothing else: not
// younger ones, not what else is in the store, not a folder of the store's name elsewhere (the
// user's, copied as any other), not another job's store; a job that keeps no versions removes
// none. A store that is no folder of ours keeps the job from replacing anything.
TEST_F(VersionsTest, OnlyTheJobsVersionFoldersOlderThanItsDaysAreRemoved) {
    const std::uint64_t now = FileTimeNow();
    const auto aged = [&](int days, int sequence = 1) {
        return VersionFolderName(now - std::uint64_t(days) * kFileTimeUnitsPerDay, 60, sequence);
    };
    const std::wstring store = L"E:\\B\\S\\.copperfold-versions";
    fs.AddFile(L"C:\\S\\a.txt", "a", 100);
    fs.AddFile(L"C:\\S\\sub\\.copperfold-versions\\" + aged(400) + L"\\mine.txt", "the user's");
    fs.AddFile(store + L"\\" + aged(11) + L"\\a.txt", "expired");
    fs.AddFile(store + L"\\" + aged(30, 2) + L"\\deep\\a.txt", "expired too");
    fs.AddFile(store + L"\\" + aged(9) + L"\\a.txt", "young");
    fs.AddFile(store + L"\\Notes from 2001\\n.txt", "not a run's folder");
    fs.AddFile(store + L"\\readme.txt", "a file of the user's");
    fs.AddFile(L"E:\\Other\\.copperfold-versions\\" + aged(400) + L"\\x.txt", "another job's");
    const JobRecord keeps = Job(L"C:\\S", L"E:\\B", JobType::Backup, 0, 10);

    JobBatch batch;
    batch.entries[batch.count++] = keeps;
    const std::wstring preview = FormatPreview(PreviewBatch(fs, batch));
    EXPECT_NE(preview.find(L"  - " + store + L"\\" + aged(11) + L" (kept versions older than 10 days)\n"),
              std::wstring::npos)
        << testing::PrintToString(preview);
    EXPECT_TRUE(fs.removedTrees.empty()) << "the preview removed nothing";

    Run({Job(L"C:\\S", L"E:\\B", JobType::Backup, 0, 0)});
    EXPECT_TRUE(fs.removedTrees.empty()) << "a job that keeps no versions removes none";
    Run({keeps});
    EXPECT_EQ(fs.removedTrees, (std::vector<std::wstring>{store + L"\\" + aged(30, 2), store + L"\\" + aged(11)}));
    ASSERT_EQ(observer.notes.size(), 2u);
    EXPECT_EQ(observer.notes[1],
              L"The kept versions in " + store + L"\\" + aged(11) + L" were older than 10 days and were removed.");
    EXPECT_EQ(Content(store + L"\\" + aged(9) + L"\\a.txt"), "young");
    EXPECT_EQ(Content(store + L"\\Notes from 2001\\n.txt"), "not a run's folder");
    EXPECT_EQ(Content(store + L"\\readme.txt"), "a file of the user's");
    EXPECT_EQ(Content(L"E:\\Other\\.copperfold-versions\\" + aged(400) + L"\\x.txt"), "another job's");
    EXPECT_EQ(Content(L"C:\\S\\sub\\.copperfold-versions\\" + aged(400) + L"\\mine.txt"), "the user's");
    EXPECT_EQ(Content(L"E:\\B\\S\\sub\\.copperfold-versions\\" + aged(400) + L"\\mine.txt"), "the user's")
        << "a folder of the store's name below the top is the user's, copied as any other";

    // Days beyond what the clock counts back keep every version: the span in 100 ns units would
    // not fit 64 bits (21,350,399 days of them wrap round to less than a day).
    for (const std::uint32_t days : {21'350'399u, 0xFFFF'FFFFu}) {
        Run({Job(L"C:\\S", L"E:\\B", JobType::Backup, 0, days)});
        EXPECT_TRUE(fs.removedTrees.empty()) << days;
    }

    // A removal that fails is a note; the run goes on.
    fs.AddFile(store + L"\\" + aged(20) + L"\\a.txt", "locked");
    fs.failRemovalOf = fs.Key(store + L"\\" + aged(20));
    Run({keeps});
    ASSERT_EQ(observer.notes.size(), 1u);
    EXPECT_NE(observer.notes[0].find(L"but not all of them could be removed"), std::wstring::npos);
    EXPECT_EQ(RunOutcomeCode(counters), 0);

    // A file bearing the store's name: nothing is removed there, and nothing replaced.
    fs.AddFile(L"C:\\T\\t.txt", "new", 200);
    fs.AddFile(L"E:\\B\\T\\t.txt", "old", 100);
    fs.AddFile(L"E:\\B\\T\\.copperfold-versions", "a file");
    Run({Job(L"C:\\T", L"E:\\B", JobType::Backup, 0, 10)});
    EXPECT_EQ(Content(L"E:\\B\\T\\t.txt"), "old") << "a file that cannot be kept is not replaced";
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_NE(observer.failures[0].find(L"E:\\B\\T\\t.txt was not replaced"), std::wstring::npos);
    EXPECT_EQ(RunOutcomeCode(counters), 1);
}

// The files a job keeps stay on the drive: the pre-flight counts each new copy in full, so a job
// that would fit without keeping may not fit with it.
TEST_F(VersionsTest, ThePreFlightCountsTheNewCopiesOfKeptFilesInFull) {
    for (int i = 0; i < 10; ++i) {
        fs.AddFile(L"C:\\S\\f" + std::to_wstring(i), "new-------", 200);
        fs.AddFile(L"E:\\B\\S\\f" + std::to_wstring(i), "old-------", 100);
    }
    fs.volumes[L"E:\\"] = VolumeFacts{L"E:\\", L"NTFS", true, 50, 1};
    Run({Job(L"C:\\S", L"E:\\B", JobType::Backup, 0, 30)});
    ASSERT_EQ(observer.refusals.size(), 1u) << "100 bytes kept and copied in full do not fit in 50";
    EXPECT_NE(observer.refusals[0].find(L"it needs 100 bytes and 50 bytes are free"), std::wstring::npos)
        << testing::PrintToString(observer.refusals);
    EXPECT_TRUE(fs.copies.empty());
    Run({Job(L"C:\\S", L"E:\\B", JobType::Backup, 0, 0)});
    EXPECT_TRUE(observer.refusals.empty()) << "replaced, they free what they take, but for one temporary copy";
    EXPECT_EQ(observer.copies, 10);
}

TEST(VersionFolderNames, AFileChosenInAVersionIsTakenRelativeToItOnlyFromInsideIt) {
    const std::wstring version = L"E:\\Backup\\Photos\\.copperfold-versions\\2024-03-09 17.31.13 +0100";
    EXPECT_EQ(PathInVersion(version, version + L"\\Trip\\Beach.jpg"), L"Trip\\Beach.jpg");
    EXPECT_EQ(PathInVersion(version + L"\\", L"e:\\backup\\PHOTOS\\.Copperfold-Versions\\2024-03-09 17.31.13 +0100/a.txt"),
              L"a.txt")
        << "in the spelling the file was given";
    EXPECT_EQ(PathInVersion(version, L"\\\\?\\" + version + L"\\Trip\\"), L"Trip");
    const std::vector<std::wstring> outsides = {
        version, version + L"\\", version + L" (2)\\a.txt", L"E:\\Backup\\Photos\\a.txt", L"a.txt",
        version + L"\\Trip\\..\\..\\a.txt", version + L"\\\\a.txt", L""};
    for (const std::wstring& outside : outsides) {
        EXPECT_FALSE(PathInVersion(version, outside).has_value()) << testing::PrintToString(outside);
    }
}

TEST(VersionFolderNames, SayWhenTheRunStartedAndReadBack) {
    constexpr std::uint64_t start = 133'544'754'733'700'000ull;  // 2024-03-09 16:31:13.37 UTC
    EXPECT_EQ(VersionFolderName(start, 60), L"2024-03-09 17.31.13 +0100");
    EXPECT_EQ(VersionFolderName(start, -330, 2), L"2024-03-09 11.01.13 -0530 (2)");
    EXPECT_EQ(VersionFolderTime(L"2024-03-09 17.31.13 +0100"), start / kSecond * kSecond);
    EXPECT_EQ(VersionFolderTime(L"2024-03-09 11.01.13 -0530 (2)"), start / kSecond * kSecond);
    for (const wchar_t* other : {L"2024-03-09 11.11.13", L"2024-13-09 11.11.13 +0100", L"2024-03-09 11.11.13 +0100 (1)",
                                 L"2024-03-09 11.11.13 +0100 (x)", L"2024-03-09 11.11.13 +0100x", L"Trip", L""}) {
        EXPECT_FALSE(VersionFolderTime(other).has_value()) << testing::PrintToString(std::wstring(other));
    }
}

}  // namespace
}  // namespace copperfold
