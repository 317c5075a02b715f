// Copperfold's start-up: the job file beside the program, the language, the translated menus,
// one instance at a time (and the tray icon back after the shell restarted), and the version
// texts of the About box.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/core/ini_file.h"
#include "common/tests/win32/child_process.h"
#include "common/tests/win32/component_registration.h"
#include "common/tests/win32/notify_icon_probe.h"
#include "common/tests/win32/temp_folder.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/tests/win32/control_text.h"
#include "copperfold/tests/win32/dialog_answer.h"
#include "copperfold/tests/win32/program_run.h"
#include "common/version.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"
#include "common/win32/version_info.h"
#include "copperfold/win32/about_dialog.h"
#include "copperfold/win32/copperfold_app.h"
#include "copperfold/win32/copperfold_view.h"
#include "copperfold/win32/copperfold_view_resource.h"
#include "copperfold/win32/exec_dialog.h"
#include "copperfold/win32/main_frame.h"
#include "copperfold/win32/resource.h"
#include "copperfold/win32/run_gate.h"
#include "copperfold/win32/shared_mutex.h"
#include "copperfold/win32/win32_file_system.h"

#include <sddl.h>

#include <atomic>

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

// "WriteEvent" and "CopyFileEvent" are names any program may hold first, with an object of
// another kind: the program starts all the same, with events of its own, and no error box.
TEST(CopperfoldStartup, EventNamesAnotherProgramHoldsDoNotStopTheStart) {
    TempFolder folder;
    testing_support::WriteBytes(folder.File(L"Copperfold.ini"), "[ENG]\r\n");
    const win32::UniqueHandle writeName(::CreateMutexW(nullptr, FALSE, L"WriteEvent"));
    const win32::UniqueHandle copyName(::CreateMutexW(nullptr, FALSE, L"CopyFileEvent"));
    ASSERT_TRUE(writeName && copyName);
    const testing_support::DialogAnswer errorBox(L"Error Message", testing_support::PressOk);
    StartedApp started(folder);
    ASSERT_TRUE(started.app.InitInstance()) << "the start gave up";
    EXPECT_FALSE(errorBox.seen);
    EXPECT_TRUE(::IsWindowVisible(started.app.MainFrame()->Handle()));
    ASSERT_NE(started.app.WriteEvent(), nullptr);
    EXPECT_EQ(::WaitForSingleObject(started.app.WriteEvent(), 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "made signalled";
    copperfold::Win32FileSystem files;
    CExecDialog dialog([](std::wstring_view english, std::wstring_view) { return std::wstring(english); }, files);
    EXPECT_EQ(::WaitForSingleObject(dialog.CopyFileEvent(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
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

        // Help > About: the box in German too, read on another thread while it is shown.
        std::wstring caption, sdkLine, okText;
        const HWND frame = started.app.MainFrame()->Handle();
        std::thread reader([&] {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (std::chrono::steady_clock::now() < end) {
                // The box the frame owns (earlier tests of this process leave windows of their own).
                HWND box = frame;
                ::EnumThreadWindows(
                    ::GetWindowThreadProcessId(frame, nullptr),
                    [](HWND window, LPARAM found) {
                        wchar_t windowClass[16] = {};
                        ::GetClassNameW(window, windowClass, 16);
                        HWND& owner = *reinterpret_cast<HWND*>(found);
                        if (std::wstring(windowClass) != L"#32770" || !::IsWindowVisible(window) ||
                            ::GetWindow(window, GW_OWNER) != owner) {
                            return TRUE;
                        }
                        owner = window;
                        return FALSE;
                    },
                    reinterpret_cast<LPARAM>(&box));
                if (box == frame) box = nullptr;
                if (box) {
                    wchar_t text[256] = {};
                    ::GetWindowTextW(box, text, 256);
                    caption = text;
                    ::GetDlgItemTextW(box, IDC_SDK_VERSION_TEXT, text, 256);
                    sdkLine = text;
                    ::GetDlgItemTextW(box, IDOK, text, 256);
                    okText = text;
                    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        // A frame of an earlier test that ended left its quit message, which would end the box's
        // loop at once.
        for (MSG quit{}; ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);) {
        }
        ::SendMessageW(frame, WM_COMMAND, ID_APP_ABOUT, 0);
        reader.join();
        EXPECT_EQ(caption, shipped.GetString(L"DEU", L"About Copperfold", L"?"));
        EXPECT_EQ(sdkLine.rfind(L"SDK-Version:", 0), 0u) << testing::PrintToString(sdkLine);
        EXPECT_EQ(okText, shipped.GetString(L"DEU", L"OK", L"?"));
    }

    // A language the file has no section for: menus stay English.
    CIniFile(folder.File(L"Copperfold.ini")).WriteString(L"Setting", L"LANG", L"ITA");
    StartedApp started(folder);
    ASSERT_TRUE(started.app.InitInstance());
    const HMENU menu = ::GetMenu(started.app.MainFrame()->Handle());
    EXPECT_EQ(MenuText(menu, 0), L"&View");
    EXPECT_EQ(MenuText(::GetSubMenu(menu, 0), 0), L"&Status Bar");
    EXPECT_EQ(started.app.Translate(L"&Cancel", L""), L"") << "the lookup itself gives the caller's fallback";
}

using testing_support::HeaderText;

// An upgrade that kept an old job file, or a language that is not shipped: the section lacks
// most keys. Labels then show their English text; a key translated as empty stays empty.
constexpr char kPartlyTranslated[] =
    "[Setting]\r\nLANG=ITA\r\n[ITA]\r\n&Add=&Aggiungi\r\n&Remove=\r\n";

TEST(CopperfoldStartup, LabelsTheLanguageLacksShowTheirEnglishText) {
    TempFolder folder;
    testing_support::WriteBytes(folder.File(L"Copperfold.ini"), kPartlyTranslated);
    {
        const std::wstring section = win32::ComputerName() + L"-" + win32::UserName();
        CIniFile ini(folder.File(L"Copperfold.ini"));
        ini.WriteInt(section, L"TASK", 1);
        ini.WriteString(section, L"SRC0001", L"C:\\Source");
        ini.WriteString(section, L"DST0001", L"E:\\Target");
        ini.WriteString(section, L"Type0001", L"Sync");
    }
    StartedApp started(folder);
    ASSERT_TRUE(started.app.InitInstance());
    CCopperfoldView& view = *started.app.MainFrame()->View();
    const auto text = [](HWND window) {
        wchar_t buffer[128] = {};
        ::GetWindowTextW(window, buffer, 128);
        return std::wstring(buffer);
    };
    EXPECT_EQ(text(view.Button(IDC_ADD_BUTTON)), L"&Aggiungi");
    EXPECT_EQ(text(view.Button(IDC_REMOVE_BUTTON)), L"") << "translated as empty on purpose";
    EXPECT_EQ(text(view.Button(IDC_EXECUTE_BUTTON)), L"&Execute");
    EXPECT_EQ(text(view.Button(IDC_EXIT_BUTTON)), L"E&xit");
    EXPECT_EQ(HeaderText(view.LocalTree().Header(), 0), L"Local Disk");
    EXPECT_EQ(HeaderText(view.DeviceTree().Header(), 0), L"Copperfold Device");
    EXPECT_EQ(HeaderText(view.DeviceTree().Header(), 2), L"Modify Date");
    EXPECT_EQ(HeaderText(view.JobList().Header(), 1), L"Destination Folder");
    const HTREEITEM row = TreeView_GetRoot(view.JobList().Tree());
    ASSERT_TRUE(row);
    EXPECT_EQ(view.JobList().GetItemText(row, 2), L"Sync");
}

// The same, as another program sees the running window (the texts read through WM_GETTEXT).
TEST(CopperfoldStartup, AnotherProcessReadsTheEnglishButtonTexts) {
    TempFolder folder;
    testing_support::WriteBytes(folder.File(L"Copperfold.ini"), kPartlyTranslated);
    const std::wstring program = folder.File(L"Copperfold.exe");
    std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), program);
    win32_test::ChildProcess running(program, L"");
    ASSERT_TRUE(running.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = ::FindWindowW(nullptr, L"Copperfold")) && ::IsWindowVisible(window); }));

    struct Search {
        int id;
        HWND found;
    };
    const auto readButton = [window](int id) {
        Search search{id, nullptr};
        ::EnumChildWindows(
            window,
            [](HWND child, LPARAM data) {
                auto* wanted = reinterpret_cast<Search*>(data);
                if (::GetDlgCtrlID(child) != wanted->id) return TRUE;
                wanted->found = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        wchar_t text[128] = {};
        DWORD_PTR length = 0;
        if (!search.found || !::SendMessageTimeoutW(search.found, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text),
                                                    SMTO_ABORTIFHUNG, 5000, &length)) {
            return std::wstring(L"<no button>");
        }
        return std::wstring(text, length);
    };
    EXPECT_EQ(readButton(IDC_ADD_BUTTON), L"&Aggiungi");
    EXPECT_EQ(readButton(IDC_REMOVE_BUTTON), L"");
    EXPECT_EQ(readButton(IDC_EXECUTE_BUTTON), L"&Execute");
    EXPECT_EQ(readButton(IDC_EXIT_BUTTON), L"E&xit");

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(running.WaitForExit(std::chrono::seconds(15)), 0);
}

TEST(CopperfoldStartup, TheStatusBarShowsWhatAddWouldTake) {
    TempFolder folder;
    StartedApp started(folder);
    ASSERT_TRUE(started.app.InitInstance());
    const HWND bar = ::GetDlgItem(started.app.MainFrame()->Handle(), IDW_STATUS_BAR);
    const auto shown = [bar] {
        wchar_t text[512] = {};
        ::SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return std::wstring(text);
    };
    CColumnTreeCtrl& local = started.app.MainFrame()->View()->LocalTree();
    const HTREEITEM lastRoot = TreeView_GetLastVisible(local.Tree());
    ASSERT_TRUE(lastRoot);
    const std::wstring root = local.GetItemText(lastRoot, 0);
    TreeView_SelectItem(local.Tree(), lastRoot);
    // No enclosure here: the device tree is empty, so the target is still to be chosen.
    EXPECT_EQ(shown(), L"Add: " + root + L" -> (no folder selected)");
    const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < later) {
        PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(shown(), L"Add: " + root + L" -> (no folder selected)") << "the indicator timer keeps it";
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

    // The component's version is the one of the file its class is registered to (an installed
    // suite keeps it in its own folder, not in the system's) ...
    const std::wstring besideTheTest = win32::SiblingPath(win32::ModulePath(), L"Corelink.ax");
    ASSERT_EQ(win32_test::CallComponentRegistration("DllRegisterServer"), S_OK);
    EXPECT_EQ(CAboutDlg::ComponentFile(), besideTheTest);
    EXPECT_EQ(CAboutDlg::ComponentVersionText(), L"SDK Ver:" SUITE_VERSION_TEXT);
    // ... and without a registration, the system folder's, which the test prefix lacks.
    ASSERT_EQ(win32_test::CallComponentRegistration("DllUnregisterServer"), S_OK);
    ASSERT_FALSE(std::filesystem::exists(win32::SystemDirectory() + L"\\Corelink.ax"));
    EXPECT_EQ(CAboutDlg::ComponentFile(), win32::SystemDirectory() + L"\\Corelink.ax");
    EXPECT_EQ(CAboutDlg::ComponentVersionText(), L"SDK Ver:");
    EXPECT_EQ(win32_test::CallComponentRegistration("DllRegisterServer"), S_OK);  // as the other tests left it
}

TEST(CopperfoldStartup, SecondStartRestoresTheFirstAndExits) {
    TempFolder folder;
    const std::wstring program = folder.File(L"Copperfold.exe");
    std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), program);

    win32_test::ChildProcess first(program, L"");
    ASSERT_TRUE(first.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = ::FindWindowW(nullptr, L"Copperfold")) && ::IsWindowVisible(window); }));

    // Minimise: into the notification area.
    ::SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_FALSE(::IsWindowVisible(window));
    EXPECT_TRUE(win32_test::IconBackAfterShellRestart(window, 1));

    win32_test::ChildProcess second(program, L"");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(std::chrono::seconds(15)), 0);
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(window) && !::IsIconic(window); }));
    EXPECT_EQ(::FindWindowW(nullptr, L"Copperfold"), window) << "the second start must not open a window";

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitForExit(std::chrono::seconds(15)), 0);
}

