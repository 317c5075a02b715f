#include "copperfold_view.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/core/ini_file.h"
#include "common/win32/system_info.h"
#include "common/win32/task_scheduler.h"
#include "common/win32/window.h"
#include "copperfold/core/column_text.h"
#include "copperfold/core/drive_tree_text.h"
#include "copperfold/core/job_options_text.h"
#include "copperfold/core/job_schedule.h"
#include "copperfold/core/mnemonic_text.h"
#include "add_job_dialog.h"
#include "copperfold_view_resource.h"
#include "copperfold/core/preflight.h"
#include "mounted_volumes.h"
#include "resource.h"
#include "run_window.h"
#include "schedule_tasks.h"
#include "tree_icons_resource.h"

namespace {

// Tab stops, so that the keyboard reaches them after the trees and the job list.
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
constexpr int kButtonWidth = 90;
constexpr int kDriveColumnMinimum = 100;  // the size and date columns, before they are fitted
constexpr int kJobTypeColumnMinimum = 80;  // the job list's type, before the column is fitted
constexpr int kOptionsColumnMinimum = 160;  // the job list's options, before the column is fitted
constexpr DWORD kDriveTreeStyle = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_DISABLEDRAGDROP |
                                  TVS_SHOWSELALWAYS | TVS_TRACKSELECT | TVS_FULLROWSELECT;  // 0x1237
constexpr DWORD kJobListStyle = TVS_HASBUTTONS | TVS_CHECKBOXES | TVS_DISABLEDRAGDROP | TVS_SHOWSELALWAYS |
                                TVS_TRACKSELECT | TVS_FULLROWSELECT;  // 0x1331
static_assert(kButtonStyle == 0x50010F00 && kDriveTreeStyle == 0x1237 && kJobListStyle == 0x1331);

// Keys of the language sections; "%s" is the scheduler's reason.
constexpr wchar_t kSchedulesNotFollowedText[] =
    L"The Task Scheduler could not be told the new numbers of the scheduled jobs (%s). The schedules still run the "
    L"jobs they were made for; to have their tasks name the right numbers, remove and add them again.";
constexpr wchar_t kOtherRunText[] =
    L"Another Copperfold run (from the command line or a schedule) is in progress. Execute the jobs again when it has ended.";

HTREEITEM NextRow(HWND tree, HTREEITEM item) { return TreeView_GetNextSibling(tree, item); }

bool IsChecked(HWND tree, HTREEITEM item) { return TreeView_GetCheckState(tree, item) == 1; }

int ItemImage(HWND tree, HTREEITEM item, bool selected) {
    TVITEMW info{};
    info.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    info.hItem = item;
    TreeView_GetItem(tree, &info);
    return selected ? info.iSelectedImage : info.iImage;
}

}  // namespace

CCopperfoldView::CCopperfoldView(Services given)
    : services(std::move(given)),
      watcher(services.writeEvent) {
    deviceHandles.fill(INVALID_HANDLE_VALUE);
}

CCopperfoldView::~CCopperfoldView() {
    watcher.Stop();
    if (form) ::DestroyWindow(form);
    if (imageList) ::ImageList_Destroy(imageList);
}

bool CCopperfoldView::Create(HWND parent, const RECT& rect) {
    form = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_COPPERFOLD_FORM), parent,
                                FormProcedure, reinterpret_cast<LPARAM>(this));
    if (!form) return false;
    ::MoveWindow(form, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FALSE);
    ::ShowWindow(form, SW_SHOW);
    return true;
}

INT_PTR CALLBACK CCopperfoldView::FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // Only the form's own creation: another program may send WM_INITDIALOG with any lParam.
        if (win32::SentByAnotherThread() || ::GetWindowLongPtrW(window, DWLP_USER) != 0) return FALSE;
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<CCopperfoldView*>(lParam)->form = window;
    }
    auto* view = reinterpret_cast<CCopperfoldView*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!view) return FALSE;
    try {
        return view->OnMessage(message, wParam, lParam);
    } catch (const std::exception&) {
        // Nothing crosses into the system; the tree or command simply stays as it was.
        return FALSE;
    }
}

