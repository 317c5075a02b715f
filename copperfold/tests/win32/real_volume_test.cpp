// Copies onto real FAT32 and exFAT volumes: the enclosure's drives as users have them. The script
// copperfold/tests/real_volumes.sh mounts an image formatted by our own Volkern.dll through a FUSE
// FAT driver and an exFAT image through the exFAT FUSE driver, maps them as drives of the tests'
// Wine prefix and names them in CF_FAT32_DRIVE and CF_EXFAT_DRIVE; CF_PULLED_DRIVE names a drive
// whose letter the script takes away when the test asks (by creating "pull-now" on it). A test
// whose drive is not named is skipped. The script checks the file systems after the tests.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/core/text_codec.h"
#include "common/tests/win32/temp_folder.h"
#include "copperfold/tests/win32/program_run.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/copy_engine.h"
#include "copperfold/core/file_times.h"
#include "copperfold/core/forwarding_file_system.h"
#include "copperfold/core/partial_name.h"
#include "copperfold/win32/win32_file_system.h"
#include "common/core/ini_file.h"

namespace copperfold {
namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

constexpr std::uint64_t kSecond = kFileTimeUnitsPerSecond;
// 2024-03-09 10:11:13.370 UTC and on: odd seconds and fractions of one.
constexpr std::uint64_t kBaseTime = 133'544'754'733'700'000ull;

std::wstring DriveFromEnvironment(const wchar_t* name) {
    wchar_t value[16] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 16);
    return length == 2 && value[1] == L':' ? std::wstring(value) : std::wstring();
}

std::uint64_t LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

void SetLastWriteTime(const std::wstring& path, std::uint64_t time) {
    const win32::UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    const FILETIME fileTime{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ASSERT_TRUE(file && ::SetFileTime(file.get(), nullptr, nullptr, &fileTime)) << "cannot set the time of " << path.size();
}

// A file of `size` bytes that takes no room: only its last byte is written.
void MakeSparseFile(const std::wstring& path, std::uint64_t size) {
    const win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size - 1);
    DWORD written = 0;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::WriteFile(file.get(), "x", 1, &written, nullptr));
}

// Bytes that are never zero (a chunk of zeros is not written, see the copier).
std::string Content(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(1 + (i * 7 + seed) % 251);
    return bytes;
}

// Every file below `folder`, and whether any is a temporary file of the copier.
std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> files;
    std::error_code missing;
    for (std::filesystem::recursive_directory_iterator it(folder, missing), end; it != end; ++it) {
        if (it->is_regular_file()) files.push_back(it->path().wstring());
    }
    return files;
}
bool HasPartialFile(const std::wstring& folder) {
    for (const std::wstring& file : FilesBelow(folder)) {
        if (IsPartialFileName(std::filesystem::path(file).filename().wstring())) return true;
    }
    return false;
}

void RemoveTree(const std::wstring& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// The platform's file system with one drive named as the platform names it on Windows: Wine
// reports every mapped folder as "NTFS", whatever lies under it.
class NamedVolume final : public ForwardingFileSystem {
public:
    NamedVolume(FileSystem& inner, std::wstring drive, std::wstring fileSystem)
        : ForwardingFileSystem(inner), drive_(std::move(drive)), fileSystem_(std::move(fileSystem)) {}
    VolumeFacts Volume(const std::wstring& path) override {
        VolumeFacts facts = ForwardingFileSystem::Volume(path);
        if (_wcsnicmp(path.c_str(), drive_.c_str(), 2) == 0) facts.fileSystem = fileSystem_;
        return facts;
    }

private:
    std::wstring drive_;
    std::wstring fileSystem_;
};

class QuietObserver final : public RunObserver {
public:
    void SetPathLines(const std::wstring& first, const std::wstring&) override {
        if (first.rfind(L"Copy: ", 0) == 0) ++copies;
    }
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t error, const std::wstring&, const std::wstring&) override { errors.push_back(error); }
    void ShowJobRefused(const JobRecord&, const JobRefusal& reason) override {
        refusals.push_back(FilledText(reason.text, reason.arguments));
    }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}

    int copies = 0;
    std::vector<std::uint32_t> errors;
    std::vector<std::wstring> refusals;
};

