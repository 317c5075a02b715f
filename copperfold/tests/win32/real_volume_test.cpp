// Copies onto real FAT32 and exFAT volumes: the enclosure's drives as users have them. The script
// copperfold/tests/real_volumes.sh mounts an image formatted by our own Volkern.dll through a FUSE
// FAT driver and an exFAT image through the exFAT FUSE driver, maps them as drives of the tests'
// Wine prefix and names them in CF_FAT32_DRIVE and CF_EXFAT_DRIVE (and a FAT32 drive of 6 GiB in
// CF_LARGE_FAT32_DRIVE); CF_PULLED_DRIVE names a plain
// folder's drive. On request (a file in CF_CONTROL_FOLDER, see the script) it unplugs a drive (its
// letter goes), plugs it in again, or replugs it (unmounts and mounts it again). CF_TREES_FOLDER
// holds source trees with names no Windows folder holds. A test whose drive is not named is
// skipped. The script checks the file systems after the tests.
#include "copperfold/tests/win32/real_volume_fixture.h"

namespace copperfold {
namespace {

// A scenario of the fixture (taking the drive and the name Windows gives its file system) as a
// test on each of the two drives.
#define TEST_ON_FAT32_AND_EXFAT(scenario)        \
    TEST_F(RealVolume, Fat32##scenario) {        \
        DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE"); \
        scenario(drive, L"FAT32");               \
    }                                            \
    TEST_F(RealVolume, ExFat##scenario) {        \
        DRIVE_OR_SKIP(drive, L"CF_EXFAT_DRIVE"); \
        scenario(drive, L"exFAT");               \
    }

TEST_ON_FAT32_AND_EXFAT(BackupThenSyncKeepsTimesAndASecondSyncCopiesNothing)

TEST_F(RealVolume, Fat32QuickBackupsKeepVersionsAndARestoreBringsEveryFileBack) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    QuickBackupsKeepVersionsAndARestoreBringsEveryFileBack(drive, true);
}
TEST_F(RealVolume, ExFatQuickBackupsKeepVersionsAndARestoreBringsEveryFileBack) {
    DRIVE_OR_SKIP(drive, L"CF_EXFAT_DRIVE");
    QuickBackupsKeepVersionsAndARestoreBringsEveryFileBack(drive, true);
}
TEST_F(RealVolume, OnZQuickBackupsKeepVersionsAndARestoreBringsEveryFileBack) {
    const std::wstring trees = FolderFromEnvironment(L"CF_TREES_FOLDER");
    if (trees.empty()) GTEST_SKIP() << "CF_TREES_FOLDER names no folder on Z:";
    QuickBackupsKeepVersionsAndARestoreBringsEveryFileBack(trees, false);
}

// Expired versions on Z: that hold Unix links out of the store (to a folder, to a file) and a
// link at the store's top named as a version: whatever a link points to is untouched (Wine opens
// a link as its target and would remove the target), the links stay, and every other expired
// file goes. real_volumes.sh makes the tree.
TEST_F(RealVolume, OnZRemovingExpiredVersionsNeverGoesThroughALink) {
    const std::wstring trees = FolderFromEnvironment(L"CF_TREES_FOLDER");
    if (trees.empty()) GTEST_SKIP() << "CF_TREES_FOLDER names no folder on Z:";
    const std::wstring prune = trees + L"\\prune";
    const std::wstring store = prune + L"\\target\\Src\\.copperfold-versions";
    const std::wstring linked = store + L"\\2020-01-01 00.00.00 +0000";
    ASSERT_TRUE(std::filesystem::exists(linked + L"\\deep\\old.txt")) << "real_volumes.sh makes the tree";
    Win32FileSystem platform;
    JobRecord job(prune + L"\\Src", prune + L"\\target", JobType::Backup);
    job.options = {0, 30};
    const EngineRun run = RunEngine(platform, job);
    EXPECT_EQ(run.outcome, 0);
    EXPECT_FALSE(std::filesystem::exists(store + L"\\2020-01-02 00.00.00 +0000")) << "an expired version without links goes";
    EXPECT_FALSE(std::filesystem::exists(linked + L"\\deep\\old.txt")) << "and the files beside the links";
    // The links stay (Wine shows them as what they point to).
    EXPECT_EQ(testing_support::ReadBytes(linked + L"\\deep\\dirlink\\inner\\kept.txt"), "outside\n");
    EXPECT_EQ(testing_support::ReadBytes(linked + L"\\filelink.txt"), "outside file\n");
    EXPECT_TRUE(std::filesystem::exists(store + L"\\2019-01-01 00.00.00 +0000\\inner\\kept.txt"));
    EXPECT_EQ(testing_support::ReadBytes(prune + L"\\outside\\inner\\kept.txt"), "outside\n") << "what they point to is untouched";
    EXPECT_EQ(testing_support::ReadBytes(prune + L"\\outside.txt"), "outside file\n");
    ASSERT_EQ(run.observer.notes.size(), 2u);
    EXPECT_NE(run.observer.notes[0].find(L"2020-01-01 00.00.00 +0000 are older than 30 days, but not all of them"),
              std::wstring::npos) << testing::PrintToString(run.observer.notes);
    EXPECT_NE(run.observer.notes[1].find(L"2020-01-02 00.00.00 +0000 were older than 30 days and were removed"),
              std::wstring::npos);
    EXPECT_EQ(testing_support::ReadBytes(prune + L"\\target\\Src\\a.txt"), "new\n");
}

// A link in a source on Z: that leads back to a folder above it is not followed (once the run
// copied the tree into itself until paths ran out, 40 levels deep, and two such links kept it
// going for ever); it is named once, and the link to a folder outside the tree is copied. A Sync
// of the same tree with its copy then finds nothing to do either way. real_volumes.sh makes it.
TEST_F(RealVolume, OnZALinkBackToAFolderAboveIsNotFollowed) {
    const std::wstring trees = FolderFromEnvironment(L"CF_TREES_FOLDER");
    if (trees.empty()) GTEST_SKIP() << "CF_TREES_FOLDER names no folder on Z:";
    const std::wstring source = trees + L"\\loops\\Src";
    ASSERT_TRUE(std::filesystem::exists(source + L"\\docs\\sub\\up\\sub\\deep.txt")) << "real_volumes.sh makes the tree";
    const std::wstring target = local.File(L"Loops");
    Win32FileSystem platform;
    const EngineRun backup = RunEngine(platform, JobRecord(source, target, JobType::Backup));
    EXPECT_EQ(backup.outcome, 0) << testing::PrintToString(backup.observer.failures);
    EXPECT_EQ(backup.observer.copies, 3);
    EXPECT_EQ(FilesBelow(target).size(), 3u);
    EXPECT_EQ(testing_support::ReadBytes(target + L"\\Src\\docs\\sub\\deep.txt"), "deep\n");
    EXPECT_EQ(testing_support::ReadBytes(target + L"\\Src\\outside\\linked.txt"), "linked\n");
    EXPECT_FALSE(std::filesystem::exists(target + L"\\Src\\docs\\sub\\up"));
    ASSERT_EQ(backup.observer.notes.size(), 1u);
    EXPECT_NE(backup.observer.notes[0].find(source + L"\\docs\\sub\\up was not copied: it leads back to "),
              std::wstring::npos) << testing::PrintToString(backup.observer.notes);
    EXPECT_NE(backup.observer.notes[0].find(L"loops\\Src\\docs, which holds it"), std::wstring::npos);

    const EngineRun sync = RunEngine(platform, JobRecord(source, target + L"\\Src", JobType::Sync));
    EXPECT_EQ(sync.outcome, 0) << testing::PrintToString(sync.observer.failures);
    EXPECT_EQ(sync.observer.copies, 0);
    EXPECT_EQ(sync.observer.notes.size(), 1u);
}

TEST_F(RealVolume, Fat32KeepsNoAttributesAndTheRunLogSaysSoOnce) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    const std::wstring source = local.File(L"Attributes");
    std::filesystem::create_directories(source);
    for (int i = 0; i < 3; ++i) testing_support::WriteBytes(source + L"\\f" + std::to_wstring(i), "x");
    ::SetFileAttributesW((source + L"\\f0").c_str(), FILE_ATTRIBUTE_READONLY);
    const int job = AddJob(source, DriveFolder(drive, L"attributes"), JobType::Backup);
    const Run run = RunJobs(std::to_wstring(job));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.filesCopied, 3);
    const std::string record = LastRunRecord();
    const std::string note = "  Note: Drive " + common::WideToUtf8(drive).value_or("") + " keeps no file attributes";
    const std::size_t first = record.find(note);
    EXPECT_NE(first, std::string::npos) << record;
    EXPECT_EQ(record.find(note, first + 1), std::string::npos) << "said once per run";
    ::SetFileAttributesW((source + L"\\f0").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RealVolume, ExFatAJobLargerThanTheFreeSpaceIsRefusedBeforeAnythingIsWritten) {
    DRIVE_OR_SKIP(drive, L"CF_EXFAT_DRIVE");
    const std::wstring large = local.File(L"Large");
    std::filesystem::create_directories(large);
    testing_support::WriteBytes(large + L"\\a.txt", "first");
    MakeSparseFile(large + L"\\disk.img", 80ull << 20);  // more than the 64 MiB volume
    const std::wstring small = local.File(L"Small");
    std::filesystem::create_directories(small);
    testing_support::WriteBytes(small + L"\\b.txt", "fits");
    const std::wstring largeTarget = DriveFolder(drive, L"large");
    const std::wstring smallTarget = DriveFolder(drive, L"small");
    const int refused = AddJob(large, largeTarget, JobType::Backup);
    const int runs = AddJob(small, smallTarget, JobType::Backup);

    const Run run = RunJobs(std::to_wstring(refused) + L"," + std::to_wstring(runs));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("There is not enough free space on drive " + common::WideToUtf8(drive).value_or("")),
              std::string::npos)
        << run.errors;
    EXPECT_FALSE(std::filesystem::exists(largeTarget)) << "the refused job wrote nothing";
    EXPECT_EQ(testing_support::ReadBytes(smallTarget + L"\\Small\\b.txt"), "fits") << "the other job ran";
}

