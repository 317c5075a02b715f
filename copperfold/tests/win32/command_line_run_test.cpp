// Copperfold.exe /run: jobs from the command line in the progress dialog, and the exit status.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "common/core/ini_file.h"
#include "common/tests/win32/temp_folder.h"
#include "copperfold/tests/win32/program_run.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"
#include "common/core/text_codec.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/win32/run_log_file.h"

namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

// A copy of the program with its own job file, and the folders its jobs use.
class CommandLineRun : public ::testing::Test {
protected:
    CommandLineRun() {
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), Program());
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"),
                                   folder.File(L"Copperfold.ini"));
    }

    std::wstring Program() const { return folder.File(L"Copperfold.exe"); }
    void AddJob(const std::wstring& source, const std::wstring& target, JobType type) {
        CIniFile ini(folder.File(L"Copperfold.ini"));
        CCopperfoldDoc doc(&ini, MakeJobSection(win32::ComputerName(), win32::UserName()));
        ASSERT_EQ(doc.AddJob(source, target, type), CCopperfoldDoc::AddResult::Added);
    }
    std::wstring MakeFolder(const std::wstring& name, int files = 0) {
        const std::wstring path = folder.File(name);
        std::filesystem::create_directories(path);
        for (int i = 0; i < files; ++i) testing_support::WriteBytes(path + L"\\f" + std::to_wstring(i) + L".txt", "data");
        return path;
    }

    // Runs the program with these arguments, its standard streams caught.
    using Result = testing_support::ProgramResult;
    Result Start(const std::wstring& arguments, const std::function<void(HANDLE process)>& whileRunning = {}) {
        return testing_support::RunProgram(Program(), arguments, folder.Path(), whileRunning);
    }

    // Fails the test for any message box the run shows (and answers it, so the run can end).
    static void NoBoxMayShow(HANDLE process) {
        while (::WaitForSingleObject(process, 20) == WAIT_TIMEOUT) {
            for (const wchar_t* caption : {L"Prompt Message", L"Error", L"Error Message"}) {
                if (const HWND box = ::FindWindowW(L"#32770", caption)) {
                    ADD_FAILURE() << "a message box showed";
                    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                }
            }
        }
    }
    static size_t CountFiles(const std::wstring& path) {
        size_t count = 0;
        std::error_code missing;
        for (std::filesystem::recursive_directory_iterator it(path, missing), end; it != end; ++it) {
            if (it->is_regular_file()) ++count;
        }
        return count;
    }

    TempFolder folder;
};

TEST_F(CommandLineRun, BadArgumentsAndUnknownJobsExitWithThreeAndSayWhy) {
    AddJob(MakeFolder(L"src"), MakeFolder(L"dst"), JobType::Backup);
    const Result notANumber = Start(L"/run x");
    EXPECT_EQ(notANumber.exitCode, 3);
    EXPECT_NE(notANumber.errors.find("Not a job number: \"x\""), std::string::npos) << notANumber.errors;

    const Result noSuchJob = Start(L"/run 1,4");
    EXPECT_EQ(noSuchJob.exitCode, 3);
    EXPECT_NE(noSuchJob.errors.find("There is no job 4"), std::string::npos) << noSuchJob.errors;

    EXPECT_EQ(Start(L"/bogus").exitCode, 3);
}

TEST_F(CommandLineRun, RunsTheNamedJobsOrAllOfThemAndExitsWithZero) {
    AddJob(MakeFolder(L"one", 2), MakeFolder(L"target1"), JobType::Backup);
    AddJob(MakeFolder(L"two", 3), MakeFolder(L"target2"), JobType::Backup);

    EXPECT_EQ(Start(L"/run 0002").exitCode, 0) << "numbered as the job file's keys spell them";
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"target1\\one")));
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"target2\\two\\f2.txt")));

    EXPECT_EQ(Start(L"/run").exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"target1\\one\\f1.txt")));
}

