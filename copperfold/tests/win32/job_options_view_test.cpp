// A job's options and kept versions in the job list view, under Wine on a virtual display
// (view_fixture.h): the add-job dialog and the options dialog driven from the keyboard, and the
// versions dialog over a store that real runs made, restoring from it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/core/ini_file_access.h"
#include "common/tests/win32/temp_folder.h"
#include "copperfold/core/copy_engine.h"
#include "copperfold/core/preflight.h"
#include "copperfold/core/run_log.h"
#include "copperfold/core/settings_store.h"
#include "copperfold/core/versions.h"
#include "copperfold/tests/win32/dialog_answer.h"
#include "copperfold/tests/win32/key_input.h"
#include "copperfold/tests/win32/view_fixture.h"
#include "copperfold/win32/job_options_resource.h"
#include "copperfold/win32/preview_dialog_resource.h"
#include "copperfold/win32/run_log_file.h"
#include "copperfold/win32/versions_dialog_resource.h"

namespace {

using namespace std::chrono_literals;
using testing_support::WaitFor;
using namespace view_testing;
using testing_support::PressKey;

// The visible dialog of this process titled `caption`, once there is one.
HWND DialogTitled(const wchar_t* caption, std::chrono::milliseconds limit = 20s) {
    HWND found = nullptr;
    WaitFor([&] { return (found = ::FindWindowW(L"#32770", caption)) != nullptr && ::IsWindowVisible(found); }, limit);
    return found && ::IsWindowVisible(found) ? found : nullptr;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

bool Checked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }
std::wstring ItemText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

// A click that does not wait for what it opens (a modal window of the dialog's thread).
void PostClick(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// What the keyboard reaches with Tab from the focused control, and the controls without a text
// (besides those that show values, the days field, lists and the preview's text, and frames).
struct KeyboardReach {
    std::set<int> reached;
    std::set<int> blank;
};
KeyboardReach Reach(HWND dialog) {
    KeyboardReach reach;
    const HWND start = FocusOf(dialog);
    HWND control = start;
    for (int step = 0; step < 40 && control; ++step) {
        reach.reached.insert(::GetDlgCtrlID(control));
        control = ::GetNextDlgTabItem(dialog, control, FALSE);
        if (control == start) break;
    }
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        wchar_t className[32] = {};
        ::GetClassNameW(child, className, 32);
        const std::wstring kind = className;
        const bool frame = kind == L"Button" && (::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
        if (kind == L"Edit" || kind == L"msctls_updown32" || kind == L"SysListView32" || frame || !::IsWindowVisible(child)) {
            continue;
        }
        if (WindowText(child).empty()) reach.blank.insert(id);
    }
    return reach;
}

// Chooses an item of the job list's context menu with its mnemonic, from the keyboard.
void ChooseFromJobMenu(CCopperfoldView& view, WORD key) {
    std::thread chooser([key] {
        HWND menu = nullptr;
        if (WaitFor([&] { return (menu = ::FindWindowW(L"#32768", nullptr)) != nullptr && ::IsWindowVisible(menu); })) {
            PressKey(key);
        }
    });
    ::SendMessageW(view.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view.JobList().Tree()), -1);
    chooser.join();
}

class JobOptionsViewTest : public CopperfoldViewTest {
protected:
    std::wstring StoredKey(const std::wstring& key) const {
        return CIniFile(settings.File(L"Copperfold.ini")).GetString(L"TEST-USER", key, L"");
    }
    std::wstring ListedOptions(int row) const {
        HTREEITEM item = TreeView_GetRoot(view->JobList().Tree());
        for (int i = 0; i < row && item; ++i) item = TreeView_GetNextSibling(view->JobList().Tree(), item);
        return item ? view->JobList().GetItemText(item, 3) : L"(no row)";
    }
    // The options dialog from the job list's menu, answered by `answer` on another thread.
    void SetOptionsFromTheMenu(const std::function<void(HWND)>& answer) {
        Answerer options(L"Job Options", [&](HWND dialog) {
            if (!WaitFor([&] { return ::GetForegroundWindow() == dialog; })) ADD_FAILURE() << "not in the foreground";
            answer(dialog);
        });
        ChooseFromJobMenu(*view, 'O');
        options.Join();
        ASSERT_TRUE(options.seen);
    }
};

// A Backup added with both options from the keyboard alone: Sync's quick mode cannot be ticked,
// a days field without a number of days is refused, and the job file and the list then hold
// both options; the options dialog of the job list's menu takes them off again, and a job file
// that cannot be written is named with its reason while the list keeps showing what it holds.
TEST_F(JobOptionsViewTest, TheKeyboardAddsAJobWithBothOptionsAndTheMenuChangesThem) {
    Open();
    const HTREEITEM docs = RevealLocal({L"docs"});
    const HTREEITEM deviceRoot = Child(view->DeviceTree(), nullptr, kDeviceRoot);
    ASSERT_TRUE(docs && deviceRoot);
    TreeView_SelectItem(view->LocalTree().Tree(), docs);
    TreeView_SelectItem(view->DeviceTree().Tree(), deviceRoot);

    KeyboardReach reach;
    bool syncShownAsComparing = false, syncLeftUnchangeable = false, backupBackToUnticked = false;
    std::wstring refusal;
    Answerer add(L"Add", [&](HWND dialog) {
        ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == dialog; }));
        ASSERT_TRUE(WaitFor([&] { return FocusOf(dialog) == ::GetDlgItem(dialog, IDC_BACKUP_TYPE); }));
        PressKey(VK_TAB);
        PressKey(VK_TAB);
        PressKey(VK_SPACE);  // Sync
        ASSERT_TRUE(WaitFor([&] { return Checked(dialog, IDC_SYNC_TYPE); }));
        syncShownAsComparing = Checked(dialog, IDC_SKIP_SAME) && !Enabled(dialog, IDC_SKIP_SAME);
        PressKey('N', {VK_MENU});
        std::this_thread::sleep_for(200ms);
        syncLeftUnchangeable = Checked(dialog, IDC_SKIP_SAME);
        PressKey(VK_TAB, {VK_SHIFT});
        PressKey(VK_TAB, {VK_SHIFT});
        PressKey(VK_SPACE);  // Backup
        ASSERT_TRUE(WaitFor([&] { return Checked(dialog, IDC_BACKUP_TYPE); }));
        backupBackToUnticked = !Checked(dialog, IDC_SKIP_SAME) && Enabled(dialog, IDC_SKIP_SAME);
        PressKey('N', {VK_MENU});
        ASSERT_TRUE(WaitFor([&] { return Checked(dialog, IDC_SKIP_SAME); }));
        EXPECT_FALSE(Enabled(dialog, IDC_KEEP_DAYS)) << "the days field before its box is ticked";
        PressKey('K', {VK_MENU});
        ASSERT_TRUE(WaitFor([&] { return Checked(dialog, IDC_KEEP_VERSIONS) && Enabled(dialog, IDC_KEEP_DAYS); }));
        EXPECT_EQ(ItemText(dialog, IDC_KEEP_DAYS), L"30") << "the days offered";
        PressKey(VK_TAB);
        ASSERT_TRUE(WaitFor([&] { return FocusOf(dialog) == ::GetDlgItem(dialog, IDC_KEEP_DAYS); }));
        reach = Reach(dialog);
        PressKey('0');  // replaces the selected "30"
        {
            Answerer refused(L"Error Message", PressOk);
            PressKey(VK_RETURN);
            refused.Join();
            refusal = refused.shownText;
        }
        ASSERT_TRUE(WaitFor([&] { return FocusOf(dialog) == ::GetDlgItem(dialog, IDC_KEEP_DAYS); }));
        EXPECT_TRUE(::IsWindowVisible(dialog)) << "the refused days ended the dialog";
        PressKey('4');  // the field's text is selected again
        PressKey('5');
        ASSERT_TRUE(WaitFor([&] { return ItemText(dialog, IDC_KEEP_DAYS) == L"45"; }));
        PressKey(VK_RETURN);
    }, 30s);
    Click(IDC_ADD_BUTTON);  // returns once the dialog has ended
    add.Join();
    ASSERT_TRUE(add.seen);
    EXPECT_TRUE(syncShownAsComparing) << "a Sync's quick mode is shown ticked and disabled";
    EXPECT_TRUE(syncLeftUnchangeable);
    EXPECT_TRUE(backupBackToUnticked) << "back on Backup, the box shows what the user left";
    EXPECT_EQ(refusal, copperfold::FilledText(L"Enter the number of days to keep the replaced files, from 1 to %s.", {L"9999"}));
    for (const int id : {IDC_BACKUP_TYPE, IDC_RESTORE_TYPE, IDC_SYNC_TYPE, IDC_SKIP_SAME, IDC_KEEP_VERSIONS, IDC_KEEP_DAYS,
                         IDOK, IDCANCEL}) {
        EXPECT_TRUE(reach.reached.count(id)) << "Tab does not reach control " << id;
    }
    EXPECT_TRUE(reach.blank.empty()) << "a control without its text: " << *reach.blank.begin();

    ASSERT_EQ(document->jobCount, 1);
    EXPECT_EQ(document->jobs[0].type, JobType::Backup);
    EXPECT_EQ(document->jobs[0].options, (JobOptions{1, 45}));
    EXPECT_EQ(StoredKey(L"SkipSame0001"), L"0x0001");
    EXPECT_EQ(StoredKey(L"KeepDays0001"), L"0x002D");
    EXPECT_EQ(ListedOptions(0), L"only new and changed files, versions kept 45 days");
    EXPECT_EQ(view->JobList().GetItemText(TreeView_GetRoot(view->JobList().Tree()), 2), L"Backup")
        << "the type column as before";

    // The options dialog shows the job's options; both taken off, neither key is left.
    TreeView_SelectItem(view->JobList().Tree(), TreeView_GetRoot(view->JobList().Tree()));
    SetOptionsFromTheMenu([&](HWND dialog) {
        EXPECT_EQ(ItemText(dialog, IDC_OPTIONS_JOBS), L"Options of job 1:");
        EXPECT_TRUE(Checked(dialog, IDC_SKIP_SAME));
        EXPECT_TRUE(Checked(dialog, IDC_KEEP_VERSIONS));
        EXPECT_EQ(ItemText(dialog, IDC_KEEP_DAYS), L"45");
        const KeyboardReach options = Reach(dialog);
        for (const int id : {IDC_SKIP_SAME, IDC_KEEP_VERSIONS, IDC_KEEP_DAYS, IDOK, IDCANCEL}) {
            EXPECT_TRUE(options.reached.count(id)) << "Tab does not reach control " << id;
        }
        EXPECT_TRUE(options.blank.empty()) << "a control without its text: " << *options.blank.begin();
        PressKey('N', {VK_MENU});
        PressKey('K', {VK_MENU});
        ASSERT_TRUE(WaitFor([&] { return !Checked(dialog, IDC_SKIP_SAME) && !Enabled(dialog, IDC_KEEP_DAYS); }));
        PressKey(VK_RETURN);
    });
    EXPECT_EQ(document->jobs[0].options, (JobOptions{0, 0}));
    EXPECT_EQ(StoredKey(L"SkipSame0001"), L"");
    EXPECT_EQ(StoredKey(L"KeepDays0001"), L"");
    EXPECT_EQ(ListedOptions(0), L"");

    // Not saved: the box says which file and why; the list shows what the file holds.
    const std::wstring jobFile = settings.File(L"Copperfold.ini");
    ASSERT_TRUE(::SetFileAttributesW(jobFile.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        Answerer refused(L"Error Message", PressOk, 20s);
        SetOptionsFromTheMenu([&](HWND dialog) {
            PressKey('K', {VK_MENU});
            ASSERT_TRUE(WaitFor([&] { return Checked(dialog, IDC_KEEP_VERSIONS); }));
            PressKey(VK_RETURN);
        });
        refused.Join();
        EXPECT_EQ(refused.shownText, copperfold::FilledText(copperfold::kNotSavedText,
                                                            {jobFile, std::wstring(common::kFileReadOnlyReason)}));
    }
    ::SetFileAttributesW(jobFile.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(document->jobs[0].options, (JobOptions{0, 0}));
    EXPECT_EQ(ListedOptions(0), L"") << "an option that was not saved is listed";
}

// What a version folder holds: each file's path in it and its bytes.
std::map<std::wstring, std::string> FilesBelow(const std::filesystem::path& folder) {
    std::map<std::wstring, std::string> files;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
        if (entry.is_regular_file()) {
            files[entry.path().lexically_relative(folder).wstring()] = testing_support::ReadBytes(entry.path().wstring());
        }
    }
    return files;
}

