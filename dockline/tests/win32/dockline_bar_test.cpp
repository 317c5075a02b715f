// The bar as the program shows it: its place and size from the slot pictures, the buttons'
// places, tooltips, hiding at start with "/a" (and its icon back after the shell restarted), a
// refused second start, and closing; pictures
// too large to show, a command without a window title, and messages other programs make up.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/tests/win32/notify_icon_probe.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/unique_handle.h"
#include "debug_output.h"
#include "dockline_process.h"

namespace {

using dockline_test::DocklineProcess;
using testing_support::TempFolder;

// A grey 24-bit BMP file of the given size.
void WriteBitmapFile(const std::wstring& path, int width, int height) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + rowBytes * static_cast<std::uint32_t>(height);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(rowBytes * static_cast<std::size_t>(height), '\x80');
    testing_support::WriteBytes(path, bytes);
}

// While it lives, a program that crashes ends at once instead of waiting in the system's
// crash dialog.
class NoCrashDialog {
public:
    NoCrashDialog() {
        HKEY key = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          &key, nullptr);
        key_.reset(key);
        DWORD size = sizeof previous_;
        hadValue_ = ::RegQueryValueExW(key, L"ShowCrashDialog", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&previous_), &size) == ERROR_SUCCESS;
        const DWORD off = 0;
        ::RegSetValueExW(key, L"ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
    }
    ~NoCrashDialog() {
        if (hadValue_) {
            ::RegSetValueExW(key_.get(), L"ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_),
                             sizeof previous_);
        } else {
            ::RegDeleteValueW(key_.get(), L"ShowCrashDialog");
        }
    }
    NoCrashDialog(const NoCrashDialog&) = delete;
    NoCrashDialog& operator=(const NoCrashDialog&) = delete;

private:
    win32::UniqueKey key_;
    DWORD previous_ = 0;
    bool hadValue_ = false;
};

bool Answers(HWND window) {
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0;
}

class DocklineBar : public ::testing::Test {
protected:
    void SetUp() override { dockline_test::InstallDockline(folder.Path()); }
    void Settings(const std::wstring& lines) {
        testing_support::WriteBytes(folder.File(L"Dockline.ini"), testing_support::Utf16LeFile(lines));
    }
    static RECT ChildRect(HWND bar, int id) {
        RECT rect{};
        const HWND child = ::GetDlgItem(bar, id);
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    TempFolder folder;
};

TEST_F(DocklineBar, ThreeSlotsOfFortyByFortyEight) {
    Settings(L"[Setting]\r\nBUTTONS=0x03\r\nBUTTON1=bar.png\r\nBUTTON2=copperfold.png\r\nTIP2=Back up\r\n"
             L"BUTTON3=explorer.png\r\nCMD3=DocklineBarTool.exe\r\n");
    dockline_test::ProgramWindow tool(L"DocklineBarTool", 3);
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));

    RECT window{};
    ::GetWindowRect(bar, &window);
    EXPECT_EQ(window.left, 32);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(window.right - window.left, 126);
    EXPECT_EQ(window.bottom - window.top, 48);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(bar, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);

    const RECT second = ChildRect(bar, 1005);
    EXPECT_EQ(second.left, 43);
    EXPECT_EQ(second.top, 0);
    EXPECT_EQ(second.right - second.left, 40) << "fitted to its picture";
    EXPECT_EQ(second.bottom - second.top, 48);
    EXPECT_EQ(ChildRect(bar, 1006).left, 83);
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(bar, 1005)));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(bar, 1006)));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(bar, 1004))) << "slot 1 is the picture";
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(bar, 1007))) << "beyond the slot count";

    // Button 2 has a tooltip, button 3 none: one tooltip window of the bar's process.
    int tooltips = 0;
    for (HWND tip = ::FindWindowW(TOOLTIPS_CLASSW, nullptr); tip; tip = ::FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(tip, &owner);
        if (owner == dockline.ProcessId()) ++tooltips;
    }
    EXPECT_EQ(tooltips, 1);

    // Ending the bar asks the program of CMD3 until it is no longer busy, then closes it.
    ::PostMessageW(bar, WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_EQ(tool.BusyQueries(), 4);
    EXPECT_TRUE(dockline_test::WaitFor([&] { return tool.CloseReceived(); }));
}