// A named mutex held with permissions that refuse every other opener, as one an elevated
// instance (or an older version running elevated) made looks to a program started from the
// Start menu. Its own thread owns it until Release.
class RefusingMutex {
public:
    explicit RefusingMutex(const wchar_t* name)
        : owner([this, name] {
              PSECURITY_DESCRIPTOR denyAll = nullptr;
              ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1, &denyAll,
                                                                     nullptr);
              SECURITY_ATTRIBUTES attributes{sizeof attributes, denyAll, FALSE};
              const HANDLE mutex = ::CreateMutexW(&attributes, TRUE, name);
              ::LocalFree(denyAll);
              held = mutex != nullptr;
              ready = true;
              while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
              if (mutex) {
                  ::ReleaseMutex(mutex);
                  ::CloseHandle(mutex);
              }
          }) {
        while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~RefusingMutex() { Release(); }
    void Release() {
        release = true;
        if (owner.joinable()) owner.join();
    }
    std::atomic<bool> held{false};

private:
    std::atomic<bool> ready{false};
    std::atomic<bool> release{false};
    std::thread owner;
};

// What the second instance sends: a window of the test stands in for the running Copperfold.
std::atomic<int> restoreRequests{0};
LRESULT CALLBACK StandInProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 4) ++restoreRequests;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int WindowsTitledCopperfold() {
    int count = 0;
    ::EnumWindows([](HWND window, LPARAM found) -> BOOL {
        wchar_t title[64] = {};
        ::GetWindowTextW(window, title, 64);
        if (std::wstring(title) == L"Copperfold") ++*reinterpret_cast<int*>(found);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Both named mutexes, held where this program may not open them: a second start behaves as a
// second instance (asks the running one to come forward, opens no window), a run from the
// command line waits its turn until the mutex is free, and the window's runs are refused
// meanwhile.
TEST(CopperfoldStartup, MutexesThisProgramMayNotOpenAreHeldByAnotherInstance) {
    TempFolder folder;
    const std::wstring program = folder.File(L"Copperfold.exe");
    std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), program);
    {
        RefusingMutex instance(L"TOVI Copperfold");
        ASSERT_TRUE(instance.held);
        WNDCLASSW standInClass{};
        standInClass.lpfnWndProc = StandInProcedure;
        standInClass.hInstance = ::GetModuleHandleW(nullptr);
        standInClass.lpszClassName = L"CopperfoldStandIn";
        ::RegisterClassW(&standInClass);
        const HWND standIn = ::CreateWindowExW(0, L"CopperfoldStandIn", L"Copperfold", WS_OVERLAPPED, 0, 0, 100, 100,
                                               nullptr, nullptr, standInClass.hInstance, nullptr);
        ASSERT_TRUE(standIn);
        restoreRequests = 0;
        win32_test::ChildProcess second(program, L"");
        ASSERT_TRUE(second.Started());
        long code = -1;
        ASSERT_TRUE(WaitFor([&] { return (code = second.WaitForExit(std::chrono::milliseconds(0))) != -1; }))
            << "the second start did not end";
        EXPECT_EQ(code, 0);
        EXPECT_EQ(restoreRequests, 1) << "the running instance was not asked to come forward";
        EXPECT_EQ(WindowsTitledCopperfold(), 1) << "the second start opened a window of its own";
        ::DestroyWindow(standIn);
    }

    const std::wstring source = folder.File(L"src");
    std::filesystem::create_directories(source);
    testing_support::WriteBytes(source + L"\\letter.txt", "dear reader");
    {
        CIniFile ini(folder.File(L"Copperfold.ini"));
        CCopperfoldDoc(&ini, MakeJobSection(win32::ComputerName(), win32::UserName()))
            .AddJob(source, folder.File(L"dst"), JobType::Backup);
    }
    RefusingMutex run(L"TOVI Copperfold Run");
    ASSERT_TRUE(run.held);
    copperfold::RunGate gate;
    EXPECT_FALSE(gate.TryEnter().ticket.has_value()) << "a run of the window went ahead of the held mutex";
    const std::wstring copied = folder.File(L"dst\\src\\letter.txt");
    const testing_support::ProgramResult result =
        testing_support::RunProgram(program, L"/run", folder.Path(), [&](HANDLE process) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            EXPECT_EQ(::WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the run did not wait";
            EXPECT_FALSE(std::filesystem::exists(copied)) << "the run copied while another held the run mutex";
            run.Release();
        });
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_TRUE(std::filesystem::exists(copied));
    EXPECT_TRUE(gate.TryEnter().ticket.has_value()) << "the mutex is free again";
}


// A run's turn is waited for only so long, whoever holds it: another run this process may open,
// or a holder it may not open (elevated, another user's, a squatter), each ends the wait at the
// limit, told once and told which. A free turn is taken at once and silently.
std::atomic<int> toldOpenHolder{0};
std::atomic<int> toldRefusingHolder{0};
void CountWaitingNotes(bool holderRefusesUs) { ++(holderRefusesUs ? toldRefusingHolder : toldOpenHolder); }

TEST(CopperfoldStartup, ARunWaitsForItsTurnOnlyUntilItsLimit) {
    using copperfold::RunTurn;
    using Clock = std::chrono::steady_clock;
    const wchar_t* const name = L"TOVI Copperfold Run (turn test)";
    const auto waitedSeconds = [](Clock::time_point since) {
        return std::chrono::duration<double>(Clock::now() - since).count();
    };

    RunTurn first = copperfold::WaitForRunTurn(name, 2000, CountWaitingNotes);
    ASSERT_EQ(first.state, RunTurn::State::Taken);
    ASSERT_TRUE(first.mutex);
    EXPECT_EQ(toldOpenHolder + toldRefusingHolder, 0) << "a free turn is not worth a line";
    std::thread second([&] {
        const Clock::time_point start = Clock::now();
        const RunTurn turn = copperfold::WaitForRunTurn(name, 1500, CountWaitingNotes);
        EXPECT_EQ(turn.state, RunTurn::State::TimedOut);
        EXPECT_FALSE(turn.mutex);
        EXPECT_GE(waitedSeconds(start), 1.4);
        EXPECT_LT(waitedSeconds(start), 10.0);
    });
    second.join();
    EXPECT_EQ(toldOpenHolder, 1);
    ::ReleaseMutex(first.mutex.get());
    first.mutex.reset();

    RefusingMutex refusing(name);  // the same name, now made anew by a holder that refuses us
    ASSERT_TRUE(refusing.held);
    const Clock::time_point start = Clock::now();
    const RunTurn refused = copperfold::WaitForRunTurn(name, 1500, CountWaitingNotes);
    EXPECT_EQ(refused.state, RunTurn::State::TimedOut);
    EXPECT_GE(waitedSeconds(start), 1.4);
    EXPECT_LT(waitedSeconds(start), 10.0);
    EXPECT_EQ(toldRefusingHolder, 1);
    refusing.Release();

    const RunTurn free = copperfold::WaitForRunTurn(name, 1500, CountWaitingNotes);
    EXPECT_EQ(free.state, RunTurn::State::Taken);
    EXPECT_EQ(toldOpenHolder + toldRefusingHolder, 2);
    if (free.mutex) ::ReleaseMutex(free.mutex.get());
}

}  // namespace

