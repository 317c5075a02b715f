// The job list view with its drive trees, on a virtual display under Wine (view_fixture.h).
#include "copperfold/win32/copperfold_view.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "copperfold/core/directory_change.h"
#include "copperfold/core/preflight.h"
#include "copperfold/core/settings_store.h"
#include "copperfold/tests/win32/control_text.h"
#include "copperfold/tests/win32/key_input.h"
#include "copperfold/tests/win32/view_fixture.h"
#include "copperfold/win32/preview_dialog_resource.h"

namespace {

using namespace std::chrono_literals;
using namespace view_testing;
using testing_support::HeaderText;

TEST_F(CopperfoldViewTest, LaysOutFormButtonsTreesAndTranslatedTexts) {
    Open();
    RECT client{};
    ::GetClientRect(view->Handle(), &client);
    const int width = client.right, height = client.bottom;
    const int quarter = width / 4, gap = (width - 360) / 8;
    const int ids[] = {IDC_ADD_BUTTON, IDC_REMOVE_BUTTON, IDC_EXECUTE_BUTTON, IDC_EXIT_BUTTON};
    for (int i = 0; i < 4; ++i) {
        RECT place{};
        ::GetWindowRect(view->Button(ids[i]), &place);
        ::MapWindowPoints(nullptr, view->Handle(), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, gap + i * quarter);
        EXPECT_EQ(place.top, height - 33);
        EXPECT_EQ(place.right - place.left, 90);
    }
    EXPECT_EQ(WindowText(view->Button(IDC_ADD_BUTTON)), L"&Add");
    EXPECT_EQ(WindowText(view->Button(IDC_REMOVE_BUTTON)), L"&Remove") << "a missing key shows its English text";
    EXPECT_EQ(HeaderText(view->LocalTree().Header(), 2), L"Modify Date");
    EXPECT_EQ(HeaderText(view->JobList().Header(), 2), L"") << "translated as empty on purpose";

    RECT jobs{};
    ::GetWindowRect(view->JobList().Handle(), &jobs);
    ::MapWindowPoints(nullptr, view->Handle(), reinterpret_cast<POINT*>(&jobs), 2);
    EXPECT_EQ(jobs.top, height - 153);
    EXPECT_EQ(jobs.bottom, height - 36);
    EXPECT_EQ(::GetWindowLongPtrW(view->JobList().Tree(), GWL_STYLE) & 0x1331, 0x1331);
    EXPECT_EQ(::GetWindowLongPtrW(view->LocalTree().Tree(), GWL_STYLE) & 0x1237, 0x1237);
    EXPECT_EQ(view->LocalTree().ColumnCount(), 3);
    EXPECT_EQ(view->DeviceTree().ColumnWidth(0), 200);

    // The device drive sits in the device tree only; drive C in the local tree only.
    EXPECT_EQ(Column(view->DeviceTree(), nullptr, 0), std::vector<std::wstring>{kDeviceRoot});
    const auto localRoots = Column(view->LocalTree(), nullptr, 0);
    EXPECT_EQ(std::count(localRoots.begin(), localRoots.end(), L"C:\\"), 1);
    EXPECT_EQ(std::count(localRoots.begin(), localRoots.end(), kDeviceRoot), 0);
    EXPECT_EQ(document->deviceTable.count, 1);
    EXPECT_EQ(document->deviceTable.entries[0].listIndex, 2);
}

TEST_F(CopperfoldViewTest, ListsFoldersLazilyWithSizesAndDates) {
    Open();
    const HTREEITEM docs = RevealLocal({L"docs"});
    ASSERT_TRUE(docs);
    EXPECT_FALSE(TreeView_GetChild(view->LocalTree().Tree(), docs)) << "listed before its first expansion";
    TreeView_Expand(view->LocalTree().Tree(), docs, TVE_EXPAND);
    const HTREEITEM letter = Child(view->LocalTree(), docs, L"letter.txt");
    ASSERT_TRUE(letter);
    EXPECT_EQ(view->LocalTree().GetItemText(letter, 1), L" 1.5K");
    EXPECT_EQ(view->LocalTree().GetItemText(letter, 2).size(), 19u);
    EXPECT_EQ(Icon(view->LocalTree(), letter), CCopperfoldView::kFileIcon);
    EXPECT_EQ(Icon(view->LocalTree(), docs), CCopperfoldView::kFolderIcon);
    EXPECT_EQ(view->ItemPath(view->LocalTree(), letter), local + L"\\docs\\letter.txt");

    // Sizes and dates show whole at the tree's font: their columns are wider than the text
    // measured here, plus the room a cell keeps on both sides; never below the minimum of 100.
    const HWND tree = view->LocalTree().Tree();
    const auto measured = [tree](const std::wstring& text) {
        const HDC dc = ::GetDC(tree);
        const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(tree, WM_GETFONT, 0, 0)));
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        ::SelectObject(dc, previous);
        ::ReleaseDC(tree, dc);
        return static_cast<int>(size.cx);
    };
    for (const CColumnTreeCtrl* drives : {&view->LocalTree(), &view->DeviceTree()}) {
        for (const int column : {1, 2}) {
            const std::wstring text = view->LocalTree().GetItemText(letter, column);
            EXPECT_GE(drives->ColumnWidth(column), 100);
            EXPECT_GE(drives->ColumnWidth(column), measured(text) + drives->TextIndent() + 4)
                << "column " << column << " cuts " << std::string(text.begin(), text.end());
        }
        EXPECT_GE(drives->ColumnWidth(2), measured(L"2026/12/27 20:49:58") + drives->TextIndent() + 4);
        EXPECT_GE(drives->ColumnWidth(1), measured(L"1000.0K") + drives->TextIndent() + 4);
    }
}

