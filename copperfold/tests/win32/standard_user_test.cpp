// The suite installed per machine, used by a standard user: tools/standard-user-test.sh runs this
// program under Wine as an unprivileged Unix user in a prefix of its own, where setup installed
// the suite and the install folder then became root's and read-only, as Program Files is for a
// standard user. Before the folder was locked, "--write-old-file" added what an older version
// left in the program folder's Copperfold.ini: a section of this user (with a comment and a key
// this version does not know) and one of another user.
//
// The cases run in file order. Each starts Copperfold's window in this process from the
// installed program's path (so the installed copy's settings files are used), or the installed
// Copperfold.exe itself for runs from the command line. The enclosure is a rig whose drive E: is
// a folder of this user (StandardUser::PlugEnclosure); rigctl.exe lies beside this program.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "common/core/ini_file.h"
#include "common/core/text_codec.h"
#include "common/tests/win32/child_process.h"
#include "common/tests/win32/rigctl_run.h"
#include "common/tests/win32/temp_folder.h"
#include "common/win32/com_ptr.h"
#include "common/win32/system_info.h"
#include "common/win32/task_scheduler.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/job_schedule.h"
#include "copperfold/tests/win32/app_message_loop.h"
#include "copperfold/tests/win32/button_log.h"
#include "copperfold/tests/win32/dialog_answer.h"
#include "copperfold/tests/win32/enclosure_rig.h"
#include "copperfold/tests/win32/program_run.h"
#include "copperfold/win32/add_job_dialog_resource.h"
#include "copperfold/win32/copperfold_app.h"
#include "copperfold/win32/copperfold_view.h"
#include "copperfold/win32/copperfold_view_resource.h"
#include "copperfold/win32/logon_start.h"
#include "copperfold/win32/main_frame.h"
#include "copperfold/win32/resource.h"
#include "copperfold/win32/run_log_file.h"
#include "copperfold/win32/schedule_tasks.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kOtherUser[] = L"cfother";

std::wstring InstallFolder() {
    wchar_t folder[MAX_PATH] = {};
    DWORD size = sizeof folder;
    ::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Copperfold",
                   L"InstallLocation", RRF_RT_REG_SZ, nullptr, folder, &size);
    return folder;
}
std::wstring InstalledProgram() { return InstallFolder() + L"\\Copperfold.exe"; }
std::wstring OldFile() { return InstallFolder() + L"\\Copperfold.ini"; }
std::wstring ProfileFile() {
    PWSTR appData = nullptr;
    ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &appData);
    std::wstring path = std::wstring(appData ? appData : L"") + L"\\Copperfold\\Copperfold.ini";
    ::CoTaskMemFree(appData);
    return path;
}
// Where the old file's bytes were kept before the install folder was locked.
std::wstring OldFileCopy() { return win32::SiblingPath(win32::ModulePath(), L"old-Copperfold.ini"); }

std::string Bytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
std::wstring Text(const std::wstring& path) {
    return common::DecodeText(Bytes(path), common::Windows1252CodePage()).text;
}
std::wstring OwnSection() { return MakeJobSection(win32::ComputerName(), win32::UserName()); }

using testing_support::DialogAnswer;
using testing_support::PressOk;