INT_PTR CCopperfoldView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_ADD_BUTTON: OnAdd(); return TRUE;
        case IDC_REMOVE_BUTTON: OnRemove(); return TRUE;
        case IDC_EXECUTE_BUTTON: OnExecute(); return TRUE;
        case IDC_EXIT_BUTTON: OnExit(); return TRUE;
        case IDOK: OnEnterKey(); return TRUE;  // Enter, from the dialog manager
        case IDCANCEL: return TRUE;            // Escape: the main window stays
        default: return FALSE;
        }
    case kDeleteKeyMessage:
        OnDeleteKey();
        return TRUE;
    case kDeviceAccessNoteMessage:
        ShowDeviceAccessNote();
        return TRUE;
    case WM_CONTEXTMENU:
        // wParam names the window clicked (only compared, never followed).
        if (reinterpret_cast<HWND>(wParam) != jobList.Handle() && reinterpret_cast<HWND>(wParam) != jobList.Tree()) {
            return FALSE;
        }
        ShowJobListMenu(lParam);
        return TRUE;
    case WM_NOTIFY: {
        if (win32::SentByAnotherThread() || lParam == 0) return FALSE;  // not from the form's own trees
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == jobList.Handle() && header->idFrom == IDC_JOB_LIST && header->code == TVN_KEYDOWN) {
            // Asked after the key has been handled, not inside the tree's own key handling.
            if (reinterpret_cast<NMTVKEYDOWN*>(lParam)->wVKey == VK_DELETE) ::PostMessageW(form, kDeleteKeyMessage, 0, 0);
            return FALSE;
        }
        CColumnTreeCtrl* tree = TreeOfNotification(*header);
        if (!tree) return FALSE;
        if (header->code == TVN_GETDISPINFOW) {
            OnGetDisplayInfo(*tree, *reinterpret_cast<NMTVDISPINFOW*>(lParam));
        } else if (header->code == TVN_DELETEITEMW) {
            IndexOf(*tree).Forget(reinterpret_cast<NMTREEVIEWW*>(lParam)->itemOld.hItem);
        } else if (header->code == TVN_SELCHANGEDW) {
            ShowAddStatus();
        } else if (header->code == TVN_ITEMEXPANDINGW) {
            OnItemExpanding(*tree, *reinterpret_cast<NMTREEVIEWW*>(lParam));
            ::SetWindowLongPtrW(form, DWLP_MSGRESULT, FALSE);  // the expansion always proceeds
            return TRUE;
        }
        return FALSE;
    }
    case WM_TIMER:
        if (wParam != kLayoutTimer) return FALSE;
        ReleaseLayout();
        return TRUE;
    case CNotifyDirCheck::kChangeMessage:
        // lParam is only a number, and the change is the watcher's own copy: a message that
        // names no record in flight (posted by another program, or stale) does nothing.
        if (const auto change = watcher.TakeChange(lParam)) OnFolderChanged(*change);
        return TRUE;
    default:
        return FALSE;
    }
}

std::wstring CCopperfoldView::Translate(std::wstring_view english) const {
    // A text the language lacks shows in English: a button, header or job type never goes
    // blank. A translation that is empty on purpose stays empty.
    return services.translate ? services.translate(english, english) : std::wstring(english);
}

int CCopperfoldView::ShowMessage(std::wstring_view text, std::wstring_view caption, UINT icon, bool translateText) const {
    const std::wstring shown = translateText ? Translate(text) : std::wstring(text);
    return ::MessageBoxW(form, shown.c_str(), Translate(caption).c_str(), MB_OK | icon);
}

void CCopperfoldView::ShowWriteFailure(const CIniFileException& error, std::wstring_view text) const {
    const std::wstring shown =
        copperfold::WriteFailureText(error, text, [this](std::wstring_view english) { return Translate(english); });
    ::MessageBoxW(form, shown.c_str(), Translate(L"Error Message").c_str(), MB_OK | MB_ICONERROR);
}

