#pragma once
// The fixture of the real-volume tests (real_volume_test.cpp, its only user): the drives the
// script maps, a run of the engine on them, and the scenarios each test runs on one drive.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cwctype>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
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
#include "copperfold/core/preflight.h"
#include "copperfold/tests/counting_observer.h"
#include "copperfold/win32/win32_file_system.h"
#include "common/core/ini_file.h"

namespace copperfold {
namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

constexpr std::uint64_t kSecond = kFileTimeUnitsPerSecond;
// 2024-03-09 10:11:13.370 UTC and on: odd seconds and fractions of one.
constexpr std::uint64_t kBaseTime = 133'544'754'733'700'000ull;

// 1975-06-01 12:00, 2103-06-01 12:00 and 2150-01-01 UTC: times FAT cannot hold, and the year
// 1975 as a FAT driver that keeps the year modulo 128 reads it back.
constexpr std::uint64_t k1975 = 118'153'296'000'000'000ull;
constexpr std::uint64_t k2103 = 158'546'160'000'000'000ull;
constexpr std::uint64_t k2150 = 173'247'552'000'000'000ull;

std::wstring DriveFromEnvironment(const wchar_t* name) {
    wchar_t value[16] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 16);
    return length == 2 && value[1] == L':' ? std::wstring(value) : std::wstring();
}

std::wstring FolderFromEnvironment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value) : std::wstring();
}

// Asks real_volumes.sh to "pull", "plug" or "remount" a drive and waits until it has done so.
bool AskForDrive(const std::wstring& action, const std::wstring& drive) {
    const std::wstring control = FolderFromEnvironment(L"CF_CONTROL_FOLDER");
    if (control.empty() || drive.empty()) return false;
    const std::wstring request = control + L"\\" + action + L"-" + static_cast<wchar_t>(std::towlower(drive[0]));
    testing_support::WriteBytes(request, "");
    for (int wait = 0; wait < 600 && std::filesystem::exists(request); ++wait) std::this_thread::sleep_for(100ms);
    return !std::filesystem::exists(request) && !std::filesystem::exists(request + L".failed");
}

