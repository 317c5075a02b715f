// The notice window: its slide out of the task bar's edge, the stay, a second notice while it
// waits or leaves, the click reported to the owner; and the shadow that follows its window.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>

#include "dockline/win32/resource.h"
#include "dockline/win32/taskbar_notifier.h"
#include "dockline/win32/wnd_shadow.h"
#include "test_windows.h"

namespace {

using dockline_test::ProgramWindow;
using dockline_test::WaitFor;

RECT WindowRect(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

RECT WorkArea() {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

class Notice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(notifier.AttachToOwner(owner.Handle()));
        ASSERT_TRUE(notifier.LoadSkin(IDB_NOTIFIER_SKIN));
        notifier.ChooseFonts();
        notifier.SetTextColors(RGB(0, 0, 0), RGB(0, 0, 200));
    }
    ProgramWindow owner{L"DocklineNoticeOwner"};
    CTaskbarNotifier notifier;
};

TEST_F(Notice, SlidesOutOfTheBottomStaysAndSlidesBack) {
    EXPECT_EQ(notifier.SkinSize().cx, 148);
    EXPECT_EQ(notifier.SkinSize().cy, 120);
    const RECT work = WorkArea();  // the session's screen has no task bar: the bottom edge
    notifier.ShowNotice(L"An enclosure was connected.");
    EXPECT_EQ(notifier.CurrentState(), CTaskbarNotifier::State::Idle) << "until the first step";
    EXPECT_EQ(WindowRect(notifier.Handle()).top, work.bottom) << "starts out of sight";
    EXPECT_EQ(notifier.AppearDelay(), 5) << "300 ms over 60 steps";

    ASSERT_TRUE(WaitFor([&] { return notifier.CurrentState() == CTaskbarNotifier::State::Waiting; }));
    const RECT shown = WindowRect(notifier.Handle());
    EXPECT_EQ(shown.left, work.right - 148);
    EXPECT_EQ(shown.top, work.bottom - 120);
    EXPECT_EQ(shown.bottom - shown.top, 120);
    EXPECT_TRUE(::IsWindowVisible(notifier.Handle()));

    // A second notice while it waits: new text, the stay starts again.
    WaitFor([] { return false; }, std::chrono::milliseconds(1500));
    notifier.ShowNotice(L"A second notice");
    WaitFor([] { return false; }, std::chrono::milliseconds(1500));
    EXPECT_EQ(notifier.CurrentState(), CTaskbarNotifier::State::Waiting) << "3 s after the first, 1.5 after the second";
    EXPECT_EQ(notifier.Text(), L"A second notice");

    ASSERT_TRUE(WaitFor([&] { return notifier.CurrentState() == CTaskbarNotifier::State::Disappearing; },
                        std::chrono::seconds(5)));
    // While leaving, a new notice brings it back at once.
    notifier.ShowNotice(L"Back again");
    EXPECT_EQ(WindowRect(notifier.Handle()).top, work.bottom - 120);
    notifier.HideNotice();
    EXPECT_EQ(notifier.CurrentState(), CTaskbarNotifier::State::Idle);
    EXPECT_FALSE(::IsWindowVisible(notifier.Handle()));
}

TEST_F(Notice, ClickIsReportedToTheOwnerAndLeavesTheNotice) {
    notifier.ShowNotice(L"Click me");
    ASSERT_TRUE(WaitFor([&] { return notifier.CurrentState() == CTaskbarNotifier::State::Waiting; }));
    ::SendMessageW(notifier.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(20, 50));
    ASSERT_TRUE(WaitFor([&] { return !owner.Messages().empty(); }));
    EXPECT_EQ(owner.Messages().front().first, 0x047Bu);
    EXPECT_TRUE(::IsWindowVisible(notifier.Handle())) << "the click does not hide it";
    wchar_t title[64] = {};
    ::GetWindowTextW(notifier.Handle(), title, 64);
    EXPECT_STREQ(title, L"Click me");
}

// Every shipped notice, in every language, fits the dialog's text area: a long one takes a smaller
// font (the skin keeps its pixels at any DPI), a short one the full 9 points.
TEST_F(Notice, EveryShippedNoticeFitsItsTextArea) {
    const SIZE skin = notifier.SkinSize();
    const RECT area{10, 40, skin.cx - 10, skin.cy - 25};  // as the bar sets it
    notifier.SetTextRect(area);
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring ini = module;
    ini = ini.substr(0, ini.find_last_of(L'\\') + 1) + L"Dockline.ini";
    const HDC screen = ::GetDC(nullptr);
    const int full = ::MulDiv(90, ::GetDeviceCaps(screen, LOGPIXELSY), 720);
    notifier.ShowNotice(L"Short");
    EXPECT_EQ(notifier.FontHeight(), full);
    int checked = 0;
    for (const wchar_t* language : {L"ENG", L"DEU", L"FRA"}) {
        for (const wchar_t* key : {L"Device Insert1", L"Device Insert2", L"Device Removed2"}) {
            wchar_t text[512] = {};
            if (::GetPrivateProfileStringW(language, key, L"", text, 512, ini.c_str()) == 0) continue;
            notifier.ShowNotice(text);
            LOGFONTW font{};
            font.lfHeight = -notifier.FontHeight();
            wcscpy_s(font.lfFaceName, L"Arial");
            const HFONT measuring = ::CreateFontIndirectW(&font);
            const HGDIOBJ previous = ::SelectObject(screen, measuring);
            RECT measured{0, 0, area.right - area.left, 0};
            ::DrawTextW(screen, text, -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
            ::SelectObject(screen, previous);
            ::DeleteObject(measuring);
            EXPECT_LE(measured.bottom, area.bottom - area.top) << language << L" " << key << L" at " << notifier.FontHeight();
            EXPECT_LE(measured.right, area.right - area.left) << language << L" " << key;
            EXPECT_GE(notifier.FontHeight(), std::min(full * 2 / 3, 8));
            ++checked;
        }
    }
    ::ReleaseDC(nullptr, screen);
    notifier.HideNotice();
    EXPECT_EQ(checked, 9) << "three notices in three languages, beside the test";
}

TEST(Shadow, FollowsItsWindowAndHidesWithIt) {
    CWndShadow::PrepareShadows(::GetModuleHandleW(nullptr));
    const HWND parent = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"shadowed", WS_POPUP, 100, 100, 126, 48,
                                          nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    ::SetWindowRgn(parent, ::CreateRoundRectRgn(0, 0, 127, 49, 10, 10), TRUE);
    CWndShadow shadow;
    shadow.Create(parent);
    ASSERT_NE(shadow.Handle(), nullptr);
    EXPECT_FALSE(::IsWindowVisible(shadow.Handle())) << "the parent is not shown yet";
    EXPECT_TRUE(::GetWindowLongPtrW(shadow.Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT) << "click-through";

    ::ShowWindow(parent, SW_SHOWNOACTIVATE);
    WaitFor([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_TRUE(::IsWindowVisible(shadow.Handle()));
    RECT rect = WindowRect(shadow.Handle());
    EXPECT_EQ(rect.left, 105);
    EXPECT_EQ(rect.top, 105);
    EXPECT_EQ(rect.right - rect.left, 126) << "size 0: the parent's own size";

    ::SetWindowPos(parent, nullptr, 200, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    rect = WindowRect(shadow.Handle());
    EXPECT_EQ(rect.left, 205);
    EXPECT_EQ(rect.top, 55);

    ::ShowWindow(parent, SW_HIDE);
    EXPECT_FALSE(::IsWindowVisible(shadow.Handle()));
    EXPECT_FALSE(shadow.Visible());
    ::ShowWindow(parent, SW_SHOWNOACTIVATE);
    EXPECT_TRUE(::IsWindowVisible(shadow.Handle()));

    const HWND shadowWindow = shadow.Handle();
    ::DestroyWindow(parent);
    EXPECT_FALSE(::IsWindow(shadowWindow)) << "destroyed with its window";
}

}  // namespace