// A scheduled run has nobody to click a box: refusals and failed copies go to standard error,
// the run goes on, and the exit status tells.
TEST_F(CommandLineRun, RefusalsAndFailedCopiesGoToStandardErrorAndTheRunGoesOn) {
    const std::wstring source = MakeFolder(L"data", 1);
    AddJob(source, source + L"\\inside", JobType::Sync);
    // A target below a file: its folders cannot be made, which is said once for the job.
    testing_support::WriteBytes(folder.File(L"a file"), "x");
    AddJob(source, folder.File(L"a file"), JobType::Backup);
    // A copy over a file another program holds open fails.
    MakeFolder(L"held\\data", 1);
    const win32::UniqueFile held(::CreateFileW(folder.File(L"held\\data\\f0.txt").c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    AddJob(source, folder.File(L"held"), JobType::Backup);
    AddJob(source, MakeFolder(L"good"), JobType::Backup);
    const Result result = Start(L"/run", NoBoxMayShow);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find("Job not run (Sync"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("lie inside each other"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("a file\\data could not be opened, so nothing was copied into it or out of it. Error No:3"),
              std::string::npos)
        << result.errors;
    EXPECT_NE(result.errors.find("Copy failed: "), std::string::npos) << result.errors;
    EXPECT_EQ(result.errors.find("Copy failed: "), result.errors.rfind("Copy failed: ")) << "only the held file's";
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"good\\data\\f0.txt"))) << "the jobs after them ran";
}

// "...\\sc\\.\\src" against "...\\sc\\src\\inner" once copied a folder into itself until paths ran out;
// two names of one folder (a drive alias here) must not get past the check either.
TEST_F(CommandLineRun, FoldersInsideEachOtherAreRefusedWhateverTheirSpelling) {
    const std::wstring source = MakeFolder(L"sc\\src", 1);
    MakeFolder(L"sc\\src\\inner");
    AddJob(folder.File(L"sc\\.\\src"), source + L"\\inner", JobType::Backup);
    AddJob(source + L". ", source + L"\\inner", JobType::Sync);
    const std::wstring alias = testing_support::WineDriveZAlias(source + L"\\inner");
    if (!alias.empty()) AddJob(source, alias, JobType::Sync);
    const Result result = Start(L"/run", NoBoxMayShow);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), alias.empty() ? 2 : 3) << result.errors;
    EXPECT_EQ(CountFiles(folder.File(L"sc")), 1u) << "nothing copied";
}

// An empty folder used to read as the current drive's root: a Sync without a target copied the
// whole drive into its source.
TEST_F(CommandLineRun, JobsWithAnEmptyOrRelativeFolderAreRefusedAndTouchNothing) {
    const std::wstring source = MakeFolder(L"data", 1);
    AddJob(source, L"", JobType::Sync);
    AddJob(L"", MakeFolder(L"target"), JobType::Backup);
    AddJob(L"data", MakeFolder(L"target2"), JobType::Restore);
    const Result result = Start(L"/run", NoBoxMayShow);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 3) << result.errors;
    EXPECT_NE(result.errors.find("not a full path"), std::string::npos) << result.errors;
    EXPECT_EQ(CountFiles(source), 1u);
    EXPECT_EQ(CountFiles(folder.File(L"target")), 0u);
    EXPECT_EQ(CountFiles(folder.File(L"target2")), 0u);
}

// "TASK=0xFFFFFFFF" reads as 255 jobs without folders: once 254 boxes nobody could click.
TEST_F(CommandLineRun, AJobFileFullOfEmptyJobsEndsWithoutWaiting) {
    AddJob(MakeFolder(L"src", 1), MakeFolder(L"dst"), JobType::Backup);
    CIniFile(folder.File(L"Copperfold.ini"))
        .WriteString(MakeJobSection(win32::ComputerName(), win32::UserName()), L"TASK", L"0xFFFFFFFF");
    const Result result = Start(L"/run", NoBoxMayShow);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 254) << "one line per refused job";
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"dst\\src\\f0.txt")));
}

// With the job file locked by another program, a run used to run nothing and exit 0.
TEST_F(CommandLineRun, AnUnreadableJobFileIsAnErrorWithItsOwnExitStatus) {
    AddJob(MakeFolder(L"src", 1), MakeFolder(L"dst"), JobType::Backup);
    const win32::UniqueFile lock(::CreateFileW(folder.File(L"Copperfold.ini").c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    const Result result = Start(L"/run", NoBoxMayShow);
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.errors.find("could not be read"), std::string::npos) << result.errors;
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"dst\\src")));
}