class StandardUser : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(InstalledProgram())) << "the suite is not installed";
        // The standard user's view of Program Files: nothing may be created there.
        const HANDLE probe = ::CreateFileW((InstallFolder() + L"\\probe.tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        ASSERT_EQ(probe, INVALID_HANDLE_VALUE) << "the install folder is writable: this is no standard user's view";
        ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    void TearDown() override { CloseWindow(); }

    // Copperfold's window in this process, as the installed program starts it.
    void StartWindow() {
        DialogAnswer problem(L"Error Message", PressOk);
        app = std::make_unique<CCopperfoldApp>(InstalledProgram());
        ASSERT_TRUE(app->InitInstance());
        Pump(100ms);
        EXPECT_FALSE(problem.seen) << "the start reported a problem";
    }
    void CloseWindow() {
        if (!app) return;
        if (app->MainFrame() && ::IsWindow(app->MainFrame()->Handle())) ::DestroyWindow(app->MainFrame()->Handle());
        Pump(20ms);
        app.reset();
    }
    CCopperfoldDoc& Document() { return app->MainFrame()->Document(); }
    CCopperfoldView& View() { return *app->MainFrame()->View(); }

    void Pump(std::chrono::milliseconds span = 30ms) { testing_support::PumpApp(app.get(), span); }
    bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Pump(10ms);
        }
        return true;
    }

    // The rig's enclosure with drive E: on a folder of this user; ENCLOSURE_RIG is inherited by
    // every program started from here.
    void PlugEnclosure() {
        rigFile = folder.File(L"standard-user.rig");
        testing_support::WriteEnclosureRig(rigFile);
        enclosure = folder.File(L"enclosure");
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());
        ASSERT_EQ(Rigctl(L"plug"), 0) << "E: mapped to the enclosure's folder";
        plugged = true;
    }
    long Rigctl(const std::wstring& arguments) {
        return win32_test::RunRigctl(rigFile, arguments,
                                     [this](const std::function<bool()>& done) { PumpUntil(done, 30s); });
    }
    testing_support::ButtonCommands ButtonLog() const {
        return testing_support::ButtonLog(folder.File(L"standard-user.log"));
    }
    ~StandardUser() override {
        if (plugged) Rigctl(L"unplug");
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", nullptr);
    }

    // The installed Copperfold.exe with these arguments, as a schedule starts it.
    testing_support::ProgramResult RunInstalled(const std::wstring& arguments) {
        return testing_support::RunProgram(InstalledProgram(), arguments, folder.Path());
    }

    testing_support::TempFolder folder;
    std::unique_ptr<CCopperfoldApp> app;
    std::wstring rigFile;
    std::wstring enclosure;
    bool plugged = false;
};

// First start of this version: the user's own section of the old shared file (comment and
// unknown key included) moves into the profile, once; another user's section never does; the
// old file keeps every byte, so an older version still reads it.
TEST_F(StandardUser, TheOldFilesOwnSectionIsTakenOverOnceAndTheOldFileStaysAsItWas) {
    ASSERT_FALSE(std::filesystem::exists(ProfileFile())) << "not the first start of this version";
    const std::string oldBytes = Bytes(OldFileCopy());
    ASSERT_FALSE(oldBytes.empty());

    StartWindow();
    ASSERT_EQ(Document().jobCount, 1);
    EXPECT_EQ(Document().jobs[0].source, L"C:\\cf-letters");
    const std::wstring taken = Text(ProfileFile());
    EXPECT_NE(taken.find(L"; written by hand: the letters go onto the enclosure\r\n"), std::wstring::npos)
        << taken.c_str();
    EXPECT_NE(taken.find(L"Later0001=kept\r\n"), std::wstring::npos);
    EXPECT_EQ(taken.find(kOtherUser), std::wstring::npos) << "another user's section was taken";
    CloseWindow();

    StartWindow();
    EXPECT_EQ(Text(ProfileFile()), taken) << "taken over a second time";
    ASSERT_TRUE(Document().RemoveJobs({{L"C:\\cf-letters", L"E:\\Letters"}}));
    CloseWindow();
    StartWindow();
    EXPECT_EQ(Document().jobCount, 0) << "the removed job came back from the old file";
    EXPECT_EQ(Bytes(OldFile()), oldBytes) << "the old file changed";
}