// FAT's range, 1980-01-01 00:00:00 to 2107-12-31 23:59:58 in local time, in UTC.
std::uint64_t LocalTimeAsUtc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    const SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0};
    SYSTEMTIME universal{};
    FILETIME time{};
    EXPECT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) && ::SystemTimeToFileTime(&universal, &time));
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool WithinTwoSeconds(std::uint64_t a, std::uint64_t b) { return a + kTimeTolerance >= b && a <= b + kTimeTolerance; }

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::uint64_t LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// With the access time beside it: the FUSE drivers keep nothing of a write time given alone.
void SetLastWriteTime(const std::wstring& path, std::uint64_t time) {
    const win32::UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    const FILETIME fileTime{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ASSERT_TRUE(file && ::SetFileTime(file.get(), nullptr, &fileTime, &fileTime)) << "cannot set the time of " << path.size();
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

using testing_support::CountingObserver;

// One job run by the engine in this process, as a run nobody watches (it goes on after a failed
// copy), on `files`.
struct EngineRun {
    CountingObserver observer;
    int outcome = -1;  // as the exit status of /run
};
EngineRun RunEngine(FileSystem& files, const JobRecord& job) {
    EngineRun run;
    RunCounters counters;
    CopyEngine engine(files, run.observer, counters);
    engine.SetOnCopyFailure(CopyEngine::OnCopyFailure::GoOn);
    JobBatch batch;
    batch.entries[batch.count++] = job;
    engine.RunJobs(batch, 0ms);
    run.outcome = RunOutcomeCode(counters);
    return run;
}

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
    int AddJob(const std::wstring& source, const std::wstring& target, JobType type, JobOptions options = {}) {
        CIniFile ini(local.File(L"Copperfold.ini"));
        CCopperfoldDoc doc(&ini, MakeJobSection(win32::ComputerName(), win32::UserName()));
        JobRecord job(source, target, type);
        job.options = options;
        EXPECT_EQ(doc.AddJob(job), CCopperfoldDoc::AddResult::Added);
        return ++jobs;
    }

    struct Run {
        long exitCode = -1;
        std::string errors;
        long long filesCopied = -1;  // from the run log's last record
    };
    Run RunJobs(const std::wstring& jobNumbers) { return RunCommand(L"/run " + jobNumbers); }
    // Copperfold.exe with these arguments: its exit status, standard error (or output, for
    // /versions and previews) and the files its run copied.
    Run RunCommand(const std::wstring& arguments) {
        const testing_support::ProgramResult result =
            testing_support::RunProgram(Program(), arguments, local.Path(), {}, 120000);
        if (result.exitCode == -1) ADD_FAILURE() << "the run did not start or did not end within 2 minutes";
        const bool lists = arguments.starts_with(L"/versions") || arguments.ends_with(L"/preview");
        return {result.exitCode, lists ? result.output : result.errors, FilesCopiedByTheLastRun()};
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

    // A folder of the test's own with one file, dated `time`.
    std::wstring FolderWithFile(const std::wstring& name, const std::wstring& file, const std::string& content,
                                std::uint64_t time) {
        const std::wstring folder = local.File(name);
        std::filesystem::create_directories(folder);
        testing_support::WriteBytes(folder + L"\\" + file, content);
        SetLastWriteTime(folder + L"\\" + file, time);
        return folder;
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
    void BackupThenSyncKeepsTimesAndASecondSyncCopiesNothing(const std::wstring& drive, const wchar_t* /*fileSystem*/) {
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
    void DriveFilledDuringTheRunFailsThatCopyCleanly(const std::wstring& drive, const wchar_t* /*fileSystem*/) {
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

    // Copies of files dated 1975 and 2150 are given the ends of FAT's range, which a replugged
    // drive reads back (not 2103, or a year wrapped past 2107), and a Sync takes them for their
    // originals, which it leaves as they are. A copy whose year the drive kept wrongly never wins
    // over the user's edit: the pair is left as it is, and the run says so once.
    void TimesTheDriveCannotHoldAreBroughtIntoItsRange(const std::wstring& drive, const wchar_t* fileSystem) {
        const std::wstring source = local.File(L"Times");
        std::filesystem::create_directories(source);
        const std::vector<std::pair<const wchar_t*, std::uint64_t>> files = {
            {L"1975.txt", k1975}, {L"2150.txt", k2150}, {L"letter.txt", kBaseTime}};
        for (const auto& [name, time] : files) {
            testing_support::WriteBytes(source + L"\\" + name, "written in " + common::WideToUtf8(name).value_or(""));
            SetLastWriteTime(source + L"\\" + name, time);
        }
        const std::wstring target = DriveFolder(drive, L"times");
        const std::wstring copies = target + L"\\Times";
        Win32FileSystem platform;
        NamedVolume named(platform, drive, fileSystem);
        EXPECT_EQ(RunEngine(named, {source, target, JobType::Backup, {}}).outcome, 0);
        ASSERT_TRUE(AskForDrive(L"remount", drive)) << "the drive could not be replugged";
        EXPECT_TRUE(WithinTwoSeconds(LastWriteTime(copies + L"\\1975.txt"), LocalTimeAsUtc(1980, 1, 1, 0, 0, 0)))
            << LastWriteTime(copies + L"\\1975.txt");
        EXPECT_TRUE(WithinTwoSeconds(LastWriteTime(copies + L"\\2150.txt"), LocalTimeAsUtc(2107, 12, 31, 23, 59, 58)))
            << LastWriteTime(copies + L"\\2150.txt");
        EXPECT_TRUE(WithinTwoSeconds(LastWriteTime(copies + L"\\letter.txt"), kBaseTime));

        const JobRecord sync{source, copies, JobType::Sync, {}};
        const EngineRun same = RunEngine(named, sync);
        EXPECT_EQ(same.observer.copies, 0) << "the originals are not rewritten by their copies";
        for (const auto& [name, time] : files) EXPECT_EQ(LastWriteTime(source + L"\\" + name), time) << name;

        // The drive's copy of the letter reads as 2103 (as one an earlier version put there does
        // after a replug); the user edits the original.
        SetLastWriteTime(copies + L"\\letter.txt", k2103);
        ASSERT_TRUE(AskForDrive(L"remount", drive));
        testing_support::WriteBytes(source + L"\\letter.txt", "the user's edit");
        const EngineRun edited = RunEngine(named, sync);
        EXPECT_EQ(edited.outcome, 0);
        EXPECT_EQ(edited.observer.copies, 0);
        EXPECT_EQ(testing_support::ReadBytes(source + L"\\letter.txt"), "the user's edit");
        EXPECT_EQ(testing_support::ReadBytes(copies + L"\\letter.txt"), "written in letter.txt");
        ASSERT_EQ(edited.observer.notes.size(), 1u);
        EXPECT_NE(edited.observer.notes[0].find(copies + L"\\letter.txt is dated in the future"), std::wstring::npos);
    }

    // Names a Windows folder cannot hold, from a Linux folder (drive Z:): names that differ only in
    // case are copied neither way, names with ? * | are not copied; each is said once, and the
    // run fails. The other files are copied.
    void NamesWindowsCannotHoldAreToldAndNotCopied(const std::wstring& drive, const wchar_t* /*fileSystem*/) {
        const std::wstring trees = FolderFromEnvironment(L"CF_TREES_FOLDER");
        ASSERT_FALSE(trees.empty()) << "CF_TREES_FOLDER names the source trees";
        const std::wstring letter(1, static_cast<wchar_t>(std::towlower(drive[0])));
        const std::wstring source = trees + L"\\names-" + letter;
        const std::wstring backup = DriveFolder(drive, L"names");
        const std::wstring synced = DriveFolder(drive, L"names-sync");
        const int backupJob = AddJob(source, backup, JobType::Backup);
        const int syncJob = AddJob(source, synced, JobType::Sync);
        const std::wstring copies = backup + L"\\names-" + letter;
        for (const int job : {backupJob, syncJob}) {
            const Run run = RunJobs(std::to_wstring(job));
            EXPECT_EQ(run.exitCode, 1) << run.errors;
            EXPECT_EQ(run.filesCopied, 1) << "fine.txt alone";
            EXPECT_EQ(Occurrences(run.errors, "differ only in case"), 2u) << run.errors;
            for (const char* name : {"what?.txt was not copied", "a|b was not copied", "star* was not copied"}) {
                EXPECT_EQ(Occurrences(run.errors, name), 1u) << name << ": " << run.errors;
            }
            EXPECT_EQ(run.errors.find("Copy failed"), std::string::npos) << run.errors;
            EXPECT_NE(LastRunRecord().find("  Error: "), std::string::npos) << LastRunRecord();
        }
        EXPECT_EQ(testing_support::ReadBytes(copies + L"\\fine.txt"), "fine\n");
        EXPECT_EQ(testing_support::ReadBytes(synced + L"\\fine.txt"), "fine\n");
        for (const std::wstring& folder : {copies, synced}) {
            EXPECT_FALSE(std::filesystem::exists(folder + L"\\a.txt")) << "neither of a pair reached the drive";
            EXPECT_FALSE(std::filesystem::exists(folder + L"\\docs")) << "nor a folder of one";
        }
        EXPECT_EQ(testing_support::ReadBytes(source + L"\\a.txt"), "lower\n") << "the Sync overwrote neither";
        EXPECT_EQ(testing_support::ReadBytes(source + L"\\A.txt"), "upper\n");
    }

    // A Restore and a Sync whose drive is unplugged: each job fails and says which folder it
    // cannot reach and why; nothing is made on the other side.
    void JobsWhoseDriveIsNotThereFailAndSaySo(const std::wstring& drive, const wchar_t* /*fileSystem*/) {
        const std::wstring onDrive = DriveFolder(drive, L"unplugged");
        std::filesystem::create_directories(onDrive);
        testing_support::WriteBytes(onDrive + L"\\a.txt", "backed up");
        const std::wstring restored = local.File(L"Restored");
        const std::wstring synced = local.File(L"Synced");
        std::filesystem::create_directories(synced);
        testing_support::WriteBytes(synced + L"\\b.txt", "local");
        const int restore = AddJob(restored, onDrive, JobType::Restore);
        const int sync = AddJob(synced, onDrive, JobType::Sync);
        ASSERT_TRUE(AskForDrive(L"pull", drive));
        const Run run = RunJobs(std::to_wstring(restore) + L"," + std::to_wstring(sync));
        ASSERT_TRUE(AskForDrive(L"plug", drive));
        EXPECT_EQ(run.exitCode, 1);
        const std::string told = "The folder " + common::WideToUtf8(onDrive).value_or("") +
                                 " cannot be reached: the drive " + common::WideToUtf8(drive).value_or("") +
                                 " is not there. The job was not run.";
        EXPECT_EQ(Occurrences(run.errors, told), 2u) << run.errors;
        EXPECT_NE(LastRunRecord().find("  Result: failed;"), std::string::npos) << LastRunRecord();
        EXPECT_FALSE(std::filesystem::exists(restored)) << "nothing was made for the Restore";
        EXPECT_EQ(FilesBelow(synced).size(), 1u);
    }

    // The drive goes away in the middle of a Restore from it: the run says so once, with the files
    // it did not restore, instead of one error per file; no temporary file stays.
    void ADriveThatGoesAwayMidRestoreIsToldOnce(const std::wstring& drive, const wchar_t* /*fileSystem*/) {
        const std::wstring backup = DriveFolder(drive, L"midway");
        const Run first = RunJobs(std::to_wstring(AddJob(MakeTree(L"Midway"), backup, JobType::Backup)));
        ASSERT_EQ(first.filesCopied, 120) << first.errors;
        const std::wstring restored = local.File(L"Back");

        // Unplugged once ten files are back.
        class PullAfterTenCopies final : public ForwardingFileSystem {
        public:
            PullAfterTenCopies(FileSystem& inner, std::wstring drive) : ForwardingFileSystem(inner), drive_(std::move(drive)) {}
            std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                           const std::atomic<int>& cancel) override {
                const std::uint32_t error = ForwardingFileSystem::CopyWithProgress(from, to, progress, cancel);
                if (error == 0 && ++copied_ == 10) pulled = AskForDrive(L"pull", drive_);
                return error;
            }
            std::atomic<bool> pulled{false};

        private:
            std::wstring drive_;
            std::atomic<int> copied_{0};
        };
        Win32FileSystem platform;
        PullAfterTenCopies files(platform, drive);
        const EngineRun run = RunEngine(files, {restored, backup + L"\\Midway", JobType::Restore, {}});
        ASSERT_TRUE(AskForDrive(L"plug", drive));
        ASSERT_TRUE(files.pulled.load()) << "the drive was not unplugged";
        EXPECT_EQ(run.outcome, 1);
        EXPECT_TRUE(run.observer.errors.empty()) << run.observer.errors.size() << " copy errors";
        const std::size_t back = FilesBelow(restored).size();
        EXPECT_GE(back, 10u);
        EXPECT_LT(back, 120u);
        ASSERT_EQ(run.observer.failures.size(), 1u);
        EXPECT_EQ(run.observer.failures[0], L"Drive " + drive + L" went away during this job, so the job was stopped: " +
                                                ByteCount(120 - back) + L" of the 120 files it was to copy were not copied.");
        EXPECT_FALSE(HasPartialFile(restored));
    }

    // A Backup onto `base` (a drive, or a folder on Z:) that copies only new and changed files and
    // keeps what it replaces: a repeat copies nothing; after every source file was rewritten
    // with other bytes and times, the next run keeps every earlier file in the version store
    // (by a rename on the drive); the restore of that version brings them all back byte for
    // byte, keeping the damaged ones in turn. A Sync between a local folder and one on `base`
    // keeps each side's replaced file on that side.
    void QuickBackupsKeepVersionsAndARestoreBringsEveryFileBack(const std::wstring& base, bool replug) {
        const std::wstring source = MakeTree(L"Photos");
        const std::wstring target = DriveFolder(base, L"versions");
        const int job = AddJob(source, target, JobType::Backup, {1, 30});
        const std::wstring copies = target + L"\\Photos";
        const std::wstring store = copies + L"\\.copperfold-versions";
        const std::vector<std::wstring> files = FilesBelow(source);
        std::vector<std::string> originals;
        for (const std::wstring& file : files) originals.push_back(testing_support::ReadBytes(file));
        EXPECT_EQ(RunJobs(std::to_wstring(job)).filesCopied, 120);
        const Run repeat = RunJobs(std::to_wstring(job));
        EXPECT_EQ(repeat.exitCode, 0) << repeat.errors;
        EXPECT_EQ(repeat.filesCopied, 0) << "a repeat quick Backup copies nothing: " << LastRunRecord();
        EXPECT_FALSE(std::filesystem::exists(store)) << "nothing replaced yet";

        for (std::size_t i = 0; i < files.size(); ++i) {
            testing_support::WriteBytes(files[i], "damaged " + originals[i]);
            SetLastWriteTime(files[i], kBaseTime + 500 * kSecond + i * kSecond);
        }
        const Run damaged = RunJobs(std::to_wstring(job));
        EXPECT_EQ(damaged.exitCode, 0) << damaged.errors;
        EXPECT_EQ(damaged.filesCopied, 120);
        if (replug) {
            ASSERT_TRUE(AskForDrive(L"remount", base)) << "the drive could not be replugged";
        }
        const Run listed = RunCommand(L"/versions " + std::to_wstring(job));
        const std::size_t line = listed.errors.find("\r\n    ");
        const std::size_t colon = listed.errors.find(": 120 files, ", line);
        ASSERT_TRUE(line != std::string::npos && colon != std::string::npos) << listed.errors;
        const std::wstring version = common::Utf8ToWide(listed.errors.substr(line + 6, colon - line - 6));
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::wstring relative = files[i].substr(source.size());
            EXPECT_EQ(testing_support::ReadBytes(store + L"\\" + version + relative), originals[i]) << i;
            EXPECT_EQ(testing_support::ReadBytes(copies + relative), "damaged " + originals[i]) << i;
        }
        EXPECT_FALSE(HasPartialFile(target));

        const Run restored = RunCommand(L"/restore-version " + std::to_wstring(job) + L" target \"" + version + L"\"");
        EXPECT_EQ(restored.exitCode, 0) << restored.errors;
        EXPECT_EQ(restored.filesCopied, 120);
        if (replug) {
            ASSERT_TRUE(AskForDrive(L"remount", base));
        }
        // In a version folder of its own: one of the same second as the damaged run's is named as
        // that one with " (2)" after it, so the folder is told by its whole name.
        std::size_t keptInTurn = 0;
        const std::wstring damagedRunsFolder = store + L"\\" + version + L"\\";
        for (const std::wstring& kept : FilesBelow(store)) {
            if (!kept.starts_with(damagedRunsFolder) && testing_support::ReadBytes(kept).starts_with("damaged ")) {
                ++keptInTurn;
            }
        }
        EXPECT_EQ(keptInTurn, 120u) << "the damaged files, kept by the restore";
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(testing_support::ReadBytes(copies + files[i].substr(source.size())), originals[i]) << i;
        }
        EXPECT_FALSE(HasPartialFile(target));

        // A Sync: each side's replaced file stays on that side.
        const std::wstring here = local.File(L"SyncHere");
        const std::wstring there = DriveFolder(base, L"sync-versions");
        std::filesystem::create_directories(here);
        std::filesystem::create_directories(there);
        for (const auto& [folder, name, content, time] :
             {std::tuple{here, L"a.txt", "newer here", 200}, std::tuple{there, L"a.txt", "older there", 100},
              std::tuple{here, L"b.txt", "older here", 100}, std::tuple{there, L"b.txt", "newer there", 200}}) {
            testing_support::WriteBytes(folder + L"\\" + name, content);
            SetLastWriteTime(folder + L"\\" + name, kBaseTime + std::uint64_t(time) * kSecond);
        }
        const Run synced = RunJobs(std::to_wstring(AddJob(here, there, JobType::Sync, {0, 7})));
        EXPECT_EQ(synced.exitCode, 0) << synced.errors;
        EXPECT_EQ(synced.filesCopied, 2);
        const std::vector<std::wstring> keptHere = FilesBelow(here + L"\\.copperfold-versions");
        const std::vector<std::wstring> keptThere = FilesBelow(there + L"\\.copperfold-versions");
        ASSERT_EQ(keptHere.size(), 1u);
        ASSERT_EQ(keptThere.size(), 1u);
        EXPECT_EQ(testing_support::ReadBytes(keptHere[0]), "older here");
        EXPECT_EQ(testing_support::ReadBytes(keptThere[0]), "older there");
        EXPECT_EQ(testing_support::ReadBytes(there + L"\\a.txt"), "newer here");
        EXPECT_EQ(testing_support::ReadBytes(here + L"\\b.txt"), "newer there");
    }

    TempFolder local;
    int jobs = 0;
    std::vector<std::wstring> onDrives;
};

#define DRIVE_OR_SKIP(variable, name)                                                         \
    const std::wstring variable = DriveFromEnvironment(name);                                 \
    if (variable.empty()) GTEST_SKIP() << #name " names no drive: the volume is not mounted"

}  // namespace
}  // namespace copperfold