// A copy of Copperfold.exe with its own job file and run log, and a source tree on drive C:.
class RealVolume : public ::testing::Test {
protected:
    RealVolume() {
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), Program());
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"),
                                   local.File(L"Copperfold.ini"));
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", local.Path().c_str());  // the run log of our runs
    }
    ~RealVolume() override {
        for (const std::wstring& folder : onDrives) RemoveTree(folder);
    }

    std::wstring Program() const { return local.File(L"Copperfold.exe"); }
    // A folder of the test's own on `drive`, removed afterwards.
    std::wstring DriveFolder(const std::wstring& drive, const std::wstring& name) {
        const std::wstring folder = drive + L"\\cf-" + name;
        RemoveTree(folder);
        onDrives.push_back(folder);
        return folder;
    }
    int AddJob(const std::wstring& source, const std::wstring& target, JobType type) {
        CIniFile ini(local.File(L"Copperfold.ini"));
        CCopperfoldDoc doc(&ini, MakeJobSection(win32::ComputerName(), win32::UserName()));
        EXPECT_EQ(doc.AddJob(source, target, type), CCopperfoldDoc::AddResult::Added);
        return ++jobs;
    }

    struct Run {
        long exitCode = -1;
        std::string errors;
        long long filesCopied = -1;  // from the run log's last record
    };
    Run RunJobs(const std::wstring& jobNumbers) {
        const testing_support::ProgramResult result =
            testing_support::RunProgram(Program(), L"/run " + jobNumbers, local.Path(), {}, 120000);
        if (result.exitCode == -1) ADD_FAILURE() << "the run did not start or did not end within 2 minutes";
        return {result.exitCode, result.errors, FilesCopiedByTheLastRun()};
    }
    // "  Result: done; 120 files copied, ..." of the newest record.
    long long FilesCopiedByTheLastRun() const {
        const std::string log = testing_support::ReadBytes(local.File(L"Copperfold\\RunLog.txt"));
        const std::size_t result = log.rfind("  Result: ");
        if (result == std::string::npos) return -1;
        const std::size_t semicolon = log.find("; ", result);
        if (semicolon == std::string::npos) return -1;
        std::string digits;
        for (std::size_t i = semicolon + 2; i < log.size() && (std::isdigit(static_cast<unsigned char>(log[i])) || log[i] == ','); ++i) {
            if (log[i] != ',') digits.push_back(log[i]);
        }
        return digits.empty() ? -1 : std::stoll(digits);
    }
    std::string LastRunRecord() const {
        const std::string log = testing_support::ReadBytes(local.File(L"Copperfold\\RunLog.txt"));
        const std::size_t start = log.rfind("Run ");
        return start == std::string::npos ? std::string() : log.substr(start);
    }

    // 120 files in three folders, with odd seconds and fractions of a second.
    std::wstring MakeTree(const std::wstring& name) {
        const std::wstring root = local.File(name);
        for (int i = 0; i < 120; ++i) {
            const std::wstring folder = root + L"\\part" + std::to_wstring(i % 3);
            std::filesystem::create_directories(folder);
            const std::wstring file = folder + L"\\file" + std::to_wstring(i) + L".txt";
            testing_support::WriteBytes(file, "content " + std::to_string(i));
            SetLastWriteTime(file, kBaseTime + static_cast<std::uint64_t>(i) * (kSecond + kSecond * 37 / 100));
        }
        return root;
    }
    static std::vector<std::uint64_t> TimesOf(const std::vector<std::wstring>& files) {
        std::vector<std::uint64_t> times;
        for (const std::wstring& file : files) times.push_back(LastWriteTime(file));
        return times;
    }

    // A Backup onto the drive, then two Syncs between the source and its copy: the copies keep
    // their source's times, and neither Sync copies anything either way.
    void BackupThenSyncCopiesNothing(const std::wstring& drive) {
        const std::wstring source = MakeTree(L"Tree");
        const std::wstring target = DriveFolder(drive, L"sync");
        const int backup = AddJob(source, target, JobType::Backup);
        const int sync = AddJob(source, target + L"\\Tree", JobType::Sync);
        const std::vector<std::wstring> sourceFiles = FilesBelow(source);
        const std::vector<std::uint64_t> sourceTimes = TimesOf(sourceFiles);

        const Run first = RunJobs(std::to_wstring(backup));
        EXPECT_EQ(first.exitCode, 0) << first.errors;
        EXPECT_EQ(first.filesCopied, 120);
        for (const std::wstring& file : sourceFiles) {
            const std::wstring copy = target + L"\\Tree" + file.substr(source.size());
            const std::uint64_t kept = LastWriteTime(copy);
            const std::uint64_t given = LastWriteTime(file);
            EXPECT_TRUE(kept + kTimeTolerance >= given && kept <= given + kTimeTolerance)
                << "the copy keeps its source's time to the volume's resolution: " << (static_cast<long long>(kept) - static_cast<long long>(given)) / 10000 << " ms off";
        }
        EXPECT_EQ(LastRunRecord().find("did not keep the last-write times"), std::string::npos) << LastRunRecord();

        for (int round = 0; round < 2; ++round) {
            const Run again = RunJobs(std::to_wstring(sync));
            EXPECT_EQ(again.exitCode, 0) << again.errors;
            EXPECT_EQ(again.filesCopied, 0) << "Sync " << round + 1 << " copied files: " << LastRunRecord();
        }
        EXPECT_EQ(TimesOf(sourceFiles), sourceTimes) << "no source file was rewritten";
        EXPECT_FALSE(HasPartialFile(target));
    }

    // A copy over an existing file while another program fills the drive: the copy fails, the
    // previous version stays, and no temporary file is left.
    void FilledDriveFailsTheCopyCleanly(const std::wstring& drive) {
        const std::wstring target = DriveFolder(drive, L"full");
        std::filesystem::create_directories(target);
        testing_support::WriteBytes(target + L"\\video.bin", "previous version");
        const std::wstring source = local.File(L"video.bin");
        testing_support::WriteBytes(source, Content(16u << 20, 3));
        const std::wstring filler = target + L"\\filler.bin";

        Win32FileSystem files;
        bool filled = false;
        std::atomic<int> cancel{0};
        const std::uint32_t error = files.CopyWithProgress(
            source, target + L"\\video.bin",
            [&](std::uint64_t, std::uint64_t done, CopyProgressReason reason) {
                if (reason != CopyProgressReason::ChunkFinished || done == 0 || filled) return true;
                filled = true;  // another writer takes what is left
                const win32::UniqueFile file(::CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
                const std::string block = Content(1u << 20, 5);
                DWORD written = 0;
                while (::WriteFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
                       written == block.size()) {
                }
                return true;
            },
            cancel);
        EXPECT_TRUE(filled);
        EXPECT_NE(error, 0u) << "the copy cannot have succeeded on a full drive";
        EXPECT_EQ(testing_support::ReadBytes(target + L"\\video.bin"), "previous version");
        EXPECT_FALSE(HasPartialFile(target));
        ::DeleteFileW(filler.c_str());
    }

    TempFolder local;
    int jobs = 0;
    std::vector<std::wstring> onDrives;
};