TEST_F(CopperfoldViewTest, AddTakesTheSelectedFoldersAndRefusesFilesAndDuplicates) {
    Open();
    const HTREEITEM docs = RevealLocal({L"docs"});
    const HTREEITEM deviceRoot = Child(view->DeviceTree(), nullptr, kDeviceRoot);
    ASSERT_TRUE(docs && deviceRoot);

    AddBackup(docs, deviceRoot);
    ASSERT_EQ(document->jobCount, 1);
    EXPECT_EQ(document->jobs[0].source, local + L"\\docs");
    EXPECT_EQ(document->jobs[0].target, L"M:\\") << "a drive root keeps its backslash";
    EXPECT_EQ(document->jobs[0].type, JobType::Backup);
    EXPECT_EQ(Column(view->JobList(), nullptr, 2), std::vector<std::wstring>{L"Backup"});
    EXPECT_EQ(CCopperfoldDoc(ini.get(), L"TEST-USER").jobCount, 1) << "the job is in the job file";

    {
        TreeView_SelectItem(view->LocalTree().Tree(), docs);
        TreeView_SelectItem(view->DeviceTree().Tree(), deviceRoot);
        Answerer duplicate(L"Prompt Message", PressOk);
        Click(IDC_ADD_BUTTON);
        duplicate.Join();
        EXPECT_TRUE(duplicate.seen);
        EXPECT_EQ(duplicate.shownText, L"The folder had already exist!");
        EXPECT_EQ(document->jobCount, 1);
    }
    {
        TreeView_Expand(view->LocalTree().Tree(), docs, TVE_EXPAND);
        TreeView_SelectItem(view->LocalTree().Tree(), Child(view->LocalTree(), docs, L"letter.txt"));
        Answerer refused(L"Error Message", PressOk);
        Click(IDC_ADD_BUTTON);
        refused.Join();
        EXPECT_EQ(refused.shownText, L"Please Select Source Directory!");
    }
    {
        // The local tree's drive root as the source.
        const HTREEITEM backup = Reveal(view->DeviceTree(), {kDeviceRoot, L"backup"});
        ASSERT_TRUE(backup);
        AddBackup(Child(view->LocalTree(), nullptr, L"C:\\"), backup);
        ASSERT_EQ(document->jobCount, 2);
        EXPECT_EQ(document->jobs[1].source, L"C:\\");
        EXPECT_EQ(document->jobs[1].target, L"M:\\backup");
    }
}

// How far apart two colours are: the sum of the differences of their three parts.
int ColourDistance(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
           std::abs(GetBValue(a) - GetBValue(b));
}

