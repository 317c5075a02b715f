// Copperfold's main window from the keyboard alone, with keys typed through the system's input
// queue (SendInput) as a user types them, and the program's own message loop routing them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cwctype>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/core/ini_file.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/system_info.h"
#include "copperfold/win32/copperfold_app.h"
#include "copperfold/win32/copperfold_view.h"
#include "copperfold/win32/copperfold_view_resource.h"
#include "copperfold/win32/main_frame.h"
#include "app_message_loop.h"
#include "key_input.h"

namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

void Press(WORD key, std::initializer_list<WORD> modifiers = {}) { testing_support::PressKey(key, modifiers); }

std::wstring Text(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

// The message text of a message box: its static control that is not the icon.
std::wstring BoxText(HWND box) {
    std::wstring found;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::GetDlgCtrlID(child) == 0xFFFF) found = Text(child);
    }
    return found;
}

// Waits on another thread for a box of this process with `caption`, then answers it with a key.
class KeyAnswer {
public:
    KeyAnswer(std::wstring caption, WORD key)
        : thread([this, c = std::move(caption), key] {
              const auto end = std::chrono::steady_clock::now() + 10s;
              while (std::chrono::steady_clock::now() < end) {
                  if (const HWND box = ::FindWindowW(L"#32770", c.c_str());
                      box && ::IsWindowVisible(box) && ::GetForegroundWindow() == box) {
                      text = BoxText(box);
                      std::this_thread::sleep_for(50ms);  // the box's own loop is waiting for keys
                      Press(key);
                      seen = true;
                      return;
                  }
                  std::this_thread::sleep_for(10ms);
              }
          }) {}
    ~KeyAnswer() {
        if (thread.joinable()) thread.join();
    }
    void Join() { thread.join(); }
    std::atomic<bool> seen{false};
    std::wstring text;

private:
    std::thread thread;
};

class MainWindowKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override { Start(L""); }

    // Starts the window on two jobs; with a language, in that section of the shipped texts.
    void Start(const std::wstring& language) {
        if (!language.empty()) {
            std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"),
                                       folder.File(L"Copperfold.ini"));
            CIniFile(folder.File(L"Copperfold.ini")).WriteString(L"Setting", L"LANG", language);
        }
        source = folder.File(L"src");
        std::filesystem::create_directories(source);
        testing_support::WriteBytes(source + L"\\letter.txt", "dear reader");
        for (const wchar_t* name : {L"dst0", L"dst1"}) std::filesystem::create_directories(folder.File(name));
        const std::wstring section = win32::ComputerName() + L"-" + win32::UserName();
        CIniFile ini(folder.File(L"Copperfold.ini"));
        ini.WriteInt(section, L"TASK", 2);
        ini.WriteString(section, L"SRC0001", source);
        ini.WriteString(section, L"DST0001", folder.File(L"dst0"));
        ini.WriteString(section, L"Type0001", L"Backup");
        ini.WriteString(section, L"SRC0002", source);
        ini.WriteString(section, L"DST0002", folder.File(L"dst1"));
        ini.WriteString(section, L"Type0002", L"Backup");

        app = std::make_unique<CCopperfoldApp>(folder.File(L"Copperfold.exe"));
        ASSERT_TRUE(app->InitInstance());
        frame = app->MainFrame()->Handle();
        view = app->MainFrame()->View();
        ::SetForegroundWindow(frame);
        ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == view->LocalTree().Tree(); }))
            << "the keyboard starts in the local tree";
    }
    void TearDown() override {
        if (::IsWindow(frame)) ::DestroyWindow(frame);
        Pump(20ms);
        app.reset();
    }

    // The program's message loop, for a while: keys go through its dialog routing.
    void Pump(std::chrono::milliseconds span = 30ms) { testing_support::PumpApp(app.get(), span); }
    template <typename Condition>
    bool PumpUntil(Condition condition, std::chrono::milliseconds limit = 5s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Pump(10ms);
        }
        return true;
    }
    HTREEITEM Row(int index) const {
        HTREEITEM row = TreeView_GetRoot(view->JobList().Tree());
        for (int i = 0; i < index && row; ++i) row = TreeView_GetNextSibling(view->JobList().Tree(), row);
        return row;
    }
    bool Ticked(int index) const { return TreeView_GetCheckState(view->JobList().Tree(), Row(index)) == 1; }
    void FocusJobList() {
        Press(VK_TAB);
        Press(VK_TAB);
        ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == view->JobList().Tree(); }));
    }

    TempFolder folder;
    std::wstring source;
    std::unique_ptr<CCopperfoldApp> app;
    HWND frame = nullptr;
    CCopperfoldView* view = nullptr;
};