// A job added in the window is in the list after a restart, and the installed program's "/run"
// runs it; the other user's job of the old file never runs in this user's runs.
TEST_F(StandardUser, AJobAddedInTheWindowStaysAfterARestartAndRunsFromTheCommandLine) {
    PlugEnclosure();
    const std::wstring source = L"C:\\cf-source";
    std::filesystem::create_directories(source);
    testing_support::WriteBytes(source + L"\\letter.txt", "dear reader");

    StartWindow();
    CCopperfoldView& view = View();
    const HWND local = view.LocalTree().Tree();
    HTREEITEM root = TreeView_GetRoot(local);
    while (root && view.LocalTree().GetItemText(root, 0) != L"C:\\") root = TreeView_GetNextSibling(local, root);
    ASSERT_TRUE(root);
    TreeView_Expand(local, root, TVE_EXPAND);
    HTREEITEM item = TreeView_GetChild(local, root);
    while (item && view.LocalTree().GetItemText(item, 0) != L"cf-source") item = TreeView_GetNextSibling(local, item);
    ASSERT_TRUE(item) << "C:\\cf-source is not in the local tree";
    TreeView_SelectItem(local, item);
    const HTREEITEM target = TreeView_GetRoot(view.DeviceTree().Tree());
    ASSERT_TRUE(target) << "the enclosure's drive is not in the device tree";
    ASSERT_EQ(view.DeviceTree().GetItemText(target, 0), L"E:\\");
    TreeView_SelectItem(view.DeviceTree().Tree(), target);
    {
        DialogAnswer notSaved(L"Error Message", PressOk);
        DialogAnswer add(L"Add", [](HWND dialog) {
            ::SendMessageW(::GetDlgItem(dialog, IDC_BACKUP_TYPE), BM_CLICK, 0, 0);
            ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        ::SendMessageW(view.Button(IDC_ADD_BUTTON), BM_CLICK, 0, 0);
        EXPECT_TRUE(add.seen);
        EXPECT_FALSE(notSaved.seen) << "the job was not saved";
    }
    ASSERT_EQ(Document().jobCount, 1);
    CloseWindow();

    StartWindow();
    ASSERT_EQ(Document().jobCount, 1) << "the job is gone after a restart";
    EXPECT_EQ(Document().jobs[0].source, source);
    EXPECT_EQ(Document().jobs[0].target, L"E:\\");
    EXPECT_EQ(TreeView_GetCount(View().JobList().Tree()), 1u);
    CloseWindow();

    const testing_support::ProgramResult run = RunInstalled(L"/run");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(Bytes(enclosure + L"\\cf-source\\letter.txt"), "dear reader");
    EXPECT_FALSE(std::filesystem::exists(L"C:\\cf-planted")) << "another user's job ran in this user's run";
    EXPECT_EQ(Text(ProfileFile()).find(kOtherUser), std::wstring::npos);
}

// The View menu's option is the user's own setting, kept in the profile.
TEST_F(StandardUser, TheViewOptionIsKeptInTheUsersOwnFile) {
    const auto checked = [this] {
        return (::GetMenuState(::GetMenu(app->MainFrame()->Handle()), ID_VIEW_EJECT_AFTER_BUTTON_RUN, MF_BYCOMMAND) &
                MF_CHECKED) != 0;
    };
    StartWindow();
    const bool before = checked();
    {
        DialogAnswer notSaved(L"Error Message", PressOk);
        ::SendMessageW(app->MainFrame()->Handle(), WM_COMMAND, ID_VIEW_EJECT_AFTER_BUTTON_RUN, 0);
        EXPECT_FALSE(notSaved.seen) << "the option was not saved";
    }
    EXPECT_NE(checked(), before);
    CloseWindow();

    StartWindow();
    EXPECT_NE(checked(), before) << "the option was not kept";
    EXPECT_NE(Text(ProfileFile()).find(before ? L"EjectAfterButtonRun=0x0000" : L"EjectAfterButtonRun=0x0001"),
              std::wstring::npos);
    EXPECT_EQ(Bytes(OldFile()), Bytes(OldFileCopy()));
}

// A press of the enclosure's button with this user's Copperfold window open, which cannot open
// the enclosure (its component reaches no device) and so cannot acknowledge the press: the
// installed Dockline hands the press over, the window runs the job once, and Dockline
// acknowledges the press itself when the run has ended and polls again. One press, one run.
TEST_F(StandardUser, APressThatCopperfoldCannotAcknowledgeRunsOnce) {
    PlugEnclosure();
    const std::wstring source = L"C:\\cf-pressed";
    std::filesystem::create_directories(source);
    testing_support::WriteBytes(source + L"\\report.txt", "pressed once");
    ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", nullptr);
    StartWindow();  // its component (in this process) works on no simulated machine
    ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());
    ASSERT_EQ(Document().AddJob(source, L"E:\\Pressed", JobType::Backup), CCopperfoldDoc::AddResult::Added);
    ::DeleteFileW(copperfold::RunLogPath().c_str());
    const auto buttonRuns = testing_support::ButtonRuns;

    win32_test::ChildProcess dockline(InstallFolder() + L"\\Dockline.exe", L"", folder.Path());
    ASSERT_TRUE(PumpUntil([this] { return ButtonLog().reads >= 1; }, 30s)) << "Dockline does not poll the button";
    ASSERT_EQ(Rigctl(L"press"), 0);
    ASSERT_TRUE(PumpUntil([&] { return buttonRuns() >= 1; }, 60s)) << "the press ran nothing";
    EXPECT_TRUE(PumpUntil([this] { return ButtonLog().acknowledgements >= 1; }, 15s)) << "nobody acknowledged the press";
    Pump(10s);
    const testing_support::ButtonCommands seen = ButtonLog();
    EXPECT_EQ(buttonRuns(), 1) << testing_support::ReadBytes(copperfold::RunLogPath());
    EXPECT_EQ(seen.acknowledgements, 1);
    EXPECT_GE(seen.readsAfterAcknowledgement, 5) << "Dockline polls again";
    EXPECT_EQ(Bytes(enclosure + L"\\Pressed\\cf-pressed\\report.txt"), "pressed once");

    if (const HWND bar = ::FindWindowW(nullptr, L"Dockline")) ::PostMessageW(bar, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return dockline.WaitForExit(0ms) != -1; }, 30s)) << "Dockline did not close";
}