std::wstring ListText(HWND list, int row, int column) {
    wchar_t text[256] = {};
    ListView_GetItemText(list, row, column, text, 256);
    return text;
}

// A Backup that keeps versions, run, then run again after every source file was damaged: the
// versions dialog lists the version the second run kept, as /versions counts it, and restores it
// after its preview (Cancel there changes nothing), bringing the first files back byte for byte
// and keeping the damaged ones as a version in turn; one file of that version goes back alone.
// Before the first version, the dialog says there is none.
TEST_F(JobOptionsViewTest, TheVersionsDialogListsWhatARunKeptAndRestoresIt) {
    const std::wstring source = local + L"\\photos";
    std::filesystem::create_directories(source + L"\\trip");
    const std::map<std::wstring, std::string> first = {{L"a.txt", "first a"}, {L"trip\\b.txt", "first version of b"}};
    for (const auto& [name, bytes] : first) WriteFile(source + L"\\" + name, bytes);
    JobRecord job(source, L"M:\\backup", JobType::Backup);
    job.options.keepDays = 30;
    ASSERT_EQ(document->AddJob(job), CCopperfoldDoc::AddResult::Added);
    Open();
    const HWND jobs = view->JobList().Tree();
    TreeView_SelectItem(jobs, TreeView_GetRoot(jobs));

    const auto showVersions = [this](const std::function<void(HWND)>& answer) {
        Answerer versions(L"Kept Versions", [&](HWND dialog) {
            if (!WaitFor([&] { return ::GetForegroundWindow() == dialog; })) ADD_FAILURE() << "not in the foreground";
            answer(dialog);
        }, 60s);
        ChooseFromJobMenu(*view, 'V');
        versions.Join();
        ASSERT_TRUE(versions.seen);
    };
    showVersions([&](HWND dialog) {
        EXPECT_EQ(ItemText(dialog, IDC_VERSIONS_LIST_LABEL), L"There are no kept versions of this job.");
        EXPECT_EQ(ListView_GetItemCount(::GetDlgItem(dialog, IDC_VERSIONS_LIST)), 0);
        EXPECT_FALSE(Enabled(dialog, IDC_VERSIONS_RESTORE));
        EXPECT_NE(ItemText(dialog, IDC_VERSIONS_JOB).find(L"Replaced files are kept for 30 days."), std::wstring::npos);
        EXPECT_TRUE(Reach(dialog).blank.empty());
        PressKey(VK_ESCAPE);
    });

    TreeView_SetCheckState(jobs, TreeView_GetRoot(jobs), TRUE);
    Click(IDC_EXECUTE_BUTTON);  // returns once the run dialog has closed itself
    const std::filesystem::path target = L"M:\\backup\\photos";
    ASSERT_EQ(FilesBelow(target), first);
    const std::map<std::wstring, std::string> damaged = {{L"a.txt", "DAMAGED"}, {L"trip\\b.txt", "damaged b"}};
    for (const auto& [name, bytes] : damaged) WriteFile(source + L"\\" + name, bytes);
    Click(IDC_EXECUTE_BUTTON);
    std::map<std::wstring, std::string> backedUp = FilesBelow(target);
    const std::wstring store = copperfold::VersionStorePath(target.wstring());
    std::erase_if(backedUp, [](const auto& file) { return file.first.starts_with(copperfold::kVersionStoreName); });
    ASSERT_EQ(backedUp, damaged) << "the damage was not backed up";

    copperfold::Win32FileSystem files;
    const std::vector<copperfold::SideVersions> kept = copperfold::ListVersions(files, document->jobs[0]);
    ASSERT_EQ(kept.size(), 1u);
    ASSERT_EQ(kept[0].versions.size(), 1u);
    const copperfold::VersionFolder version = kept[0].versions[0];
    EXPECT_EQ(FilesBelow(std::filesystem::path(store) / version.name), first) << "the first files were not kept";

    const std::string logBefore = testing_support::ReadBytes(copperfold::RunLogPath());
    std::wstring listed, folder, preview, okText, cancelText, relisted, newest, oneFilePreview;
    int rowsAfter = 0;
    showVersions([&](HWND dialog) {
        const HWND list = ::GetDlgItem(dialog, IDC_VERSIONS_LIST);
        EXPECT_EQ(ItemText(dialog, IDC_VERSIONS_LIST_LABEL), L"Kept &versions, the newest first:");
        listed = ListText(list, 0, 0) + L"|" + ListText(list, 0, 1) + L"|" + ListText(list, 0, 2) + L"|" + ListText(list, 0, 3);
        folder = ItemText(dialog, IDC_VERSIONS_FOLDER);
        const KeyboardReach reach = Reach(dialog);
        for (const int id : {IDC_VERSIONS_LIST, IDC_VERSIONS_RESTORE, IDC_VERSIONS_RESTORE_FILE, IDCANCEL}) {
            EXPECT_TRUE(reach.reached.count(id)) << "Tab does not reach control " << id;
        }
        EXPECT_TRUE(reach.blank.empty()) << "a control without its text: " << *reach.blank.begin();
        // Restore..., then Cancel in its preview: nothing is written.
        PressKey('R', {VK_MENU});
        if (const HWND shown = DialogTitled(L"Preview")) {
            preview = ItemText(shown, IDC_PREVIEW_TEXT);
            okText = ItemText(shown, IDOK);
            cancelText = ::IsWindowVisible(::GetDlgItem(shown, IDCANCEL)) ? ItemText(shown, IDCANCEL) : L"(hidden)";
            PressKey(VK_ESCAPE);
            WaitFor([&] { return !::IsWindow(shown) || !::IsWindowVisible(shown); });
        }
        EXPECT_EQ(FilesBelow(target).at(L"a.txt"), "DAMAGED") << "a cancelled restore wrote";
        // Restore... again, confirmed with Enter: the run shows in the progress dialog and closes.
        PostClick(dialog, IDC_VERSIONS_RESTORE);
        if (const HWND shown = DialogTitled(L"Preview")) {
            WaitFor([&] { return ::GetForegroundWindow() == shown; });
            PressKey(VK_RETURN);
        }
        WaitFor([&] { return ListView_GetItemCount(list) == 2; }, 60s);
        rowsAfter = ListView_GetItemCount(list);
        const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        relisted = selected >= 0 ? ListText(list, selected, 1) : L"(none)";
        // One file of the newest version (the damaged files the restore kept) goes back alone.
        ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        newest = ListText(list, 0, 1);
        PostClick(dialog, IDC_VERSIONS_RESTORE_FILE);
        if (const HWND open = DialogTitled(L"Restore One File")) {
            constexpr int kFileNameBox = 0x47C;  // the file name of the system's file dialog
            ::SetDlgItemTextW(open, kFileNameBox, copperfold::JoinPath(copperfold::JoinPath(store, newest), L"trip\\b.txt").c_str());
            ::PostMessageW(open, WM_COMMAND, IDOK, 0);
        }
        if (const HWND shown = DialogTitled(L"Preview")) {
            oneFilePreview = ItemText(shown, IDC_PREVIEW_TEXT);
            ::PostMessageW(shown, WM_COMMAND, IDOK, 0);
        }
        WaitFor([&] { return ListView_GetItemCount(list) == 3; }, 60s);
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(listed, L"Target side|" + version.name + L"|2|" + copperfold::GroupedNumber(version.bytes));
    EXPECT_EQ(version.bytes, 7u + 18u);
    EXPECT_EQ(folder, L"Folder: " + copperfold::JoinPath(store, version.name));
    EXPECT_NE(preview.find(L"Restore "), std::wstring::npos) << preview;
    EXPECT_NE(preview.find(L"the file it replaces is kept as a version"), std::wstring::npos) << preview;
    EXPECT_EQ(okText, L"&Restore");
    EXPECT_EQ(cancelText, L"&Cancel");
    EXPECT_EQ(rowsAfter, 2) << "the damaged files were not kept in turn, or the list was not read again";
    EXPECT_EQ(relisted, version.name) << "the restored version is no longer the one selected";

    const std::vector<copperfold::SideVersions> after = copperfold::ListVersions(files, document->jobs[0]);
    ASSERT_EQ(after.size(), 1u);
    ASSERT_EQ(after[0].versions.size(), 3u) << "a version too few: a restore that kept nothing, or one that did not run";
    EXPECT_EQ(after[0].versions[0].name, version.name) << "the restore removed or renamed the version";
    EXPECT_EQ(after[0].versions[1].name, newest);
    EXPECT_EQ(FilesBelow(std::filesystem::path(store) / after[0].versions[1].name), damaged)
        << "the files the restore replaced were not kept as a version";
    EXPECT_EQ(FilesBelow(std::filesystem::path(store) / after[0].versions[2].name),
              (std::map<std::wstring, std::string>{{L"trip\\b.txt", "first version of b"}}))
        << "restoring one file kept more than the file it replaced";
    EXPECT_NE(oneFilePreview.find(L"b.txt"), std::wstring::npos) << oneFilePreview;
    EXPECT_EQ(oneFilePreview.find(L"a.txt"), std::wstring::npos) << oneFilePreview;

    backedUp = FilesBelow(target);
    std::erase_if(backedUp, [](const auto& file) { return file.first.starts_with(copperfold::kVersionStoreName); });
    EXPECT_EQ(backedUp, (std::map<std::wstring, std::string>{{L"a.txt", "first a"}, {L"trip\\b.txt", "damaged b"}}))
        << "the version restored whole was not brought back byte for byte, or the one file was not";
    const std::string log = testing_support::ReadBytes(copperfold::RunLogPath());
    const std::string restores = log.substr(std::min(logBefore.size(), log.size()));
    EXPECT_NE(restores.find("started by the Kept Versions window\r\n"), std::string::npos) << restores;
    EXPECT_EQ(restores.find("started by the Execute command"), std::string::npos) << restores;
}

}  // namespace