void CCopperfoldView::InitialUpdate() {
    RECT client{};
    ::GetClientRect(form, &client);
    const int width = client.right;
    const int height = client.bottom;
    CreateButtons(width, height);
    SetUpTrees(width, height);
    ScanDevices();
    FillDriveTree(localTree, false);
    FillDriveTree(deviceTree, true);
    if (unreadableDrives != 0) ::PostMessageW(form, kDeviceAccessNoteMessage, 0, 0);
    watcher.SetTarget(form);
    if (!watcher.IsRunning() && !watcher.HasThread() && !watcher.Directories().empty() &&
        !watcher.Directories().front().empty()) {
        watcher.Start();
    }
    FillJobList();
    Repaint();
}

void CCopperfoldView::CreateButtons(int width, int height) {
    struct ButtonText {
        int id;
        const wchar_t* text;
    };
    static constexpr std::array<ButtonText, 4> buttons = {{{IDC_ADD_BUTTON, L"&Add"},
                                                           {IDC_REMOVE_BUTTON, L"&Remove"},
                                                           {IDC_EXECUTE_BUTTON, L"&Execute"},
                                                           {IDC_EXIT_BUTTON, L"E&xit"}}};
    const int quarter = width / 4;
    const int gap = (width - 4 * kButtonWidth) / 8;
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(form, WM_GETFONT, 0, 0));
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const HWND button = ::CreateWindowExW(
            0, L"BUTTON", Translate(buttons[i].text).c_str(), kButtonStyle, gap + static_cast<int>(i) * quarter,
            height - 33, kButtonWidth, 30, form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttons[i].id)),
            ::GetModuleHandleW(nullptr), nullptr);
        if (button && font) ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
}

void CCopperfoldView::SetUpTrees(int width, int height) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    imageList = ::ImageList_Create(TREE_ICON_WIDTH, TREE_ICON_WIDTH, ILC_COLOR4 | ILC_MASK, TREE_ICON_COUNT, 4);
    if (const HBITMAP strip = static_cast<HBITMAP>(
            ::LoadImageW(instance, MAKEINTRESOURCEW(IDB_TREE_ICONS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))) {
        ::ImageList_AddMasked(imageList, strip, TREE_ICON_TRANSPARENT);
        ::DeleteObject(strip);
    }

    const int middle = width / 2;
    struct TreeSetup {
        CColumnTreeCtrl& tree;
        int id;
        RECT place;  // left, top, width, height
        DWORD style;
        std::array<const wchar_t*, 3> headers;
        std::array<int, 3> widths;
        std::array<int, 3> formats;
    };
    const std::array<TreeSetup, 3> trees = {{
        {localTree, IDC_LOCAL_TREE, {3, 3, middle - 6, height - 156}, kDriveTreeStyle,
         {L"Local Disk", L"Size", L"Modify Date"}, {200, kDriveColumnMinimum, kDriveColumnMinimum}, {0x800, 1, 0}},
        {deviceTree, IDC_DEVICE_TREE, {middle + 3, 3, width - middle - 6, height - 156}, kDriveTreeStyle,
         {L"Copperfold Device", L"Size", L"Modify Date"}, {200, kDriveColumnMinimum, kDriveColumnMinimum}, {0x800, 1, 0}},
        {jobList, IDC_JOB_LIST, {0, height - 153, width, 117}, kJobListStyle,
         {L"Source Folder", L"Destination Folder", L"Job Type"}, {220, 220, kJobTypeColumnMinimum}, {0x800, 0, 0}},
    }};
    for (const TreeSetup& setup : trees) {
        if (const HWND placeholder = ::GetDlgItem(form, setup.id)) setup.tree.BindPlaceholder(placeholder);
        if (!setup.tree.Handle()) setup.tree.Create(form, RECT{0, 0, 1, 1}, setup.id);
        ::MoveWindow(setup.tree.Handle(), setup.place.left, setup.place.top, setup.place.right, setup.place.bottom, TRUE);
        const HWND inner = setup.tree.Tree();
        ::SetWindowLongPtrW(inner, GWL_STYLE, ::GetWindowLongPtrW(inner, GWL_STYLE) | setup.style);
        TreeView_SetImageList(inner, imageList, TVSIL_NORMAL);
        for (int column = 0; column < 3; ++column) {
            setup.tree.InsertColumn(column, Translate(setup.headers[column]), setup.formats[column], setup.widths[column]);
        }
    }
    // The sizes and dates show whole at the window's font: the widths above are minimums.
    for (CColumnTreeCtrl* tree : {&localTree, &deviceTree}) {
        const wchar_t digit = copperfold::WidestDigit([tree](std::wstring_view text) { return tree->TextWidth(text); });
        tree->FitColumn(1, kDriveColumnMinimum, copperfold::WidestSizeTexts(digit));
        tree->FitColumn(2, kDriveColumnMinimum, {copperfold::WidestDateText(digit)});
    }
    // The job type shows whole in every language ("Wiederherstellung" is twice "Backup").
    std::vector<std::wstring> typeNames;
    for (const std::wstring_view name : jobTypeNames) typeNames.push_back(Translate(name));
    jobList.FitColumn(2, kJobTypeColumnMinimum, typeNames);
    // A fourth column of the job list: what a job does beyond its type, as long as it can be.
    jobList.InsertColumn(3, Translate(L"Options"), 0, kOptionsColumnMinimum);
    JobRecord both(L"", L"", JobType::Backup);
    both.options = {1, copperfold::kMaxKeepDays};
    jobList.FitColumn(3, kOptionsColumnMinimum, {OptionsText(both)});
}