TEST_F(DocklineBar, SlotCountFromTheSettings) {
    struct Case {
        const wchar_t* buttons;
        int width;
    } cases[] = {{L"", 6}, {L"BUTTONS=0x07\r\n", 7 * 40 + 6}, {L"BUTTONS=13\r\n", 6}, {L"BUTTONS=0x09\r\n", 7 * 40 + 6}};
    for (const Case& c : cases) {
        std::wstring lines = L"[Setting]\r\n" + std::wstring(c.buttons);
        for (int slot = 1; slot <= 7; ++slot) lines += L"BUTTON" + std::to_wstring(slot) + L"=bar.png\r\n";
        Settings(lines);
        DocklineProcess dockline(folder.Path(), L"");
        const HWND bar = dockline.WaitForWindow();
        ASSERT_NE(bar, nullptr) << c.buttons;
        RECT window{};
        ::GetWindowRect(bar, &window);
        EXPECT_EQ(window.right - window.left, c.width) << c.buttons;
    }
}

TEST_F(DocklineBar, StartsHiddenWithLowerCaseSwitchOnly) {
    Settings(L"[Setting]\r\nBUTTONS=0x02\r\nBUTTON1=bar.png\r\nBUTTON2=copperfold.png\r\n");
    {
        DocklineProcess dockline(folder.Path(), L"/A");
        const HWND bar = dockline.WaitForWindow();
        ASSERT_NE(bar, nullptr);
        EXPECT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));
    }
    DocklineProcess dockline(folder.Path(), L"/a");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    // Hidden into the notification area, and it stays there.
    dockline_test::WaitFor([] { return false; }, std::chrono::milliseconds(1500));
    ASSERT_FALSE(::IsWindowVisible(bar));
    EXPECT_TRUE(win32_test::IconBackAfterShellRestart(bar, 1));
    win32_test::SendTaskbarCreated(bar);  // a shell that kept the icon and only says it is back
    EXPECT_TRUE(win32_test::NotifyIconShown(bar, 1));
    EXPECT_FALSE(::IsWindowVisible(bar));

    // The tray icon: a single left click does nothing, a double click brings the bar back.
    ::PostMessageW(bar, WM_USER + 1, 1, WM_LBUTTONDOWN);
    ::PostMessageW(bar, WM_USER + 1, 2, WM_LBUTTONDBLCLK);  // another icon's
    dockline_test::WaitFor([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(::IsWindowVisible(bar));
    ::PostMessageW(bar, WM_USER + 1, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));

    // Minimising hides it into the notification area instead; the tray menu's "Open" restores.
    ::PostMessageW(bar, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) == FALSE; }));
    EXPECT_FALSE(::IsIconic(bar));
    ::PostMessageW(bar, WM_COMMAND, 32785, 0);
    EXPECT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));
    ::PostMessageW(bar, WM_COMMAND, 32779, 0);  // the bar menu's "Hide to Systray"
    EXPECT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) == FALSE; }));
    ::PostMessageW(bar, WM_COMMAND, 32786, 0);  // the tray menu's "Exit"
    EXPECT_EQ(dockline.WaitForExit(std::chrono::seconds(10)), 0);
}

TEST_F(DocklineBar, PicturesTooLargeToShowAreNamedInTheDebugOutput) {
    WriteBitmapFile(folder.File(L"wide.bmp"), 4097, 2);
    WriteBitmapFile(folder.File(L"tall.bmp"), 2, 4097);
    WriteBitmapFile(folder.File(L"edge.bmp"), 4096, 2);
    Settings(L"[Setting]\r\nBUTTONS=0x04\r\nBUTTON1=bar.png\r\nBUTTON2=wide.bmp\r\nBUTTON3=tall.bmp\r\n"
             L"BUTTON4=edge.bmp\r\n");
    dockline_test::DebugOutputMonitor monitor;
    ASSERT_TRUE(monitor.Listening());
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    const auto said = [&](const std::string& text) { return monitor.TextOf(dockline.ProcessId()).find(text) != std::string::npos; };
    EXPECT_TRUE(dockline_test::WaitFor([&] { return said("wide.bmp"); }, std::chrono::seconds(5)))
        << monitor.TextOf(dockline.ProcessId());
    EXPECT_TRUE(said("4097 x 2 pixels")) << monitor.TextOf(dockline.ProcessId());
    EXPECT_TRUE(said("tall.bmp"));
    EXPECT_FALSE(said("edge.bmp")) << "4096 pixels are shown";
    EXPECT_EQ(ChildRect(bar, 1007).right - ChildRect(bar, 1007).left, 4096);
}

