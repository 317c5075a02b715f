// Copperfold.exe /run: jobs from the command line in the progress dialog, and the exit status.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/core/ini_file.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"
#include "copperfold/core/copperfold_doc.h"

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

    // Runs the program with these arguments; its standard error goes to `errors`.
    struct Result {
        long exitCode = -1;
        std::string errors;
    };
    Result Start(const std::wstring& arguments, const std::function<void(HANDLE process)>& whileRunning = {}) {
        const std::wstring errorFile = folder.File(L"stderr.txt");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        win32::UniqueFile errors(::CreateFileW(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                               CREATE_ALWAYS, 0, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = errors.get();
        std::wstring commandLine = L"\"" + Program() + L"\" " + arguments;
        PROCESS_INFORMATION info{};
        Result result;
        if (!::CreateProcessW(Program().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &info)) {
            return result;
        }
        win32::UniqueHandle process(info.hProcess);
        win32::UniqueHandle thread(info.hThread);
        if (whileRunning) whileRunning(process.get());
        if (::WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(process.get(), &code);
            result.exitCode = static_cast<long>(code);
        } else {
            ::TerminateProcess(process.get(), 99);
        }
        errors.reset();
        result.errors = testing_support::ReadBytes(errorFile);
        return result;
    }

    // Answers the first message box with this caption that another program shows.
    static bool CloseMessageBox(HANDLE process, const wchar_t* caption) {
        for (int i = 0; i < 1500 && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT; ++i) {
            if (const HWND box = ::FindWindowW(L"#32770", caption)) {
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
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

    EXPECT_EQ(Start(L"/run 2").exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"target1\\one")));
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"target2\\two\\f2.txt")));

    EXPECT_EQ(Start(L"/run").exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(folder.File(L"target1\\one\\f1.txt")));
}

TEST_F(CommandLineRun, ARefusedJobOrAFailedCopyExitsWithOne) {
    const std::wstring source = MakeFolder(L"data", 1);
    AddJob(source, source + L"\\inside", JobType::Sync);
    const Result refused = Start(L"/run", [](HANDLE process) {
        EXPECT_TRUE(CloseMessageBox(process, L"Prompt Message")) << "the refusal is shown";
    });
    EXPECT_EQ(refused.exitCode, 1);

    // A target below a file: its folders cannot be made, so the copy fails.
    testing_support::WriteBytes(folder.File(L"a file"), "x");
    AddJob(source, folder.File(L"a file"), JobType::Backup);
    const Result failed = Start(L"/run 2", [](HANDLE process) {
        EXPECT_TRUE(CloseMessageBox(process, L"Error")) << "the system error is shown";
    });
    EXPECT_EQ(failed.exitCode, 1);
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
    EXPECT_EQ(cancelled.exitCode, 2);
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