void CCopperfoldView::AppendJobRow(const JobRecord& job, int image, int selectedImage) {
    const std::wstring typeName = job.type == JobType::Unknown
                                      ? job.unknownTypeName
                                      : Translate(jobTypeNames[static_cast<std::size_t>(job.type)]);
    jobList.InsertRow(TVI_ROOT, TVI_LAST, {job.source, job.target, typeName, OptionsText(job)}, image, selectedImage);
}

std::wstring CCopperfoldView::OptionsText(const JobRecord& job) const {
    return copperfold::JobOptionsText(job, [this](std::wstring_view english) { return Translate(english); });
}

void CCopperfoldView::ShowJobOptions() {
    const HWND tree = jobList.Tree();
    const CCopperfoldDoc& document = services.document;
    const auto count = static_cast<int>(TreeView_GetCount(tree));
    int seen = 0;
    for (HTREEITEM row = TreeView_GetRoot(tree); row && seen < count; row = NextRow(tree, row), ++seen) {
        const std::wstring source = jobList.GetItemText(row, 0), target = jobList.GetItemText(row, 1);
        for (int i = 0; i < document.jobCount; ++i) {
            if (document.jobs[i].source != source || document.jobs[i].target != target) continue;
            jobList.SetItemText(row, 3, OptionsText(document.jobs[i]));
            break;
        }
    }
}

void CCopperfoldView::FillJobList() {
    const CCopperfoldDoc& document = services.document;
    for (int i = 0; i < document.jobCount; ++i) AppendJobRow(document.jobs[i], kFolderIcon, kOpenFolderIcon);
}

void CCopperfoldView::OnAdd() {
    const HTREEITEM source = TreeView_GetSelection(localTree.Tree());
    if (!source || ItemImage(localTree.Tree(), source, false) == kFileIcon) {
        ShowMessage(L"Please Select Source Directory!", L"Error Message", MB_ICONERROR);
        return;
    }
    const HTREEITEM target = TreeView_GetSelection(deviceTree.Tree());
    if (!target || ItemImage(deviceTree.Tree(), target, false) == kFileIcon) {
        ShowMessage(L"Please Select Destination Directory!", L"Error Message", MB_ICONERROR);
        return;
    }
    const std::wstring sourcePath = ItemPath(localTree, source);
    const std::wstring targetPath = ItemPath(deviceTree, target);
    CCopperfoldDoc& document = services.document;
    for (int i = 0; i < document.jobCount; ++i) {
        if (document.jobs[i].source == sourcePath && document.jobs[i].target == targetPath) {
            ShowMessage(L"The folder had already exist!", L"Prompt Message", MB_ICONINFORMATION);
            return;
        }
    }
    std::int32_t type = 0;
    CAddJobDialog dialog(services.translate, sourcePath, targetPath, &type);
    if (dialog.DoModal(form) != IDOK) return;

    JobRecord added(sourcePath, targetPath, static_cast<JobType>(type));
    added.options = dialog.ChosenOptions();
    try {
        // A target on a removable or USB drive is bound to that drive, wherever its letter goes.
        const std::uint32_t drive = targetPath.empty() ? 0 : 1u << ((targetPath[0] - L'A') & 31);
        added.binding =
            copperfold::BindingFor(targetPath, copperfold::ListMountedVolumes(document.deviceTable, drive, true));
        if (document.AddJob(added) == CCopperfoldDoc::AddResult::TableFull) {
            ShowMessage(kJobTableFullText, L"Error Message", MB_ICONERROR);
            return;
        }
    } catch (const CIniFileException& error) {
        // Not in the file, so not in the table and not in the list: it would be gone after a restart.
        ShowWriteFailure(error);
        return;
    }
    AppendJobRow(added, ItemImage(localTree.Tree(), source, false), ItemImage(localTree.Tree(), source, true));
}