TEST_F(RealVolume, Fat32AFileOf5GiBIsRefusedBeforeAnythingIsWritten) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    const std::wstring source = local.File(L"Videos");
    std::filesystem::create_directories(source);
    testing_support::WriteBytes(source + L"\\a.txt", "small first");
    MakeSparseFile(source + L"\\film.mkv", 5ull << 30);
    const std::wstring target = DriveFolder(drive, L"videos");

    Win32FileSystem platform;
    const VolumeFacts reported = platform.Volume(drive + L"\\");
    std::printf("Wine reports drive %ls as \"%ls\", free space %s\n", drive.c_str(), reported.fileSystem.c_str(),
                reported.freeSpaceKnown ? "known" : "unknown");
    NamedVolume files(platform, drive, L"FAT32");
    CountingObserver observer;
    RunCounters counters;
    JobBatch batch;
    batch.entries[batch.count++] = {source, target, JobType::Backup, {}};
    CopyEngine(files, observer, counters).RunJobs(batch, 0ms);
    ASSERT_EQ(observer.refusals.size(), 1u);
    EXPECT_NE(observer.refusals[0].find(L"film.mkv is 4 GiB or larger, and drive " + drive + L" (FAT32)"),
              std::wstring::npos);
    EXPECT_EQ(observer.copies, 0);
    EXPECT_FALSE(std::filesystem::exists(target)) << "nothing was written, not even the folder";
}

