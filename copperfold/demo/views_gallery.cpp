// Shows Copperfold's view pieces on their own, for screenshots and a look by hand:
//   views_gallery column-tree [LANG]    a drive tree and a job list, populated; Escape closes it
//   views_gallery add-job [LANG] [backup|sync|restore] [options]
//                                       the add-job dialog for a sample pair of folders, with a
//                                       type already chosen when one is named and both options
//                                       ticked with "options"; prints the result
// Texts come from Copperfold.ini beside the program, in LANG or the language the file names.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/core/ini_file.h"
#include "common/core/translate.h"
#include "common/win32/system_info.h"
#include "common/win32/window.h"
#include "copperfold/core/column_text.h"
#include "copperfold/win32/add_job_dialog.h"
#include "copperfold/win32/add_job_dialog_resource.h"
#include "copperfold/win32/column_tree_ctrl.h"
#include "copperfold/win32/job_options_resource.h"
#include "copperfold/win32/tree_icons_resource.h"

namespace {

struct Texts {
    std::unique_ptr<CIniFile> ini;
    std::wstring language;

    std::wstring operator()(std::wstring_view english, std::wstring_view fallback) const {
        return common::Translate(*ini, language, english, fallback);
    }
};

constexpr int kFolder = 0, kOpenFolder = 1, kFixedDrive = 5, kRemovable = 7, kNetwork = 8, kFile = 11;

class GalleryWindow : public win32::Window {
public:
    explicit GalleryWindow(const Texts& texts) : tr(texts) {}

    void FocusJobs() { ::SetFocus(jobs.Tree()); }

    bool Open() {
        return Create(L"CopperfoldViewsGallery", L"Copperfold column tree", WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN, 0,
                      40, 40, 760, 470, nullptr, nullptr);
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_CREATE:
            return Populate() ? 0 : -1;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return Window::HandleMessage(message, wParam, lParam);
        }
    }

private:
    bool Populate() {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        icons = ::ImageList_Create(TREE_ICON_WIDTH, TREE_ICON_WIDTH, ILC_COLOR24 | ILC_MASK, TREE_ICON_COUNT, 4);
        win32::UniqueGdiObject strip(::LoadImageW(instance, MAKEINTRESOURCEW(IDB_TREE_ICONS), IMAGE_BITMAP, 0, 0, 0));
        ::ImageList_AddMasked(icons, static_cast<HBITMAP>(strip.get()), TREE_ICON_TRANSPARENT);
        const HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));

        RECT client{};
        ::GetClientRect(Handle(), &client);
        const int split = client.bottom * 3 / 5;
        if (!drives.Create(Handle(), RECT{6, 6, client.right - 6, split - 3}, 1041) ||
            !jobs.Create(Handle(), RECT{6, split + 3, client.right - 6, client.bottom - 6}, 1043)) {
            return false;
        }
        ::SendMessageW(drives.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ::SendMessageW(jobs.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        FillDrives();
        FillJobs();
        return true;
    }

    void FillDrives() {
        const HWND tree = drives.Tree();
        ::SetWindowLongPtrW(tree, GWL_STYLE, ::GetWindowLongPtrW(tree, GWL_STYLE) | 0x1237);
        TreeView_SetImageList(tree, icons, TVSIL_NORMAL);
        drives.InsertColumn(0, tr(L"Local Disk", L""), 0x800, 260);
        drives.InsertColumn(1, tr(L"Size", L""), 1, 90);
        drives.InsertColumn(2, tr(L"Modify Date", L""), 0, 150);

        const HTREEITEM c = drives.InsertRow(TVI_ROOT, TVI_LAST, {L"C:\\"}, kFixedDrive, kFixedDrive);
        const HTREEITEM users = drives.InsertRow(c, TVI_LAST, {L"Users", L"", L"2026/ 1/ 9 10:12:40"}, kFolder, kOpenFolder);
        const HTREEITEM anna = drives.InsertRow(users, TVI_LAST, {L"Anna", L"", L"2026/ 3/14  9:05:12"}, kFolder, kOpenFolder);
        const HTREEITEM documents = drives.InsertRow(anna, TVI_LAST, {L"Documents", L"", L"2026/11/30 18:44:03"}, kFolder, kOpenFolder);
        drives.InsertRow(documents, TVI_LAST, {L"Letters", L"", L"2026/11/30 18:44:03"}, kFolder, kOpenFolder);
        drives.InsertRow(documents, TVI_LAST, {L"Budget 2026.xlsx", L"48.5K", L"2026/11/28 21:17:55"}, kFile, kFile);
        drives.InsertRow(documents, TVI_LAST, {L"notes.txt", L"999", L"2026/10/ 2  7:30:00"}, kFile, kFile);
        drives.InsertRow(documents, TVI_LAST,
               {L"Scanned receipts and warranty cards of every appliance in the house.pdf", L" 3.2M", L"2026/ 6/21 14:02:19"},
               kFile, kFile);
        drives.InsertRow(c, TVI_LAST, {L"Windows", L"", L"2026/ 2/ 1  8:00:00"}, kFolder, kOpenFolder);
        drives.InsertRow(TVI_ROOT, TVI_LAST, {L"E:\\"}, kRemovable, kRemovable);
        drives.InsertRow(TVI_ROOT, TVI_LAST, {L"N:\\"}, kNetwork, kNetwork);
        for (const HTREEITEM item : {c, users, anna, documents}) TreeView_Expand(tree, item, TVE_EXPAND);
        TreeView_SelectItem(tree, documents);
    }

    void FillJobs() {
        const HWND tree = jobs.Tree();
        ::SetWindowLongPtrW(tree, GWL_STYLE, ::GetWindowLongPtrW(tree, GWL_STYLE) | 0x1331);
        TreeView_SetImageList(tree, icons, TVSIL_NORMAL);
        jobs.InsertColumn(0, tr(L"Source Folder", L""), 0x800, 260);
        jobs.InsertColumn(1, tr(L"Destination Folder", L""), 0, 250);
        jobs.InsertColumn(2, tr(L"Job Type", L""), 0, 100);
        struct Job {
            const wchar_t* source;
            const wchar_t* target;
            const wchar_t* type;
            bool checked;
        };
        const Job sample[] = {
            {L"C:\\Users\\Anna\\Documents", L"E:\\", L"Backup", true},
            {L"C:\\Users\\Anna\\Pictures\\Holidays 2019-2026 in full resolution", L"E:\\Pictures", L"Sync", false},
            {L"C:\\Users\\Anna\\Music", L"E:\\Music", L"Restore", true},
        };
        HTREEITEM second = nullptr;
        for (const Job& job : sample) {
            const HTREEITEM row = jobs.InsertRow(TVI_ROOT, TVI_LAST, {job.source, job.target, tr(job.type, L"")}, kFolder, kOpenFolder);
            TreeView_SetCheckState(tree, row, job.checked);
            if (!second && !job.checked) second = row;
        }
        TreeView_SelectItem(tree, second);
    }

    const Texts& tr;
    HIMAGELIST icons = nullptr;
    CColumnTreeCtrl drives;
    CColumnTreeCtrl jobs;
};