// /preview lists what /run would do, writing nothing; the run then does just that. A later job
// sees what the earlier ones will have written: the Restore, the Backup's copies.
TEST_F(CommandLineRun, APreviewListsWhatTheRunWillDoAndWritesNothing) {
    AddJob(MakeFolder(L"src", 2), MakeFolder(L"dst"), JobType::Backup);
    AddJob(MakeFolder(L"two", 1), MakeFolder(L"other"), JobType::Sync);
    AddJob(MakeFolder(L"back"), folder.File(L"dst\\src"), JobType::Restore);
    const Result preview = Start(L"/preview", NoBoxMayShow);
    EXPECT_EQ(preview.exitCode, 0) << preview.errors;
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"dst\\src"))) << "the preview wrote";
    EXPECT_EQ(CountFiles(folder.File(L"other")), 0u);
    const std::string dst = common::WideToUtf8(folder.File(L"dst")).value();
    const std::string back = common::WideToUtf8(folder.File(L"back")).value();
    EXPECT_NE(preview.output.find("Job 1: Backup "), std::string::npos) << preview.output;
    EXPECT_NE(preview.output.find("  folder " + dst + "\\src\r\n"), std::string::npos) << preview.output;
    EXPECT_NE(preview.output.find("  \xE2\x86\x92 " + dst + "\\src\\f0.txt (4 bytes)\r\n"), std::string::npos)
        << preview.output;
    EXPECT_NE(preview.output.find("  1 folder, 2 files, 8 bytes\r\n"), std::string::npos) << preview.output;
    EXPECT_NE(preview.output.find("  \xE2\x86\x90 " + back + "\\f1.txt (4 bytes)\r\n  0 folders, 2 files, 8 bytes\r\n"),
              std::string::npos) << preview.output;
    EXPECT_NE(preview.output.find("Total: 1 folder, 5 files, 20 bytes\r\n"), std::string::npos) << preview.output;
    const std::string second = Start(L"/preview 2", NoBoxMayShow).output;
    EXPECT_EQ(second.find("Job 2: Sync "), 0u) << "the named jobs only, by their numbers in the file: " << second;
    EXPECT_EQ(Start(L"/preview 7", NoBoxMayShow).exitCode, 3);

    ASSERT_EQ(Start(L"/run", NoBoxMayShow).exitCode, 0);
    EXPECT_EQ(CountFiles(folder.File(L"dst")), 2u);
    EXPECT_EQ(CountFiles(folder.File(L"other")), 1u);
    EXPECT_EQ(CountFiles(folder.File(L"back")), 2u);
    // After it the Sync has nothing left to do; a Backup or Restore copies every file again.
    const std::string after = Start(L"/preview", NoBoxMayShow).output;
    EXPECT_NE(after.find("\r\n  0 folders, 0 files, 0 bytes\r\nJob 3: "), std::string::npos) << after;
    EXPECT_NE(after.find("\r\nTotal: 0 folders, 4 files, 16 bytes\r\n"), std::string::npos) << after;
}

// A scheduled run with nothing to run used to exit 0 ("done; 0 files copied").
TEST_F(CommandLineRun, NoJobToRunExitsWithFiveAndSaysWhyInTheRunLog) {
    const std::wstring jobFile = folder.File(L"Copperfold.ini");
    ::DeleteFileW(copperfold::RunLogPath().c_str());
    const Result noSection = Start(L"/run", NoBoxMayShow);
    EXPECT_EQ(noSection.exitCode, 5);
    EXPECT_NE(noSection.errors.find("No job to run: the job file "), std::string::npos) << noSection.errors;
    EXPECT_NE(noSection.errors.find("has no section ["), std::string::npos) << noSection.errors;
    const std::string log = testing_support::ReadBytes(copperfold::RunLogPath());
    EXPECT_NE(log.find("started by the command line\r\n  Result: failed;"), std::string::npos) << log;
    EXPECT_NE(log.find("  Error: No job to run"), std::string::npos) << log;

    AddJob(MakeFolder(L"src", 1), MakeFolder(L"dst"), JobType::Backup);
    CIniFile(jobFile).WriteString(MakeJobSection(win32::ComputerName(), win32::UserName()), L"TASK", L"0x0000");
    const Result none = Start(L"/run 1", NoBoxMayShow);
    EXPECT_EQ(none.exitCode, 5);
    EXPECT_NE(none.errors.find("holds no jobs (TASK=0)"), std::string::npos) << none.errors;

    testing_support::WriteBytes(jobFile, "");
    EXPECT_EQ(Start(L"/run", NoBoxMayShow).exitCode, 5) << "an empty file";
    ::DeleteFileW(jobFile.c_str());
    const Result missing = Start(L"/run", NoBoxMayShow);
    EXPECT_EQ(missing.exitCode, 5);
    EXPECT_NE(missing.errors.find("does not exist"), std::string::npos) << missing.errors;
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"dst\\src")));
}