// This user's schedule is a task of their own, set up and removed by the installed program run
// as this user without administrator rights, and so is their start at logon.
TEST_F(StandardUser, TheUsersScheduleAndStartAtLogonAreSetUpAsTheUser) {
    StartWindow();
    ASSERT_EQ(Document().AddJob(L"C:\\cf-source", L"C:\\cf-scheduled", JobType::Backup),
              CCopperfoldDoc::AddResult::Added);
    const int job = Document().jobCount;
    const auto runValue = [] {
        return win32::ReadRegistryText(HKEY_CURRENT_USER, copperfold::kLogonRunKey, copperfold::kLogonRunValue);
    };
    {
        DialogAnswer notSaved(L"Error Message", PressOk);
        ::SendMessageW(app->MainFrame()->Handle(), WM_COMMAND, ID_VIEW_START_AT_LOGON, 0);
        EXPECT_EQ(runValue(), L"\"" + InstalledProgram() + L"\" /tray");
        ::SendMessageW(app->MainFrame()->Handle(), WM_COMMAND, ID_VIEW_START_AT_LOGON, 0);
        EXPECT_FALSE(runValue());
        EXPECT_FALSE(notSaved.seen) << "the start at logon could not be changed";
    }
    CloseWindow();

    const std::wstring numbers = std::to_wstring(job);
    const testing_support::ProgramResult added = RunInstalled(L"/schedule " + numbers + L" weekly Tue 07:15");
    ASSERT_EQ(added.exitCode, 0) << added.errors;
    EXPECT_EQ(RunInstalled(L"/schedules").output, added.output);
    const std::wstring task = copperfold::ScheduleTaskName(OwnSection(), 1);
    const win32::ComApartment com;
    win32::TaskScheduler scheduler;
    HRESULT error = S_OK;
    const auto xml = scheduler.RegisteredXml(copperfold::kScheduleTaskFolder, task, &error);
    ASSERT_TRUE(xml) << win32::ErrorCodeText(error);
    EXPECT_NE(xml->find(L"the jobs " + numbers + L" of " + OwnSection() + L" on Tue at 07:15 (" + InstalledProgram() + L")"),
              std::wstring::npos)
        << *xml;
    EXPECT_EQ(RunInstalled(L"/schedule " + numbers + L" off").exitCode, 0);
    EXPECT_FALSE(scheduler.RegisteredXml(copperfold::kScheduleTaskFolder, task, &error));
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

// What an older version left in the program folder's file: appended to the installed file,
// which is still this user's (setup ran as this user) until the script locks the folder; a
// copy of the result is kept beside this program for the comparisons.
int WriteOldFile() {
    const std::wstring own = OwnSection();
    const std::wstring other = MakeJobSection(win32::ComputerName(), kOtherUser);
    std::wstring text = Text(OldFile());
    if (!text.empty() && text.back() != L'\n') text += L"\r\n";
    text += L"[" + own +
            L"]\r\n; written by hand: the letters go onto the enclosure\r\nTASK=0x0001\r\nSRC0001=C:\\cf-letters\r\n"
            L"DST0001=E:\\Letters\r\nType0001=Backup\r\nLater0001=kept\r\n[" +
            other +
            L"]\r\nTASK=0x0001\r\nSRC0001=C:\\cf-other-private\r\nDST0001=C:\\cf-planted\r\nType0001=Backup\r\n";
    const auto bytes = common::EncodeText(text, common::TextEncoding::Utf16Le, common::Windows1252CodePage());
    if (!bytes) return 1;
    for (const std::wstring& path : {OldFile(), OldFileCopy()}) {
        std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
        out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
        if (!out) return 1;
    }
    std::filesystem::create_directories(L"C:\\cf-other-private");
    testing_support::WriteBytes(L"C:\\cf-other-private\\diary.txt", "private");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--write-old-file") return WriteOldFile();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