// Where the run does not know the drive is FAT (Wine names it "NTFS") the copy itself must fail:
// the FUSE FAT driver wraps the offsets of a file past 4 GiB to its start and says nothing, so a
// file of 4 GiB and 8 MiB once replaced the drive's copy with its last 8 MiB, and the run ended
// as done (on a drive larger than 4 GiB, as every enclosure's is). Its free space is not told here, as on a drive whose facts are unknown, so that the
// pre-flight lets the job through.
class UnknownVolumes final : public ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    VolumeFacts Volume(const std::wstring&) override { return {}; }
};

TEST_F(RealVolume, Fat32AFileOver4GiBFailsItsCopyAndLeavesTheDrivesCopyAsItWas) {
    DRIVE_OR_SKIP(drive, L"CF_LARGE_FAT32_DRIVE");
    const std::wstring source = local.File(L"Films");
    std::filesystem::create_directories(source);
    testing_support::WriteBytes(source + L"\\a.txt", "small first");
    MakeSparseFile(source + L"\\film.mkv", (4ull << 30) + (8u << 20));
    testing_support::WriteBytes(source + L"\\z.txt", "small last");
    const std::wstring target = DriveFolder(drive, L"films");
    std::filesystem::create_directories(target + L"\\Films");
    testing_support::WriteBytes(target + L"\\Films\\film.mkv", "previous version");

    Win32FileSystem platform;
    UnknownVolumes files(platform);
    const EngineRun run = RunEngine(files, JobRecord(source, target, JobType::Backup));
    EXPECT_EQ(run.outcome, 1);
    EXPECT_EQ(run.observer.errors, std::vector<std::uint32_t>{ERROR_FILE_TOO_LARGE});
    EXPECT_TRUE(testing_support::ReadBytes(target + L"\\Films\\film.mkv") == "previous version")
        << "the drive's copy was replaced";
    EXPECT_EQ(testing_support::ReadBytes(target + L"\\Films\\a.txt"), "small first") << "the other files are copied";
    EXPECT_EQ(testing_support::ReadBytes(target + L"\\Films\\z.txt"), "small last");
    EXPECT_FALSE(HasPartialFile(target));
}