// Another program rewrites the job file in place (cut to nothing, then written again) over and
// over while the run starts: the run never takes the moment the file is empty for "no jobs".
TEST_F(CommandLineRun, AJobFileRewrittenInPlaceIsNeverTakenForEmpty) {
    AddJob(MakeFolder(L"src", 3), MakeFolder(L"dst"), JobType::Backup);
    const std::wstring jobFile = folder.File(L"Copperfold.ini");
    const std::string whole = testing_support::ReadBytes(jobFile);
    std::atomic<bool> stop{false};
    std::thread rewriter([&] {
        while (!stop) {
            win32::UniqueFile file(::CreateFileW(jobFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, TRUNCATE_EXISTING, 0, nullptr));
            std::this_thread::sleep_for(40ms);
            DWORD written = 0;
            if (file) ::WriteFile(file.get(), whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
            file.reset();
            std::this_thread::sleep_for(60ms);
        }
    });
    const Result result = Start(L"/run", NoBoxMayShow);
    stop = true;
    rewriter.join();
    if (result.exitCode == 0) {
        EXPECT_EQ(CountFiles(folder.File(L"dst\\src")), 3u) << "exit 0 after copying nothing";
    } else {
        EXPECT_EQ(result.exitCode, 4) << "a file that never settles is an unreadable one: " << result.errors;
    }
}

// The dialog shows the finished run for half a second; a cancel then comes too late to stop
// anything, and the run counts as done.
TEST_F(CommandLineRun, ACancelDuringTheFinishingPauseExitsWithZero) {
    AddJob(MakeFolder(L"one", 1), MakeFolder(L"target"), JobType::Backup);
    bool posted = false;
    const Result result = Start(L"/run", [&posted](HANDLE process) {
        for (int i = 0; i < 3000 && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT; ++i) {
            const HWND dialog = ::FindWindowW(L"#32770", L"Backup");
            if (dialog && ::SendDlgItemMessageW(dialog, 1013, PBM_GETPOS, 0, 0) == 200) {
                ::PostMessageW(dialog, WM_USER + 6, 0, 0);
                posted = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
                return;
            }
            std::this_thread::sleep_for(2ms);
        }
    });
    ASSERT_TRUE(posted) << "the run ended before the cancel could be sent";
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"target\\one\\f0.txt")));
}

