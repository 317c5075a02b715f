// Copperfold's start-up: the job file beside the program, the language, the translated menus,
// one instance at a time, and the version texts of the About box.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/core/ini_file.h"
#include "common/tests/win32/child_process.h"
#include "common/tests/win32/temp_folder.h"
#include "common/version.h"
#include "common/win32/system_info.h"
#include "common/win32/version_info.h"
#include "copperfold/win32/about_dialog.h"
#include "copperfold/win32/copperfold_app.h"
#include "copperfold/win32/copperfold_view_resource.h"
#include "copperfold/win32/main_frame.h"
#include "copperfold/win32/resource.h"

namespace {

using testing_support::TempFolder;

std::wstring MenuText(HMENU menu, UINT position) {
    wchar_t text[256] = {};
    ::GetMenuStringW(menu, position, text, 256, MF_BYPOSITION);
    return text;
}

// Handles what the window posted, without ending on the quit message it leaves behind.
void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

struct StartedApp {
    explicit StartedApp(const TempFolder& folder) : app(folder.File(L"Copperfold.exe")) {}
    ~StartedApp() { PumpMessages(); }
    CCopperfoldApp app;
};

TEST(CopperfoldStartup, WithoutSettingSectionTheLanguageIsEnglish) {
    TempFolder folder;
    testing_support::WriteBytes(folder.File(L"Copperfold.ini"),
                                "[ENG]\r\n&View=&View (ENG)\r\n[DEU]\r\n&View=&Ansicht\r\n");
    StartedApp started(folder);
    ASSERT_TRUE(started.app.InitInstance());
    EXPECT_EQ(started.app.Language(), L"ENG");
    EXPECT_EQ(started.app.JobFilePath(), folder.File(L"Copperfold.ini"));

    const HWND frame = started.app.MainFrame()->Handle();
    wchar_t title[64] = {};
    ::GetWindowTextW(frame, title, 64);
    EXPECT_STREQ(title, L"Copperfold");
    EXPECT_TRUE(::IsWindowVisible(frame));
    EXPECT_EQ(MenuText(::GetMenu(frame), 0), L"&View (ENG)");
    EXPECT_EQ(MenuText(::GetMenu(frame), 1), L"&Help") << "texts without a translation keep their English";

    // The view, laid out once while the frame was still hidden, ends above the status bar.
    RECT bar{}, exitButton{};
    ASSERT_TRUE(::GetWindowRect(::GetDlgItem(frame, IDW_STATUS_BAR), &bar));
    ASSERT_TRUE(::GetWindowRect(started.app.MainFrame()->View()->Button(IDC_EXIT_BUTTON), &exitButton));
    EXPECT_GT(bar.bottom - bar.top, 0);
    EXPECT_LE(exitButton.bottom, bar.top);
}

TEST(CopperfoldStartup, MenusFollowTheLanguageSectionAndFallBackToEnglish) {
    TempFolder folder;
    // The shipped file, told to use German.
    std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"),
                               folder.File(L"Copperfold.ini"));
    CIniFile(folder.File(L"Copperfold.ini")).WriteString(L"Setting", L"LANG", L"DEU");
    {
        StartedApp started(folder);
        ASSERT_TRUE(started.app.InitInstance());
        const HMENU menu = ::GetMenu(started.app.MainFrame()->Handle());
        const CIniFile shipped(folder.File(L"Copperfold.ini"));
        EXPECT_EQ(MenuText(menu, 0), shipped.GetString(L"DEU", L"&View", L"?"));
        EXPECT_EQ(MenuText(::GetSubMenu(menu, 1), 0), shipped.GetString(L"DEU", L"&About Copperfold...", L"?"));
        EXPECT_NE(MenuText(menu, 0), L"&View");
    }

    // A language the file has no section for: menus stay English, texts without a fallback
    // show as empty.
    CIniFile(folder.File(L"Copperfold.ini")).WriteString(L"Setting", L"LANG", L"ITA");
    StartedApp started(folder);
    ASSERT_TRUE(started.app.InitInstance());
    const HMENU menu = ::GetMenu(started.app.MainFrame()->Handle());
    EXPECT_EQ(MenuText(menu, 0), L"&View");
    EXPECT_EQ(MenuText(::GetSubMenu(menu, 0), 0), L"&Status Bar");
    EXPECT_EQ(started.app.Translate(L"&Cancel", L""), L"");
}

TEST(CopperfoldStartup, LoadsTheCurrentUsersJobsAndNoOtherUsers) {
    TempFolder folder;
    const std::wstring section = win32::ComputerName() + L"-" + win32::UserName();
    {
        CIniFile ini(folder.File(L"Copperfold.ini"));
        ini.WriteInt(section, L"TASK", 1);
        ini.WriteString(section, L"SRC0001", L"C:\\Source");
        ini.WriteString(section, L"DST0001", L"E:\\Target");
        ini.WriteString(section, L"Type0001", L"Sync");
        ini.WriteInt(win32::ComputerName() + L"-someone else", L"TASK", 3);
    }
    StartedApp started(folder);
    ASSERT_TRUE(started.app.InitInstance());
    CCopperfoldDoc& document = started.app.MainFrame()->Document();
    EXPECT_EQ(document.jobSection, section);
    ASSERT_EQ(document.jobCount, 1);
    EXPECT_EQ(document.jobs[0].source, L"C:\\Source");
    EXPECT_EQ(document.jobs[0].target, L"E:\\Target");
    EXPECT_EQ(document.jobs[0].type, JobType::Sync);
}

TEST(CopperfoldStartup, AboutBoxShowsBothVersions) {
    const std::wstring program = win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe");
    EXPECT_EQ(win32::ReadFileVersion(program), L"" SUITE_VERSION_TEXT);
    EXPECT_EQ(win32::ReadFileVersion(program + L".missing"), L"");
    // The test prefix has no component installed in the system folder.
    ASSERT_FALSE(std::filesystem::exists(win32::SystemDirectory() + L"\\Corelink.ax"));
    EXPECT_EQ(CAboutDlg::ComponentVersionText(), L"SDK Ver:");
}

TEST(CopperfoldStartup, SecondStartRestoresTheFirstAndExits) {
    TempFolder folder;
    const std::wstring program = folder.File(L"Copperfold.exe");
    std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), program);

    win32_test::ChildProcess first(program, L"");
    ASSERT_TRUE(first.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = ::FindWindowW(nullptr, L"Copperfold")) && ::IsWindowVisible(window); }));

    // Minimise: into the notification area where there is one, else at least out of sight.
    ::SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (::IsWindowVisible(window)) ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(!::IsWindowVisible(window) || ::IsIconic(window));

    win32_test::ChildProcess second(program, L"");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(std::chrono::seconds(15)), 0);
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(window) && !::IsIconic(window); }));
    EXPECT_EQ(::FindWindowW(nullptr, L"Copperfold"), window) << "the second start must not open a window";

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitForExit(std::chrono::seconds(15)), 0);
}

}  // namespace