int ShowColumnTrees(const Texts& texts) {
    GalleryWindow window(texts);
    if (!window.Open()) return 1;
    ::ShowWindow(window.Handle(), SW_SHOW);
    ::SetForegroundWindow(window.Handle());
    window.FocusJobs();
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
            ::DestroyWindow(window.Handle());  // Escape closes the gallery
            continue;
        }
        if (::IsDialogMessageW(window.Handle(), &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

int ShowAddJob(const Texts& texts, const std::wstring& choice, bool withOptions) {
    std::int32_t type = -1;
    CAddJobDialog dialog([&](std::wstring_view english, std::wstring_view fallback) { return texts(english, fallback); },
                         L"C:\\Users\\Anna\\Documents", L"E:\\Backup", &type);
    const int button = choice == L"backup" ? IDC_BACKUP_TYPE : choice == L"sync" ? IDC_SYNC_TYPE
                       : choice == L"restore"                 ? IDC_RESTORE_TYPE
                                                              : 0;
    const DWORD uiThread = ::GetCurrentThreadId();
    std::thread chooser;
    if (button) {
        // Clicks the named type as the user would, once the dialog shows.
        chooser = std::thread([=] {
            for (int attempt = 0; attempt < 200; ++attempt) {
                HWND found = nullptr;
                ::EnumThreadWindows(
                    uiThread,
                    [](HWND window, LPARAM result) {
                        if (!::IsWindowVisible(window) || !::GetDlgItem(window, IDC_BACKUP_TYPE)) return TRUE;
                        *reinterpret_cast<HWND*>(result) = window;
                        return FALSE;
                    },
                    reinterpret_cast<LPARAM>(&found));
                if (found) {
                    ::SendMessageW(::GetDlgItem(found, button), BM_CLICK, 0, 0);
                    if (withOptions) {
                        for (const int box : {IDC_SKIP_SAME, IDC_KEEP_VERSIONS}) {
                            ::SendMessageW(::GetDlgItem(found, box), BM_CLICK, 0, 0);
                        }
                    }
                    return;
                }
                ::Sleep(25);
            }
        });
    }
    const INT_PTR result = dialog.DoModal(nullptr);
    if (chooser.joinable()) chooser.join();
    if (result == IDOK) {
        std::printf("OK, type %d, only new and changed files %u, replaced files kept %u days\n", static_cast<int>(type),
                    dialog.ChosenOptions().skipSame, dialog.ChosenOptions().keepDays);
    } else {
        std::printf("Cancel\n");
    }
    return result == IDOK ? 0 : 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const std::wstring mode = argc > 1 ? argv[1] : L"column-tree";
    Texts texts;
    texts.ini = std::make_unique<CIniFile>(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"));
    texts.language = argc > 2 && argv[2][0] ? argv[2] : common::ReadLanguage(*texts.ini);
    if (mode == L"column-tree") return ShowColumnTrees(texts);
    if (mode == L"add-job") return ShowAddJob(texts, argc > 3 ? argv[3] : L"", argc > 4 && argv[4] == std::wstring(L"options"));
    std::fprintf(stderr, "usage: views_gallery column-tree|add-job [LANG] [backup|sync|restore] [options]\n");
    return 3;
}