TEST_F(MainWindowKeyboardTest, TabAndShiftTabGoThroughTheTreesTheJobListAndTheButtons) {
    const std::vector<HWND> order = {view->DeviceTree().Tree(),        view->JobList().Tree(),
                                     view->Button(IDC_ADD_BUTTON),     view->Button(IDC_REMOVE_BUTTON),
                                     view->Button(IDC_EXECUTE_BUTTON), view->Button(IDC_EXIT_BUTTON),
                                     view->LocalTree().Tree()};
    for (const HWND next : order) {
        Press(VK_TAB);
        EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == next; })) << "Tab to control " << ::GetDlgCtrlID(next);
    }
    Press(VK_TAB, {VK_SHIFT});
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == view->Button(IDC_EXIT_BUTTON); })) << "Shift+Tab wraps back";
    Press(VK_TAB, {VK_SHIFT});
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == view->Button(IDC_EXECUTE_BUTTON); }));

    // The focus comes back where it was when the window is activated again.
    ::SendMessageW(frame, WM_ACTIVATE, WA_INACTIVE, 0);
    ::SetFocus(nullptr);
    ::SetFocus(frame);
    EXPECT_EQ(::GetFocus(), view->Button(IDC_EXECUTE_BUTTON));
}

TEST_F(MainWindowKeyboardTest, SpaceTicksAJobAndEnterExecutesTheTickedJobs) {
    FocusJobList();
    Press(VK_HOME);
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetSelection(view->JobList().Tree()) == Row(0); }));
    Press(VK_SPACE);
    EXPECT_TRUE(PumpUntil([&] { return Ticked(0); }));
    Press(VK_SPACE);
    EXPECT_TRUE(PumpUntil([&] { return !Ticked(0); })) << "Space clears the box again";
    Press(VK_DOWN);
    Press(VK_SPACE);
    EXPECT_TRUE(PumpUntil([&] { return Ticked(1); }));
    EXPECT_FALSE(Ticked(0));

    // Enter runs the ticked job in the progress dialog, which closes itself when done.
    Press(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return std::filesystem::exists(folder.File(L"dst1\\src\\letter.txt")); }, 15s));
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"dst0\\src\\letter.txt"))) << "only the ticked job ran";
    EXPECT_TRUE(PumpUntil([&] { return !view->RunInProgress(); }));
}

TEST_F(MainWindowKeyboardTest, DeleteOnATickedJobAsksAndThenRemovesIt) {
    FocusJobList();
    Press(VK_HOME);
    Press(VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return Ticked(0); }));
    {
        KeyAnswer no(L"Prompt Message", VK_RETURN);  // No is the default answer
        Press(VK_DELETE);
        EXPECT_TRUE(PumpUntil([&] { return no.seen.load(); }));
        Pump(200ms);
        no.Join();
        EXPECT_EQ(no.text, L"Remove the ticked jobs?");
    }
    EXPECT_EQ(app->MainFrame()->Document().jobCount, 2);
    EXPECT_EQ(TreeView_GetCount(view->JobList().Tree()), 2u);
    {
        KeyAnswer yes(L"Prompt Message", 'Y');
        Press(VK_DELETE);
        EXPECT_TRUE(PumpUntil([&] { return yes.seen.load(); }));
        Pump(200ms);
    }
    ASSERT_EQ(app->MainFrame()->Document().jobCount, 1);
    EXPECT_EQ(app->MainFrame()->Document().jobs[0].target, folder.File(L"dst1"));
    EXPECT_EQ(TreeView_GetCount(view->JobList().Tree()), 1u);

    // Delete on a job that is not ticked does nothing.
    Press(VK_HOME);
    Press(VK_DELETE);
    Pump(300ms);
    EXPECT_FALSE(::FindWindowW(L"#32770", L"Prompt Message"));
    EXPECT_EQ(app->MainFrame()->Document().jobCount, 1);
}

TEST_F(MainWindowKeyboardTest, MnemonicsPressTheButtons) {
    {
        // Add says what is missing: the device tree has no enclosure's drive here.
        KeyAnswer refused(L"Error Message", VK_RETURN);
        Press('A', {VK_MENU});
        EXPECT_TRUE(PumpUntil([&] { return refused.seen.load(); }));
        Pump(200ms);
        refused.Join();
        EXPECT_EQ(refused.text, L"Please Select Destination Directory!");
    }
    {
        KeyAnswer nothingTicked(L"Error Message", VK_RETURN);
        Press('E', {VK_MENU});
        EXPECT_TRUE(PumpUntil([&] { return nothingTicked.seen.load(); }));
        Pump(200ms);
        nothingTicked.Join();
        EXPECT_EQ(nothingTicked.text, L"Please Select Job(s)!");
    }
    Press('X', {VK_MENU});
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(frame); })) << "Alt+X is Exit";
}