TEST_F(RealVolume, Fat32ASyncAfterTheHourShiftOfDaylightSavingCopiesNothing) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    const std::wstring source = MakeTree(L"Shifted");
    const std::wstring target = DriveFolder(drive, L"shifted");
    Win32FileSystem platform;
    NamedVolume files(platform, drive, L"FAT32");
    CountingObserver observer;
    RunCounters counters;
    JobBatch batch;
    batch.entries[batch.count++] = {source, target, JobType::Sync, {}};
    CopyEngine(files, observer, counters).RunJobs(batch, 0ms);
    ASSERT_EQ(observer.copies, 120);
    ASSERT_TRUE(observer.errors.empty());
    // After the change of daylight saving time every file on the FAT side reads an hour later.
    for (const std::wstring& copy : FilesBelow(target)) SetLastWriteTime(copy, LastWriteTime(copy) + 3600 * kSecond);
    const std::vector<std::wstring> sourceFiles = FilesBelow(source);
    const std::vector<std::uint64_t> sourceTimes = TimesOf(sourceFiles);

    CountingObserver second;
    CopyEngine(files, second, counters).RunJobs(batch, 0ms);
    EXPECT_EQ(second.copies, 0);
    EXPECT_EQ(TimesOf(sourceFiles), sourceTimes);
}

TEST_ON_FAT32_AND_EXFAT(TimesTheDriveCannotHoldAreBroughtIntoItsRange)

// The whole fault from the command line, where Wine names the drive "NTFS": a file of 1975 is
// backed up, the driver keeps its year modulo 128 (2103 after a replug), the user edits the file,
// and the next Sync must not copy the drive's copy back over the edit.
TEST_F(RealVolume, Fat32AnEditIsNeverOverwrittenByACopyWhoseYearTheDriveKeptWrongly) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    const std::wstring source = FolderWithFile(L"Edits", L"letter.txt", "written in 1975", k1975);
    const std::wstring target = DriveFolder(drive, L"edits");
    const int backup = AddJob(source, target, JobType::Backup);
    const int sync = AddJob(source, target + L"\\Edits", JobType::Sync);
    EXPECT_EQ(RunJobs(std::to_wstring(backup)).filesCopied, 1);
    ASSERT_TRUE(AskForDrive(L"remount", drive));
    ASSERT_GT(LastWriteTime(target + L"\\Edits\\letter.txt"), k2103 - 366 * 24 * 3600 * kSecond)
        << "the driver keeps the year modulo 128";
    testing_support::WriteBytes(source + L"\\letter.txt", "the user's edit");

    const Run run = RunJobs(std::to_wstring(sync));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.filesCopied, 0);
    EXPECT_EQ(testing_support::ReadBytes(source + L"\\letter.txt"), "the user's edit");
    const std::string note = "  Note: " + common::WideToUtf8(target).value_or("") + "\\Edits\\letter.txt is dated in the future";
    EXPECT_EQ(Occurrences(LastRunRecord(), note), 1u) << LastRunRecord();
}