TEST_F(CommandLineRun, CancelledRunExitsWithTwo) {
    AddJob(MakeFolder(L"many", 1500), MakeFolder(L"target"), JobType::Backup);
    const Result cancelled = Start(L"/run", [](HANDLE process) {
        // The dialog's caption is the job type once copying starts; cancel then, without asking.
        for (int i = 0; i < 1500 && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT; ++i) {
            if (const HWND dialog = ::FindWindowW(L"#32770", L"Backup")) {
                ::PostMessageW(dialog, WM_USER + 6, 0, 0);
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
        ADD_FAILURE() << "the run's dialog never showed";
    });
    EXPECT_EQ(cancelled.exitCode, 2) << cancelled.errors;
    size_t copied = 0;  // the cancel may even come before the target's folder is made
    std::error_code missing;
    for (std::filesystem::directory_iterator it(folder.File(L"target\\many"), missing), end; it != end; ++it) ++copied;
    EXPECT_LT(copied, 1500u);
}

TEST_F(CommandLineRun, LeavesAnOpenWindowOfTheProgramAlone) {
    AddJob(MakeFolder(L"src", 1), MakeFolder(L"dst"), JobType::Backup);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + Program() + L"\"";
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(Program().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &info));
    win32::UniqueHandle interactive(info.hProcess);
    win32::UniqueHandle thread(info.hThread);
    HWND window = nullptr;
    for (int i = 0; i < 500 && !(window = ::FindWindowW(nullptr, L"Copperfold")); ++i) std::this_thread::sleep_for(20ms);
    ASSERT_NE(window, nullptr);
    ::ShowWindow(window, SW_MINIMIZE);

    EXPECT_EQ(Start(L"/run").exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"dst\\src\\f0.txt")));
    EXPECT_TRUE(::IsIconic(window)) << "a run from the command line does not bring the window back";
    EXPECT_EQ(::WaitForSingleObject(interactive.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(interactive.get(), 15000), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace

namespace {

// A Backup that copies only new and changed files and keeps what it replaces, from the command
// line: a repeat copies nothing; after the source was damaged the next run keeps every earlier
// file; /versions lists the version; its restore is previewed (writing nothing), then run, and
// brings every file back byte for byte, keeping the damaged ones in turn.
TEST_F(CommandLineRun, VersionsAreListedAndOneIsRestoredFromTheCommandLine) {
    const std::wstring source = MakeFolder(L"photos");
    std::filesystem::create_directories(source + L"\\trip");
    const std::vector<std::pair<std::wstring, std::string>> files = {{L"a.jpg", "first"}, {L"trip\\b.jpg", "second"}};
    for (const auto& [name, content] : files) testing_support::WriteBytes(source + L"\\" + name, content);
    const std::wstring target = MakeFolder(L"drive");
    {
        CIniFile ini(folder.File(L"Copperfold.ini"));
        CCopperfoldDoc doc(&ini, MakeJobSection(win32::ComputerName(), win32::UserName()));
        JobRecord job(source, target, JobType::Backup);
        job.options = {1, 30};
        ASSERT_EQ(doc.AddJob(job), CCopperfoldDoc::AddResult::Added);
    }
    const std::wstring copies = target + L"\\photos";
    const std::string store = common::WideToUtf8(copies + L"\\.copperfold-versions").value();
    ASSERT_EQ(Start(L"/run", NoBoxMayShow).exitCode, 0);
    const Result none = Start(L"/versions 1", NoBoxMayShow);
    EXPECT_EQ(none.exitCode, 0) << none.errors;
    EXPECT_NE(none.output.find(" (replaced files kept for 30 days)\r\n  target side: " + store + "\r\n    no versions\r\n"),
              std::string::npos)
        << none.output;
    const std::string unchanged = Start(L"/preview", NoBoxMayShow).output;
    EXPECT_NE(unchanged.find("\r\n  0 folders, 0 files, 0 bytes, 2 unchanged\r\n"), std::string::npos) << unchanged;

    ::Sleep(2100);  // later times than the copies', beyond the tolerance
    for (const auto& [name, content] : files) testing_support::WriteBytes(source + L"\\" + name, "damaged " + content);
    ASSERT_EQ(Start(L"/run", NoBoxMayShow).exitCode, 0);
    const Result once = Start(L"/versions 1", NoBoxMayShow);
    const std::size_t line = once.output.find("\r\n    ");
    ASSERT_NE(line, std::string::npos) << once.output;
    const std::size_t colon = once.output.find(": 2 files, 11 bytes\r\n", line);
    ASSERT_NE(colon, std::string::npos) << once.output;
    const std::wstring version = common::Utf8ToWide(once.output.substr(line + 6, colon - line - 6));

    const Result preview = Start(L"/restore-version 1 target \"" + version + L"\" /preview", NoBoxMayShow);
    EXPECT_EQ(preview.exitCode, 0) << preview.errors;
    EXPECT_NE(preview.output.find(common::WideToUtf8(copies).value() +
                                  "\\trip\\b.jpg (6 bytes; the file it replaces is kept as a version)\r\n"),
              std::string::npos)
        << preview.output;
    EXPECT_NE(preview.output.find("  0 folders, 2 files, 11 bytes, 2 kept as versions\r\n"), std::string::npos)
        << preview.output;
    EXPECT_EQ(testing_support::ReadBytes(copies + L"\\a.jpg"), "damaged first") << "the preview wrote nothing";

    const Result restored = Start(L"/restore-version 1 target \"" + version + L"\"", NoBoxMayShow);
    EXPECT_EQ(restored.exitCode, 0) << restored.errors;
    for (const auto& [name, content] : files) EXPECT_EQ(testing_support::ReadBytes(copies + L"\\" + name), content);
    const std::string twice = Start(L"/versions 1", NoBoxMayShow).output;
    EXPECT_NE(twice.find(": 2 files, 11 bytes\r\n"), std::string::npos) << twice;
    EXPECT_NE(twice.find(": 2 files, 27 bytes\r\n"), std::string::npos) << "the damaged ones, kept in turn: " << twice;

    // What names no version is refused and writes nothing.
    EXPECT_EQ(Start(L"/restore-version 1 source \"" + version + L"\"", NoBoxMayShow).exitCode, 3);
    EXPECT_EQ(Start(L"/restore-version 1 target \"trip\"", NoBoxMayShow).exitCode, 3);
    EXPECT_EQ(Start(L"/restore-version 1 target \"" + version + L"\" \"..\\a.jpg\"", NoBoxMayShow).exitCode, 3);
    EXPECT_EQ(Start(L"/versions 2", NoBoxMayShow).exitCode, 3);
    const Result gone = Start(L"/restore-version 1 target \"2020-01-01 00.00.00 +0000\"", NoBoxMayShow);
    EXPECT_EQ(gone.exitCode, 1) << "a version that is not there refuses the restore";
    EXPECT_NE(gone.errors.find("is not there. Nothing was restored."), std::string::npos) << gone.errors;
    for (const auto& [name, content] : files) EXPECT_EQ(testing_support::ReadBytes(copies + L"\\" + name), content);
}

}  // namespace