void CCopperfoldView::OnRemove() {
    const HWND tree = jobList.Tree();
    std::vector<HTREEITEM> rows;
    const JobKeys ticked = TickedKeys(&rows);
    if (ticked.empty()) return;
    std::vector<copperfold::JobSchedule> schedulesBefore;
    try {
        services.document.RemoveJobs(ticked, [&](const CCopperfoldDoc& before) {
            schedulesBefore = copperfold::SchedulesOf(before);
        });
    } catch (const CIniFileException& error) {
        // Still in the file, so still listed: they would be back (and run) after a restart.
        ShowWriteFailure(error);
        return;
    }
    for (const HTREEITEM row : rows) TreeView_DeleteItem(tree, row);
    if (schedulesBefore.empty()) return;
    // The remaining jobs may have new numbers, and a schedule may have lost its jobs.
    copperfold::ScheduleTasks tasks(services.document, services.programPath, [this](std::wstring_view english) {
        return Translate(english);
    });
    if (const HRESULT error = tasks.Follow(schedulesBefore); FAILED(error)) {
        ShowMessage(copperfold::FilledText(Translate(kSchedulesNotFollowedText), {win32::ErrorCodeText(error)}),
                    L"Error Message", MB_ICONERROR, false);
    }
}

JobKeys CCopperfoldView::TickedKeys(std::vector<HTREEITEM>* rows) const {
    const HWND tree = jobList.Tree();
    JobKeys ticked;
    const auto count = static_cast<int>(TreeView_GetCount(tree));
    int seen = 0;
    for (HTREEITEM row = TreeView_GetRoot(tree); row && seen < count; row = NextRow(tree, row), ++seen) {
        if (!IsChecked(tree, row)) continue;
        ticked.emplace_back(jobList.GetItemText(row, 0), jobList.GetItemText(row, 1));
        if (rows) rows->push_back(row);
    }
    return ticked;
}

bool CCopperfoldView::TickedJobs(copperfold::JobBatch& batch, std::vector<int>* jobNumbers) {
    const HWND tree = jobList.Tree();
    const CCopperfoldDoc& document = services.document;
    batch.count = 0;
    if (jobNumbers) jobNumbers->clear();
    const auto rows = static_cast<int>(TreeView_GetCount(tree));
    int seen = 0;
    for (HTREEITEM row = TreeView_GetRoot(tree); row && seen < rows && batch.count < kMaxJobs;
         row = NextRow(tree, row), ++seen) {
        if (!IsChecked(tree, row)) continue;
        JobRecord& record = batch.entries[batch.count++];
        record = JobRecord(jobList.GetItemText(row, 0), jobList.GetItemText(row, 1), JobType::Unknown);
        int number = seen + 1;  // the rows stand in the job file's order
        for (int i = 0; i < document.jobCount; ++i) {
            if (document.jobs[i].source == record.source && document.jobs[i].target == record.target) {
                record = document.jobs[i];
                number = i + 1;
                break;
            }
        }
        if (jobNumbers) jobNumbers->push_back(number);
    }
    if (batch.count == 0) ShowMessage(L"Please Select Job(s)!", L"Error Message", MB_ICONERROR);
    return batch.count > 0;
}