// The colour at the left end of an item's label area, where its background shows (the text
// starts two pixels further right).
COLORREF LabelBackground(HWND tree, HTREEITEM item) {
    ::RedrawWindow(tree, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT label{};
    if (!TreeView_GetItemRect(tree, item, &label, TRUE)) return CLR_INVALID;
    const HDC dc = ::GetDC(tree);
    const COLORREF colour = ::GetPixel(dc, label.left + 1, (label.top + label.bottom) / 2);
    ::ReleaseDC(tree, dc);
    return colour;
}

TEST_F(CopperfoldViewTest, SelectionsStayVisibleWithoutTheFocusAndTheStatusSaysWhatAddTakes) {
    AddJobs(2);
    Open();
    std::vector<std::wstring> statuses;
    view->SetStatusSink([&](const std::wstring& text) { statuses.push_back(text); });
    const HTREEITEM docs = RevealLocal({L"docs"});
    const HTREEITEM backup = Reveal(view->DeviceTree(), {kDeviceRoot, L"backup"});
    ASSERT_TRUE(docs && backup);
    TreeView_SelectItem(view->LocalTree().Tree(), docs);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), L"Add: " + local + L"\\docs -> (no folder selected)");
    TreeView_SelectItem(view->DeviceTree().Tree(), backup);
    EXPECT_EQ(statuses.back(), L"Add: " + local + L"\\docs -> M:\\backup");
    EXPECT_EQ(view->AddStatusText(), statuses.back());
    TreeView_Expand(view->LocalTree().Tree(), docs, TVE_EXPAND);
    TreeView_SelectItem(view->LocalTree().Tree(), Child(view->LocalTree(), docs, L"letter.txt"));
    EXPECT_EQ(statuses.back(), L"Add: (no folder selected) -> M:\\backup") << "a file is no source";
    TreeView_SelectItem(view->LocalTree().Tree(), docs);

    const HTREEITEM firstJob = TreeView_GetRoot(view->JobList().Tree());
    TreeView_SelectItem(view->JobList().Tree(), firstJob);
    ::SetFocus(view->Button(IDC_EXIT_BUTTON));
    Pump();
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    const struct {
        const CColumnTreeCtrl& tree;
        HTREEITEM selected;
        HTREEITEM other;
    } shown[] = {{view->LocalTree(), docs, Child(view->LocalTree(), docs, L"letter.txt")},
                 {view->DeviceTree(), backup, TreeView_GetRoot(view->DeviceTree().Tree())},
                 {view->JobList(), firstJob, TreeView_GetNextSibling(view->JobList().Tree(), firstJob)}};
    for (const auto& [tree, selected, other] : shown) {
        const COLORREF marked = LabelBackground(tree.Tree(), selected);
        EXPECT_GE(ColourDistance(marked, window), 90)
            << "tree " << tree.Id() << ": the selection without the focus is hard to tell from the window, colour "
            << std::hex << marked;
        EXPECT_EQ(LabelBackground(tree.Tree(), other), window) << "tree " << tree.Id() << ": an unselected row";
    }
}

TEST_F(CopperfoldViewTest, RemoveDropsTheTickedRowsAndRewritesTheJobFile) {
    AddJobs(3);
    Open();
    const HWND jobs = view->JobList().Tree();
    ASSERT_EQ(TreeView_GetCount(jobs), 3u);
    {
        Answerer none(L"Error Message", PressOk);
        Click(IDC_EXECUTE_BUTTON);
        none.Join();
        EXPECT_EQ(none.shownText, L"Please Select Job(s)!");
    }
    const HTREEITEM first = TreeView_GetRoot(jobs);
    TreeView_SetCheckState(jobs, first, TRUE);
    TreeView_SetCheckState(jobs, TreeView_GetNextSibling(jobs, TreeView_GetNextSibling(jobs, first)), TRUE);
    Click(IDC_REMOVE_BUTTON);
    ASSERT_EQ(TreeView_GetCount(jobs), 1u);
    ASSERT_EQ(document->jobCount, 1);
    EXPECT_EQ(document->jobs[0].source, local + L"\\src1");
    EXPECT_EQ(Column(view->JobList(), nullptr, 0), std::vector<std::wstring>{local + L"\\src1"});
    const CCopperfoldDoc reread(ini.get(), L"TEST-USER");
    ASSERT_EQ(reread.jobCount, 1);
    EXPECT_EQ(reread.jobs[0].target, L"M:\\backup\\1");
}