// The first copy onto the FUSE FAT drive is read back to learn whether the drive keeps times
// through a rename (it does not): a copy of 1975 must not be that copy, or every later copy keeps
// the time of its rename and the next Sync rewrites every original.
TEST_F(RealVolume, Fat32AFirstCopyOf1975LeavesTheTimeCheckToACopyTheDriveHolds) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    const std::wstring first = FolderWithFile(L"First", L"old.txt", "1975", k1975);
    const std::wstring source = MakeTree(L"Later");
    const std::wstring target = DriveFolder(drive, L"first");
    const int one = AddJob(first, target, JobType::Backup);
    const int two = AddJob(source, target, JobType::Backup);
    const Run run = RunJobs(std::to_wstring(one) + L"," + std::to_wstring(two));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.filesCopied, 121);
    int kept = 0;
    for (const std::wstring& file : FilesBelow(source)) {
        if (WithinTwoSeconds(LastWriteTime(target + L"\\Later" + file.substr(source.size())), LastWriteTime(file))) ++kept;
    }
    EXPECT_EQ(kept, 120) << "every later copy keeps its source's time";
    EXPECT_EQ(LastRunRecord().find("did not keep the last-write times"), std::string::npos) << LastRunRecord();
}

TEST_ON_FAT32_AND_EXFAT(NamesWindowsCannotHoldAreToldAndNotCopied)

TEST_ON_FAT32_AND_EXFAT(JobsWhoseDriveIsNotThereFailAndSaySo)

TEST_ON_FAT32_AND_EXFAT(ADriveThatGoesAwayMidRestoreIsToldOnce)

TEST_ON_FAT32_AND_EXFAT(DriveFilledDuringTheRunFailsThatCopyCleanly)

// A failed copy removes its temporary file through its handle: also when the drive's letter
// has gone (the enclosure was unplugged) and the file can no longer be named.
TEST_F(RealVolume, ATemporaryFileGoesAlsoWhenTheDriveLetterWentAwayMidCopy) {
    DRIVE_OR_SKIP(drive, L"CF_PULLED_DRIVE");
    // The folder behind the drive, by a name that stays when the letter goes.
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"CF_PULLED_FOLDER", folder, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH) << "CF_PULLED_FOLDER names the folder behind " << drive.size();
    const std::wstring stillThere = folder;
    ASSERT_TRUE(std::filesystem::is_directory(stillThere));
    const std::wstring source = local.File(L"movie.bin");
    testing_support::WriteBytes(source, Content(16u << 20, 9));

    Win32FileSystem files;
    std::atomic<int> cancel{0};
    bool pulled = false;
    const std::uint32_t error = files.CopyWithProgress(
        source, drive + L"\\movie.bin",
        [&](std::uint64_t, std::uint64_t done, CopyProgressReason reason) {
            if (reason != CopyProgressReason::ChunkFinished || done == 0 || pulled) return true;
            pulled = AskForDrive(L"pull", drive) && ::GetFileAttributesW((drive + L"\\").c_str()) == INVALID_FILE_ATTRIBUTES;
            return true;
        },
        cancel);
    ASSERT_TRUE(AskForDrive(L"plug", drive));
    ASSERT_TRUE(pulled) << "the drive letter was not taken away";
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(HasPartialFile(stillThere)) << "the temporary file stayed behind in the folder";
    EXPECT_FALSE(std::filesystem::exists(stillThere + L"\\movie.bin"));
    EXPECT_TRUE(std::filesystem::is_directory(stillThere)) << "the folder was there to look into";
}

}  // namespace
}  // namespace copperfold