void CCopperfoldView::OnExecute() {
    std::optional<CIniFileException> bindingFailure;
    const std::vector<copperfold::MountedVolume> volumes =
        copperfold::BindJobsToDrives(services.document, &bindingFailure);
    if (bindingFailure) ShowWriteFailure(*bindingFailure, copperfold::kBindingNotRecordedText);
    auto batch = std::make_unique<copperfold::JobBatch>();
    if (!TickedJobs(*batch)) return;
    copperfold::ResolveBatchTargets(*batch, volumes);
    RunBatch(form, *batch);
}

void CCopperfoldView::RunBatch(HWND owner, const copperfold::JobBatch& batch, copperfold::RunTrigger trigger) {
    if (runInProgress != 0) return;
    std::optional<copperfold::RunGate::Ticket> ticket;
    if (services.runGate) {
        copperfold::RunGate::Entry entry = services.runGate->TryEnter(&batch);
        if (!entry.ticket) {
            if (entry.refusal == copperfold::RunGate::Refusal::RunInAnotherProcess) {
                ShowMessage(kOtherRunText, L"Error Message", MB_ICONERROR);
            }
            return;
        }
        ticket = std::move(entry.ticket);
    }
    runInProgress = 1;
    // Logged like every run; the dialog is reachable through runDialog while it is open.
    copperfold::RunBatchInDialog(owner, batch, trigger, services.translate, &runDialog);
    runInProgress = 0;
}

bool CCopperfoldView::StopRun() {
    if (runInProgress == 0) return false;
    if (runDialog && runDialog->Handle()) ::PostMessageW(runDialog->Handle(), CExecDialog::kCancelRunMessage, 0, 0);
    return true;
}

void CCopperfoldView::EnableExecute(bool enabled) {
    ::EnableWindow(Button(IDC_EXECUTE_BUTTON), enabled ? TRUE : FALSE);
}

void CCopperfoldView::OnEnterKey() {
    const HWND focus = ::GetFocus();
    if (focus == jobList.Tree()) {
        OnExecute();
    } else if (focus == localTree.Tree() || focus == deviceTree.Tree()) {
        if (const HTREEITEM selected = TreeView_GetSelection(focus)) TreeView_Expand(focus, selected, TVE_TOGGLE);
    } else if (focus && ::GetParent(focus) == form && (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON)) {
        ::SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

void CCopperfoldView::OnDeleteKey() {
    // Delete on a ticked row removes the ticked rows, as Remove does, once the user agrees.
    const HWND tree = jobList.Tree();
    const HTREEITEM selected = TreeView_GetSelection(tree);
    if (!selected || !IsChecked(tree, selected)) return;
    if (::MessageBoxW(form, Translate(L"Remove the ticked jobs?").c_str(), Translate(L"Prompt Message").c_str(),
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    OnRemove();
}

std::wstring CCopperfoldView::AddStatusText() const {
    const auto chosenFolder = [this](const CColumnTreeCtrl& tree) {
        const HTREEITEM selected = TreeView_GetSelection(tree.Tree());
        if (!selected || ItemImage(tree.Tree(), selected, false) == kFileIcon) return std::optional<std::wstring>();
        return std::optional<std::wstring>(ItemPath(tree, selected));
    };
    const std::optional<std::wstring> source = chosenFolder(localTree);
    const std::optional<std::wstring> target = chosenFolder(deviceTree);
    if (!source && !target) return {};
    const std::wstring none = Translate(L"(no folder selected)");
    return copperfold::WithoutMnemonic(Translate(L"&Add")) + L": " + source.value_or(none) + L" -> " +
           target.value_or(none);
}

void CCopperfoldView::ShowAddStatus() {
    if (showStatus) showStatus(AddStatusText());
}

void CCopperfoldView::RememberFocus() {
    const HWND focus = ::GetFocus();
    if (focus && ::IsChild(form, focus)) lastFocus = focus;
}

void CCopperfoldView::TakeFocus() {
    const HWND target = lastFocus && ::IsWindow(lastFocus) && ::IsChild(form, lastFocus) ? lastFocus : localTree.Tree();
    if (target) ::SetFocus(target);
}

void CCopperfoldView::OnExit() {
    HWND main = ::GetAncestor(form, GA_ROOT);
    ::PostMessageW(main ? main : form, WM_CLOSE, 0, 0);
}
