// Closing the suite's programs before setup replaces them: a program of the folder that runs in
// another session is named with its user and session at once, and nothing is closed or waited
// for; in setup's own session the same windowless Copperfold is a run from the command line,
// which is waited for.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/tests/win32/child_process.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "installer/win32/program_closer.h"

namespace {

using namespace std::chrono_literals;

TEST(ProgramCloser, AProgramOfAnotherSessionIsNamedAndNotWaitedFor) {
    testing_support::TempFolder folder;
    // A Copperfold.exe without a window that runs for a minute: the test tool waiting for a
    // window that never comes.
    std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"install_check.exe"),
                               folder.File(L"Copperfold.exe"));
    win32_test::ChildProcess windowless(folder.File(L"Copperfold.exe"), L"window NoSuchWindow 60", folder.Path());
    ASSERT_TRUE(windowless.Started());
    ::Sleep(500);

    std::vector<std::wstring> said;
    installer::CloseRequest request;
    request.folder = folder.Path();
    request.limit = 600s;
    request.say = [&](const std::wstring& text) { said.push_back(text); };
    request.session = installer::CurrentSession() + 1;  // setup as seen from another session
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(installer::CloseSuitePrograms(request), installer::CloseResult::InAnotherSession);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << "not waited for";
    ASSERT_EQ(said.size(), 1u);
    const std::wstring& named = said[0];
    EXPECT_EQ(named.rfind(L"Copperfold (process " + std::to_wstring(windowless.ProcessId()) + L") runs in the session of user ", 0), 0u)
        << named;
    EXPECT_NE(named.find(win32::UserName()), std::wstring::npos) << named;
    EXPECT_NE(named.find(L"(session " + std::to_wstring(installer::CurrentSession()) + L")"), std::wstring::npos) << named;
    EXPECT_EQ(windowless.WaitForExit(0ms), -1) << "nothing was closed";

    said.clear();
    request.session = installer::CurrentSession();
    request.limit = 1s;
    EXPECT_EQ(installer::CloseSuitePrograms(request), installer::CloseResult::StillBusy);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said[0], L"Copperfold is running jobs from the command line; setup waits until the run ends.");
}

}  // namespace
