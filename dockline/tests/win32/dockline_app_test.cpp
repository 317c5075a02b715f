// Dockline's start-up and commands: one instance with a translated message, launches through
// the shell with their error texts under the translated caption, and closing the commands'
// programs at the end, waiting while they are busy but never for one that stopped answering;
// handing a program the device table without waiting on it for long, and never to a window
// found by an empty title.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"
#include "dockline/win32/command_windows.h"
#include "dockline/win32/dockline_app.h"
#include "test_windows.h"

namespace {

using dockline_test::ProgramWindow;
using testing_support::TempFolder;

struct Reported {
    std::wstring text;
    std::wstring caption;
    int count = 0;
};

class DocklineAppTest : public ::testing::Test {
protected:
    void Settings(const std::wstring& lines) {
        testing_support::WriteBytes(folder.File(L"Dockline.ini"), testing_support::Utf16LeFile(lines));
    }
    std::unique_ptr<CDocklineApp> Start(const std::wstring& commandLine = L"") {
        auto app = std::make_unique<CDocklineApp>(folder.File(L"Dockline.exe"), commandLine);
        app->SetErrorReporter([this](HWND, const std::wstring& text, const std::wstring& caption) {
            reported.text = text;
            reported.caption = caption;
            ++reported.count;
        });
        return app;
    }
    TempFolder folder;
    Reported reported;
};

TEST_F(DocklineAppTest, SecondStartIsRefusedInTheLanguageOfTheSettings) {
    Settings(L"[Setting]\r\nLANG=DEU\r\n[DEU]\r\nThe application is already running.=Läuft schon.\r\n"
             L"Error Message=Fehler\r\n");
    auto first = Start();
    ASSERT_TRUE(first->InitInstance());
    EXPECT_EQ(first->Language(), L"DEU");
    EXPECT_EQ(reported.count, 0);

    // A start at logon (hidden) ends as well, but quietly: nobody is there to click.
    auto atLogon = Start(L"/a");
    EXPECT_FALSE(atLogon->InitInstance());
    EXPECT_EQ(reported.count, 0);

    auto second = Start();
    EXPECT_FALSE(second->InitInstance());
    EXPECT_EQ(reported.text, L"Läuft schon.");
    EXPECT_EQ(reported.caption, L"Fehler");

    first.reset();  // the mutex goes with the last handle on it
    second.reset();
    atLogon.reset();
    auto third = Start();
    EXPECT_TRUE(third->InitInstance());
}

TEST_F(DocklineAppTest, StartHiddenOnlyWithLowerCaseSwitch) {
    EXPECT_TRUE(Start(L"/a")->StartHidden());
    EXPECT_TRUE(Start(L"--logon /a")->StartHidden());
    EXPECT_FALSE(Start(L"/A")->StartHidden());
    EXPECT_FALSE(Start(L"")->StartHidden());
}

TEST_F(DocklineAppTest, FailedLaunchesShowTheirTextUnderTheTranslatedCaption) {
    Settings(L"[Setting]\r\nLANG=XYZ\r\nCMD2=Missing.exe\r\nCMD3=" + std::wstring(300, L'x') +
             L".exe\r\n[XYZ]\r\nError Message=Launch problem\r\nThe specified file was not found.=never\r\n");
    auto app = Start();
    ASSERT_TRUE(app->InitInstance());
    app->LaunchCommand(L"CMD2", nullptr);
    EXPECT_EQ(reported.count, 1);
    EXPECT_EQ(reported.text, L"The specified file was not found.") << "launch error texts stay English";
    EXPECT_EQ(reported.caption, L"Launch problem");

    app->LaunchCommand(L"CMD3", nullptr);
    EXPECT_EQ(reported.count, 2);
    EXPECT_NE(reported.text.find(L"longer than 259 characters"), std::wstring::npos) << "never cut silently";
    EXPECT_EQ(reported.caption, L"Launch problem");
}

TEST_F(DocklineAppTest, LaunchRunsTheCommandBesideTheProgram) {
    std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"dockline_test_command.exe"),
                               folder.File(L"Helper.exe"));
    Settings(L"[Setting]\r\nBUTTONS=0x03\r\nCMD3=Helper.exe\r\n");
    auto app = Start();
    ASSERT_TRUE(app->InitInstance());
    app->LaunchCommand(L"CMD3", nullptr);
    EXPECT_TRUE(dockline_test::WaitFor([&] { return std::filesystem::exists(folder.File(L"launches.txt")); }));
    EXPECT_EQ(reported.count, 0);
}

TEST(DocklineShutDown, AsksABusyProgramUntilItIsDoneThenClosesIt) {
    ProgramWindow busy(L"DocklineTestTool", 3);
    const auto start = std::chrono::steady_clock::now();
    dockline::CloseCommandWindows({L"DocklineTestTool", L"No Such Window"});
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(busy.BusyQueries(), 4) << "three busy answers, then done";
    EXPECT_GE(waited, std::chrono::milliseconds(550)) << "200 ms between queries";
    EXPECT_TRUE(dockline_test::WaitFor([&] { return busy.CloseReceived(); }));
}

TEST(DocklineShutDown, AProgramThatStopsAnsweringIsNotWaitedForWithoutEnd) {
    ProgramWindow hung(L"DocklineHungTool", 1, ProgramWindow::Hang::AfterFirstQuery);
    const auto start = std::chrono::steady_clock::now();
    dockline::CloseCommandWindows({L"DocklineHungTool"}, std::chrono::milliseconds(500));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(hung.BusyQueries(), 1);
}

TEST(DocklineCommandWindows, AProgramThatStopsAnsweringTheTableIsSkippedWithinTheLimit) {
    const common::DeviceTable table{};
    std::atomic<int> delivered{-1};
    std::thread sender;
    {
        ProgramWindow hung(L"DocklineCopyHungTool", 0, ProgramWindow::Hang::OnCopyData);
        sender = std::thread([&] {
            delivered = dockline::SendTableToWindow(nullptr, L"DocklineCopyHungTool", 5, table, WM_USER + 7, 5) ? 1 : 0;
        });
        EXPECT_TRUE(dockline_test::WaitFor([&] { return delivered != -1; }, std::chrono::seconds(8)))
            << "still waiting for a program that does not answer";
        EXPECT_EQ(delivered, 0) << "reported as not handed over";
        EXPECT_TRUE(hung.Hung());
    }  // the window answers again, and goes
    sender.join();
}

TEST(DocklineCommandWindows, AnEmptyTitleReachesNoWindow) {
    ProgramWindow untitled(L"");
    ::SetWindowPos(untitled.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(::FindWindowW(nullptr, L""), untitled.Handle()) << "the window an empty title would find";
    const common::DeviceTable table{};
    EXPECT_FALSE(dockline::SendTableToWindow(nullptr, L"", 1, table, WM_USER + 7, 1));
    dockline::CloseCommandWindows({L""});
    dockline_test::WaitFor([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(untitled.Copies().empty());
    EXPECT_TRUE(untitled.Messages().empty());
    EXPECT_EQ(untitled.BusyQueries(), 0);
    EXPECT_FALSE(untitled.CloseReceived());
}

}  // namespace