#define DRIVE_OR_SKIP(variable, name)                                                         \
    const std::wstring variable = DriveFromEnvironment(name);                                 \
    if (variable.empty()) GTEST_SKIP() << #name " names no drive: the volume is not mounted"

TEST_F(RealVolume, Fat32BackupThenSyncKeepsTimesAndASecondSyncCopiesNothing) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    BackupThenSyncCopiesNothing(drive);
}

TEST_F(RealVolume, ExFatBackupThenSyncKeepsTimesAndASecondSyncCopiesNothing) {
    DRIVE_OR_SKIP(drive, L"CF_EXFAT_DRIVE");
    BackupThenSyncCopiesNothing(drive);
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
    QuietObserver observer;
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

TEST_F(RealVolume, Fat32ASyncAfterTheHourShiftOfDaylightSavingCopiesNothing) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    const std::wstring source = MakeTree(L"Shifted");
    const std::wstring target = DriveFolder(drive, L"shifted");
    Win32FileSystem platform;
    NamedVolume files(platform, drive, L"FAT32");
    QuietObserver observer;
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

    QuietObserver second;
    CopyEngine(files, second, counters).RunJobs(batch, 0ms);
    EXPECT_EQ(second.copies, 0);
    EXPECT_EQ(TimesOf(sourceFiles), sourceTimes);
}

TEST_F(RealVolume, Fat32DriveFilledDuringTheRunFailsThatCopyCleanly) {
    DRIVE_OR_SKIP(drive, L"CF_FAT32_DRIVE");
    FilledDriveFailsTheCopyCleanly(drive);
}

TEST_F(RealVolume, ExFatDriveFilledDuringTheRunFailsThatCopyCleanly) {
    DRIVE_OR_SKIP(drive, L"CF_EXFAT_DRIVE");
    FilledDriveFailsTheCopyCleanly(drive);
}

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
            testing_support::WriteBytes(drive + L"\\pull-now", "");
            for (int wait = 0; wait < 200 && ::GetFileAttributesW((drive + L"\\").c_str()) != INVALID_FILE_ATTRIBUTES; ++wait) {
                std::this_thread::sleep_for(50ms);
            }
            pulled = ::GetFileAttributesW((drive + L"\\").c_str()) == INVALID_FILE_ATTRIBUTES;
            return true;
        },
        cancel);
    ASSERT_TRUE(pulled) << "the drive letter was not taken away";
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(HasPartialFile(stillThere)) << "the temporary file stayed behind in the folder";
    EXPECT_FALSE(std::filesystem::exists(stillThere + L"\\movie.bin"));
    EXPECT_TRUE(std::filesystem::is_directory(stillThere)) << "the folder was there to look into";
}

}  // namespace
}  // namespace copperfold