TEST_F(DocklineBar, ACommandWithoutANameLeavesUntitledWindowsAlone) {
    Settings(L"[Setting]\r\nBUTTONS=0x03\r\nBUTTON1=bar.png\r\nBUTTON2=copperfold.png\r\nBUTTON3=explorer.png\r\n"
             L"CMD3=.exe\r\n");
    dockline_test::ProgramWindow untitled(L"");
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));
    // Above every other window without a title, the bar's own included.
    ::SetWindowPos(untitled.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(::FindWindowW(nullptr, L""), untitled.Handle());

    // A volume arrival goes to the commands' programs, and the end asks and closes them.
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('E' - 'A');
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(bar, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG,
                          10000, &answer);
    ::PostMessageW(bar, WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(untitled.Copies().empty());
    EXPECT_TRUE(untitled.Messages().empty());
    EXPECT_EQ(untitled.BusyQueries(), 0);
    EXPECT_FALSE(untitled.CloseReceived());
}

TEST_F(DocklineBar, MadeUpMessagesOfOtherProgramsAreIgnored) {
    Settings(L"[Setting]\r\nBUTTONS=0x03\r\nBUTTON1=bar.png\r\nBUTTON2=copperfold.png\r\nBUTTON3=explorer.png\r\n");
    const NoCrashDialog noCrashDialog;
    DocklineProcess dockline(folder.Path(), L"");
    const HWND bar = dockline.WaitForWindow();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(dockline_test::WaitFor([&] { return ::IsWindowVisible(bar) != FALSE; }));

    // The dialog's set-up message with a pointer of nobody's, a timer whose procedure is no
    // procedure, a timer of nobody's, and a tray message for another icon.
    ::PostMessageW(bar, WM_INITDIALOG, 0, 0x1234);
    ::PostMessageW(bar, WM_TIMER, 1, 0x1234);
    ::PostMessageW(bar, WM_TIMER, 77, 0);
    ::PostMessageW(bar, WM_USER + 1, 0x1234, WM_RBUTTONDOWN);
    // The creation message of the notice's window again, naming as its object an address
    // inside the real one (the system copies the record, pointer value and all).
    HWND notice = nullptr;
    for (HWND window = ::FindWindowW(L"DocklineNotice", nullptr); window;
         window = ::FindWindowExW(nullptr, window, L"DocklineNotice", nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == dockline.ProcessId()) notice = window;
    }
    ASSERT_NE(notice, nullptr);
    const LONG_PTR noticeObject = ::GetWindowLongPtrW(notice, GWLP_USERDATA);
    ASSERT_NE(noticeObject, 0);
    CREATESTRUCTW creation{};
    creation.lpCreateParams = reinterpret_cast<void*>(noticeObject + 8);
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(notice, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&creation), SMTO_ABORTIFHUNG, 5000, &answer);
    EXPECT_EQ(::GetWindowLongPtrW(notice, GWLP_USERDATA), noticeObject) << "the notice's object was replaced";
    ::PostMessageW(notice, WM_TIMER, 77, 0);
    dockline_test::WaitFor([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_TRUE(Answers(bar));
    EXPECT_EQ(dockline.WaitForExit(std::chrono::milliseconds(0)), -1) << "still running";
    RECT window{};
    ::GetWindowRect(bar, &window);
    EXPECT_EQ(window.right - window.left, 126) << "not set up a second time";
    ::PostMessageW(bar, WM_CLOSE, 0, 0);
    EXPECT_EQ(dockline.WaitForExit(std::chrono::seconds(10)), 0);
}

TEST_F(DocklineBar, SecondStartShowsTheMessageAndEnds) {
    Settings(L"[Setting]\r\nBUTTONS=0x02\r\nBUTTON1=bar.png\r\n");
    DocklineProcess first(folder.Path(), L"");
    ASSERT_NE(first.WaitForWindow(), nullptr);
    DocklineProcess second(folder.Path(), L"");
    HWND box = nullptr;
    ASSERT_TRUE(dockline_test::WaitFor([&] { return (box = ::FindWindowW(L"#32770", L"Error Message")) != nullptr; }));
    wchar_t text[128] = {};
    ::EnumChildWindows(box, [](HWND child, LPARAM out) -> BOOL {
        wchar_t found[128] = {};
        ::GetWindowTextW(child, found, 128);
        if (std::wstring(found) == L"The application is already running.") wcscpy_s(reinterpret_cast<wchar_t*>(out), 128, found);
        return TRUE;
    }, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"The application is already running.");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_EQ(second.Window(), nullptr) << "no second bar";
}

}  // namespace