// The letter a text marks with "&" ("&&" is a plain "&"), upper case; 0 without one.
wchar_t MnemonicOf(const std::wstring& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] != L'&') return static_cast<wchar_t>(::towupper(text[i + 1]));
        ++i;
    }
    return 0;
}

class MainWindowInEveryLanguage : public MainWindowKeyboardTest, public ::testing::WithParamInterface<const wchar_t*> {
protected:
    void SetUp() override { Start(GetParam()); }
};

// The form's buttons take Alt and their letter before the menu bar sees it: a letter both use
// would press the button (in German Alt+A, the View menu's letter, used to execute the ticked
// jobs). Every letter is different, the menu bar's letters open their menus and the buttons'
// letters still press them.
TEST_P(MainWindowInEveryLanguage, AltLettersAreAllDifferentAndJobTypesShowWhole) {
    std::vector<std::pair<wchar_t, std::wstring>> marked;
    const HMENU bar = ::GetMenu(frame);
    const int menus = ::GetMenuItemCount(bar);
    ASSERT_EQ(menus, 2);
    for (int i = 0; i < menus; ++i) {
        wchar_t text[256] = {};
        ::GetMenuStringW(bar, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        marked.emplace_back(MnemonicOf(text), text);
    }
    for (const int id : {IDC_ADD_BUTTON, IDC_REMOVE_BUTTON, IDC_EXECUTE_BUTTON, IDC_EXIT_BUTTON}) {
        marked.emplace_back(MnemonicOf(Text(view->Button(id))), Text(view->Button(id)));
    }
    // The job list's type column holds every type's name whole ("Wiederherstellung" was cut).
    for (const wchar_t* type : {L"Backup", L"Sync", L"Restore"}) {
        const std::wstring shown = app->Translate(type, type);
        EXPECT_LT(view->JobList().TextWidth(shown), view->JobList().ColumnWidth(2)) << testing::PrintToString(shown);
    }
    for (std::size_t i = 0; i < marked.size(); ++i) {
        EXPECT_NE(marked[i].first, 0) << "no letter in \"" << testing::PrintToString(marked[i].second) << "\"";
        for (std::size_t j = i + 1; j < marked.size(); ++j) {
            EXPECT_NE(marked[i].first, marked[j].first)
                << testing::PrintToString(marked[i].second) << " and " << testing::PrintToString(marked[j].second);
        }
    }

    for (int i = 0; i < menus; ++i) {
        // The menu's loop runs inside the window's own handling of the key: a watcher closes it.
        // Its loop (or a button's message box) runs inside the window's handling of the key: a
        // watcher closes it.
        std::atomic<bool> opened{false}, boxShown{false};
        std::thread watcher([&] {
            const auto end = std::chrono::steady_clock::now() + 5s;
            while (std::chrono::steady_clock::now() < end) {
                if (const HWND popup = ::FindWindowW(L"#32768", nullptr); popup && ::IsWindowVisible(popup)) {
                    opened = true;
                    std::this_thread::sleep_for(100ms);
                    Press(VK_ESCAPE);
                    Press(VK_ESCAPE);
                    return;
                }
                if (const HWND box = ::FindWindowW(L"#32770", nullptr);
                    box && ::IsWindowVisible(box) && ::GetForegroundWindow() == box) {
                    boxShown = true;
                    std::this_thread::sleep_for(50ms);
                    Press(VK_RETURN);
                    return;
                }
                std::this_thread::sleep_for(10ms);
            }
        });
        const auto& [letter, title] = marked[static_cast<std::size_t>(i)];
        Press(LOBYTE(::VkKeyScanW(static_cast<wchar_t>(::towlower(letter)))), {VK_MENU});
        PumpUntil([&] { return opened.load() || boxShown.load(); });
        Pump(300ms);
        watcher.join();
        EXPECT_TRUE(opened) << "Alt+" << static_cast<char>(letter) << " opens " << testing::PrintToString(title);
        EXPECT_FALSE(boxShown) << "Alt+" << static_cast<char>(letter) << " pressed a button";
        Pump(100ms);
    }
    Press(LOBYTE(::VkKeyScanW(static_cast<wchar_t>(::towlower(marked.back().first)))), {VK_MENU});
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(frame); })) << "the Exit button's letter ends the program";
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguages, MainWindowInEveryLanguage, ::testing::Values(L"ENG", L"DEU", L"FRA"),
                         [](const testing::TestParamInfo<const wchar_t*>& language) {
                             return std::string(language.param, language.param + 3);
                         });

}  // namespace