// A job file that cannot be written: the box names the file and why, and the list shows what
// the file holds, so nothing looks saved that would be gone (or back) after a restart.
TEST_F(CopperfoldViewTest, AFailedWriteNamesTheFileAndWhyAndTheListShowsOnlyWhatIsSaved) {
    AddJobs(1);
    Open();
    const std::wstring jobFile = settings.File(L"Copperfold.ini");
    ASSERT_TRUE(::SetFileAttributesW(jobFile.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring expected =
        copperfold::FilledText(copperfold::kNotSavedText, {jobFile, std::wstring(common::kFileReadOnlyReason)});
    {
        Answerer refused(L"Error Message", PressOk);
        AddBackup(RevealLocal({L"docs"}), Child(view->DeviceTree(), nullptr, kDeviceRoot));
        refused.Join();
        EXPECT_EQ(refused.shownText, expected);
    }
    EXPECT_EQ(document->jobCount, 1);
    EXPECT_EQ(TreeView_GetCount(view->JobList().Tree()), 1u) << "the job that was not saved is not listed";
    {
        TreeView_SetCheckState(view->JobList().Tree(), TreeView_GetRoot(view->JobList().Tree()), TRUE);
        Answerer refused(L"Error Message", PressOk);
        Click(IDC_REMOVE_BUTTON);
        refused.Join();
        EXPECT_EQ(refused.shownText, expected);
    }
    EXPECT_EQ(document->jobCount, 1);
    EXPECT_EQ(TreeView_GetCount(view->JobList().Tree()), 1u) << "the job that is still in the file stays listed";
    ::SetFileAttributesW(jobFile.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Without administrator rights the enclosure's storage interface refuses the scan: its drive is
// listed in neither tree, not passed off as a local disk, and the window says why, once.
TEST_F(CopperfoldViewTest, WithoutDeviceAccessTheUnreadDriveIsNoLocalDiskAndTheWindowSaysWhyOnce) {
    const auto refusedScan = [](copperfold::DeviceList& list) {
        devio::DeviceListEntry& entry = list.entries[0];
        entry.hubDepth = 2;
        entry.connected = 1;
        std::strcpy(entry.disk.devicePath, "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f5}");
        entry.disk.driveLetterCount = 1;
        entry.disk.driveLetters[0] = static_cast<char>(kDeviceLetter);  // present stays 0: no answer
    };
    Answerer note(L"Prompt Message", PressOk);
    Open(refusedScan, false);
    ASSERT_TRUE(PumpUntil([&] { return note.seen.load(); }));
    note.Join();
    EXPECT_EQ(note.shownText, copperfold::FilledText(CCopperfoldView::kNoDeviceAccessText, {L"M:"}));
    EXPECT_FALSE(Child(view->LocalTree(), nullptr, kDeviceRoot)) << "the enclosure's drive passed off as a local disk";
    EXPECT_FALSE(Child(view->DeviceTree(), nullptr, kDeviceRoot));
    EXPECT_TRUE(Child(view->LocalTree(), nullptr, L"C:\\"));

    Answerer again(L"Prompt Message", PressOk, 1s);
    ::PostMessageW(::GetParent(view->LocalTree().Handle()), WM_APP + 0x41, 0, 0);
    Pump(300ms);
    again.Join();
    EXPECT_FALSE(again.seen) << "said more than once";
}

// The preview of the ticked rows: the run's files in a read-only dialog, nothing written.
TEST_F(CopperfoldViewTest, PreviewShowsWhatExecuteWouldCopyAndWritesNothing) {
    AddJobs(3);
    Open();
    const HWND jobs = view->JobList().Tree();
    int row = 0;
    for (HTREEITEM item = TreeView_GetRoot(jobs); item; item = TreeView_GetNextSibling(jobs, item), ++row) {
        TreeView_SetCheckState(jobs, item, row != 1);
    }
    std::wstring shown;
    Answerer dialog(L"Preview", [&shown](HWND box) {
        shown = WindowText(::GetDlgItem(box, IDC_PREVIEW_TEXT));
        ::PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    view->PreviewTickedJobs();  // returns once the dialog is closed
    dialog.Join();
    ASSERT_TRUE(dialog.seen);
    EXPECT_NE(shown.find(L"Job 1: Backup "), std::wstring::npos) << shown;
    EXPECT_NE(shown.find(L"\r\nJob 3: Backup "), std::wstring::npos) << "numbered as in the job list: " << shown;
    EXPECT_NE(shown.find(L"\u2192 M:\\backup\\0\\src0\\file0.txt (5 bytes)\r\n"), std::wstring::npos) << shown;
    EXPECT_EQ(shown.find(L"file1.txt"), std::wstring::npos) << "an unticked job";
    EXPECT_NE(shown.find(L"Total: 2 folders, 2 files, 10 bytes\r\n"), std::wstring::npos) << shown;
    EXPECT_EQ(::GetFileAttributesW(L"M:\\backup\\0\\src0"), INVALID_FILE_ATTRIBUTES) << "the preview wrote";
}

// The job list's context menu opens the same preview, from the keyboard as a user reaches it:
// Shift+F10 on the job list, then P for the item.
TEST_F(CopperfoldViewTest, TheJobListsContextMenuOffersThePreview) {
    AddJobs(1);
    Open();
    const HWND jobs = view->JobList().Tree();
    TreeView_SetCheckState(jobs, TreeView_GetRoot(jobs), TRUE);
    ::SetForegroundWindow(host);
    ::SetFocus(jobs);
    ASSERT_EQ(::GetFocus(), jobs);
    std::atomic<bool> menuSeen{false};
    std::thread chooser([&] {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end) {
            if (const HWND menu = ::FindWindowW(L"#32768", nullptr); menu && ::IsWindowVisible(menu)) {
                menuSeen = true;
                testing_support::PressKey('P');
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    Answerer dialog(L"Preview", PressOk);
    testing_support::PressKey(VK_F10, {VK_SHIFT});
    const bool previewed = PumpUntil([&] { return dialog.seen.load(); }, 10s);
    chooser.join();
    dialog.Join();
    EXPECT_TRUE(menuSeen) << "Shift+F10 opened no menu";
    EXPECT_TRUE(previewed) << "the menu's item opened no preview";
}

TEST_F(CopperfoldViewTest, ExecuteRunsTheTickedRowsOnly) {
    AddJobs(4);
    Open();
    const HWND jobs = view->JobList().Tree();
    int row = 0;
    for (HTREEITEM item = TreeView_GetRoot(jobs); item; item = TreeView_GetNextSibling(jobs, item), ++row) {
        TreeView_SetCheckState(jobs, item, row != 1);
    }
    Click(IDC_EXECUTE_BUTTON);  // returns once the run dialog has closed itself
    EXPECT_FALSE(view->RunInProgress());
    for (int i = 0; i < 4; ++i) {
        // A Backup copies the source folder itself into the target.
        const std::wstring n = std::to_wstring(i);
        const std::wstring copied = L"M:\\backup\\" + n + L"\\src" + n + L"\\file" + n + L".txt";
        EXPECT_EQ(::GetFileAttributesW(copied.c_str()) != INVALID_FILE_ATTRIBUTES, i != 1) << i;
    }
    EXPECT_EQ(TreeView_GetCount(jobs), 4u) << "a run leaves the list as it was";
}

TEST_F(CopperfoldViewTest, FollowsFilesCreatedRenamedAndDeleted) {
    Open();
    const HTREEITEM root = Child(view->DeviceTree(), nullptr, kDeviceRoot);
    TreeView_Expand(view->DeviceTree().Tree(), root, TVE_EXPAND);
    ASSERT_TRUE(Child(view->DeviceTree(), root, L"backup"));

    WriteFile(L"M:\\new.txt", "12345");
    EXPECT_TRUE(PumpUntil([&] { return Child(view->DeviceTree(), root, L"new.txt") != nullptr; }));
    ASSERT_TRUE(::MoveFileW(L"M:\\new.txt", L"M:\\renamed.txt"));
    EXPECT_TRUE(PumpUntil([&] {
        return Child(view->DeviceTree(), root, L"renamed.txt") && !Child(view->DeviceTree(), root, L"new.txt");
    }));
    ASSERT_TRUE(::DeleteFileW(L"M:\\renamed.txt"));
    EXPECT_TRUE(PumpUntil([&] { return !Child(view->DeviceTree(), root, L"renamed.txt"); }));
    EXPECT_EQ(Column(view->DeviceTree(), root, 0), std::vector<std::wstring>{L"backup"});
}

// Another program can post the watcher's message with any parameters; the view follows none
// of them as a pointer (an address of 0x1234 used to end the program).
TEST_F(CopperfoldViewTest, ChangeMessagesFromOtherProgramsAreIgnored) {
    Open();
    const HTREEITEM root = Child(view->DeviceTree(), nullptr, kDeviceRoot);
    TreeView_Expand(view->DeviceTree().Tree(), root, TVE_EXPAND);
    ASSERT_TRUE(Child(view->DeviceTree(), root, L"backup"));
    const CNotifyDirCheck::ChangeRecord forged{L"M:\\backup", copperfold::kActionRemoved};
    for (const LPARAM parameter : {LPARAM{0x1234}, LPARAM{0}, reinterpret_cast<LPARAM>(&forged), LPARAM{-1}}) {
        ::PostMessageW(view->Handle(), CNotifyDirCheck::kChangeMessage, reinterpret_cast<WPARAM>(view->Handle()), parameter);
    }
    Pump(300ms);
    EXPECT_TRUE(Child(view->DeviceTree(), root, L"backup")) << "a record at an address someone posted was read";

    // Messages whose lParam is an address the system does not carry between processes, sent
    // from elsewhere (here another thread): the form's notifications and creation parameter.
    std::atomic<bool> sent{false};
    std::thread other([&] {
        const HWND form = view->Handle();
        ::SendMessageW(form, WM_NOTIFY, 0, 0x1234);
        ::SendMessageW(form, WM_INITDIALOG, 0, 0x1234);
        ::SendMessageW(view->LocalTree().Handle(), WM_NOTIFY, 0, 0x1234);
        sent = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return sent.load(); }));
    other.join();
    TreeView_Expand(view->DeviceTree().Tree(), Child(view->DeviceTree(), root, L"backup"), TVE_EXPAND);
    Pump();
    // The watcher's own changes still arrive.
    WriteFile(L"M:\\real.txt", "12345");
    EXPECT_TRUE(PumpUntil([&] { return Child(view->DeviceTree(), root, L"real.txt") != nullptr; }));
}

// Whether a window's client area shows one colour only, as a tree that lost its picture does.
bool IsBlank(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    if (client.right <= 0 || client.bottom <= 0) return true;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = client.right;
    format.bmiHeader.biHeight = -client.bottom;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC screen = ::GetDC(window);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP picture = ::CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = ::SelectObject(memory, picture);
    ::BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const std::size_t count = static_cast<std::size_t>(client.right) * static_cast<std::size_t>(client.bottom);
    const bool blank = std::all_of(pixels, pixels + count, [first = pixels[0]](std::uint32_t p) { return p == first; });
    ::SelectObject(memory, previous);
    ::DeleteObject(picture);
    ::DeleteDC(memory);
    ::ReleaseDC(window, screen);
    return blank;
}

// Changes handed over as the watcher hands them, then applied once the view's batch is due.
// The changes as the watcher hands them to the view, one by one.
void SendChanges(CCopperfoldView& view, const std::vector<CNotifyDirCheck::ChangeRecord>& changes) {
    for (const auto& change : changes) view.OnFolderChanged(change);
}

TEST_F(CopperfoldViewTest, ABatchOfChangesEndsAsTheFolderIsAndInSortedOrder) {
    ::CreateDirectoryW(L"M:\\many", nullptr);
    WriteFile(L"M:\\many\\kept.txt", "k");
    WriteFile(L"M:\\many\\gone.txt", "g");
    Open();
    view->Watcher().Stop();  // only the records below reach the view
    const HTREEITEM many = Reveal(view->DeviceTree(), {kDeviceRoot, L"many"});
    ASSERT_TRUE(many);
    TreeView_Expand(view->DeviceTree().Tree(), many, TVE_EXPAND);
    ASSERT_EQ(Column(view->DeviceTree(), many, 0), (std::vector<std::wstring>{L"gone.txt", L"kept.txt"}));

    // Many changes at once (the folder is listed once for them), in no particular order: new
    // names before and after the present ones, one added and removed again, one removed.
    std::vector<CNotifyDirCheck::ChangeRecord> burst;
    std::vector<std::wstring> expected = {L"kept.txt"};
    for (int i = 39; i >= 0; --i) {
        const std::wstring name = (i % 2 ? L"Z" : L"a") + std::to_wstring(100 + i) + L".txt";
        WriteFile(L"M:\\many\\" + name, "new");
        burst.push_back({L"M:\\many\\" + name, copperfold::kActionAdded});
        expected.push_back(name);
    }
    burst.push_back({L"M:\\many\\brief.tmp", copperfold::kActionAdded});  // gone again before it is shown
    burst.push_back({L"M:\\many\\brief.tmp", copperfold::kActionRemoved});
    ::DeleteFileW(L"M:\\many\\gone.txt");
    burst.push_back({L"M:\\many\\gone.txt", copperfold::kActionRemoved});
    WriteFile(L"M:\\many\\kept.txt", "kept, and longer now");
    burst.push_back({L"M:\\many\\kept.txt", copperfold::kActionModified});
    SendChanges(*view, burst);
    ASSERT_TRUE(PumpUntil([&] { return !CCopperfoldView::LayoutHeld(view->DeviceTree().Tree()); }));

    std::sort(expected.begin(), expected.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::lstrcmpiW(a.c_str(), b.c_str()) < 0;
    });
    EXPECT_EQ(Column(view->DeviceTree(), many, 0), expected);
    const HTREEITEM kept = Child(view->DeviceTree(), many, L"kept.txt");
    ASSERT_TRUE(kept);
    EXPECT_EQ(view->DeviceTree().GetItemText(kept, 1), L"20");
    EXPECT_EQ(view->DeviceTree().GetItemText(Child(view->DeviceTree(), many, L"a100.txt"), 1), L"3");

    // A few changes (each name looked up) land in their sorted places too.
    WriteFile(L"M:\\many\\a000.txt", "first");
    WriteFile(L"M:\\many\\m.txt", "middle");
    SendChanges(*view, {{L"M:\\many\\m.txt", copperfold::kActionAdded},
                                 {L"M:\\many\\a000.txt", copperfold::kActionAdded}});
    ASSERT_TRUE(PumpUntil([&] { return !CCopperfoldView::LayoutHeld(view->DeviceTree().Tree()); }));
    expected.insert(expected.begin(), L"a000.txt");
    expected.insert(std::find(expected.begin(), expected.end(), L"Z101.txt"), L"m.txt");
    EXPECT_EQ(Column(view->DeviceTree(), many, 0), expected);
}

TEST_F(CopperfoldViewTest, TheTreeKeepsUpAndStaysDrawnWhileFilesStreamIn) {
    Open();
    const HTREEITEM root = Child(view->DeviceTree(), nullptr, kDeviceRoot);
    TreeView_Expand(view->DeviceTree().Tree(), root, TVE_EXPAND);
    Pump(200ms);
    const HWND tree = view->DeviceTree().Tree();
    const UINT before = TreeView_GetCount(tree);
    constexpr int kFiles = 600;
    std::atomic<bool> writing{true};
    ASSERT_FALSE(IsBlank(tree));
    std::thread writer([&] {
        for (int i = 0; i < kFiles; ++i) WriteFile(L"M:\\stream" + std::to_wstring(10000 + i) + L".txt", "x");
        writing = false;
    });
    // Until the tree holds them all, every 20 ms of the message loop: the rows the tree has
    // laid out (its scroll range) and whether its picture is a blank area.
    std::set<int> rangesSeen;
    int blankLooks = 0;
    int looks = 0;
    const auto limit = std::chrono::steady_clock::now() + 30s;
    while ((writing || TreeView_GetCount(tree) < before + kFiles) && std::chrono::steady_clock::now() < limit) {
        const auto slice = std::chrono::steady_clock::now() + 20ms;
        MSG message;
        while (std::chrono::steady_clock::now() < slice && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        std::this_thread::sleep_for(2ms);
        SCROLLINFO scroll{};
        scroll.cbSize = sizeof scroll;
        scroll.fMask = SIF_RANGE;
        if (::GetScrollInfo(tree, SB_VERT, &scroll)) rangesSeen.insert(scroll.nMax);
        blankLooks += IsBlank(tree);
        ++looks;
    }
    writer.join();
    EXPECT_EQ(TreeView_GetCount(tree), before + kFiles);
    EXPECT_GE(rangesSeen.size(), 4u) << "the tree laid out its new rows only " << rangesSeen.size()
                                     << " times while " << kFiles << " files came";
    EXPECT_EQ(blankLooks, 0) << "of " << looks << " looks at the tree";
}

TEST_F(CopperfoldViewTest, LostChangesListTheDriveAgainAndGoneFoldersVanishOnExpansion) {
    ::CreateDirectoryW(L"M:\\old", nullptr);
    WriteFile(L"M:\\old\\inside.txt", "x");
    Open();
    const HTREEITEM root = Child(view->DeviceTree(), nullptr, kDeviceRoot);
    TreeView_Expand(view->DeviceTree().Tree(), root, TVE_EXPAND);
    ASSERT_TRUE(Child(view->DeviceTree(), root, L"old"));

    // The watcher is stopped, so these changes reach the view only through a changes-lost record.
    view->Watcher().Stop();
    WriteFile(L"M:\\appeared.txt", "abc");
    ::DeleteFileW(L"M:\\old\\inside.txt");
    ::RemoveDirectoryW(L"M:\\old");
    ::CreateDirectoryW(L"M:\\gone", nullptr);
    view->OnFolderChanged({kDeviceRoot, copperfold::kActionChangesLost});
    EXPECT_EQ(Column(view->DeviceTree(), root, 0), (std::vector<std::wstring>{L"appeared.txt", L"backup", L"gone"}));

    ::RemoveDirectoryW(L"M:\\gone");
    TreeView_Expand(view->DeviceTree().Tree(), Child(view->DeviceTree(), root, L"gone"), TVE_EXPAND);
    EXPECT_EQ(Column(view->DeviceTree(), root, 0), (std::vector<std::wstring>{L"appeared.txt", L"backup"}));
}

TEST_F(CopperfoldViewTest, VolumesArriveAndGoInTheirOwnTree) {
    Open();
    const std::uint32_t deviceBit = 1u << (kDeviceLetter - L'A');
    view->VolumesRemoved(deviceBit);
    EXPECT_TRUE(Column(view->DeviceTree(), nullptr, 0).empty());
    EXPECT_FALSE(Child(view->LocalTree(), nullptr, kDeviceRoot));
    const auto watched = view->Watcher().Directories();
    EXPECT_EQ(std::count(watched.begin(), watched.end(), kDeviceRoot), 0);

    view->VolumesArrived(deviceBit);
    const HTREEITEM back = Child(view->DeviceTree(), nullptr, kDeviceRoot);
    ASSERT_TRUE(back);
    EXPECT_EQ(Icon(view->DeviceTree(), back), CCopperfoldView::kFixedDriveIcon);
    EXPECT_FALSE(Child(view->LocalTree(), nullptr, kDeviceRoot));

    // A local drive that goes and comes back takes its place in letter order.
    const auto before = Column(view->LocalTree(), nullptr, 0);
    view->VolumesRemoved(1u << 2);
    EXPECT_FALSE(Child(view->LocalTree(), nullptr, L"C:\\"));
    EXPECT_EQ(Column(view->DeviceTree(), nullptr, 0), std::vector<std::wstring>{kDeviceRoot});
    view->VolumesArrived(1u << 2);
    EXPECT_EQ(Column(view->LocalTree(), nullptr, 0), before);
    EXPECT_TRUE(view->Watcher().IsRunning());
}

}  // namespace
