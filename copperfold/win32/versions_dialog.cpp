#include "versions_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <utility>

#include "common/win32/window.h"
#include "copperfold/core/copy_engine.h"
#include "copperfold/core/preflight.h"
#include "copperfold/core/run_log.h"
#include "versions_dialog_resource.h"

namespace {

struct ListColumn {
    const wchar_t* title;  // the English key
    int percent;           // of the list's width, which the template sets in dialog units
    int format;
};
constexpr std::array<ListColumn, 4> kColumns = {{
    {L"Side", 20, LVCFMT_LEFT},
    {L"Run started", 40, LVCFMT_LEFT},
    {L"Files", 15, LVCFMT_RIGHT},
    {L"Size", 21, LVCFMT_RIGHT},  // in bytes
}};

}  // namespace

CVersionsDialog::CVersionsDialog(Translator translator, copperfold::FileSystem& fileSystem, JobRecord shownJob,
                                 int jobNumber, RestoreRunner runner)
    : Dialog(IDD_VERSIONS), translate(std::move(translator)), files(fileSystem), job(std::move(shownJob)),
      number(jobNumber), runRestore(std::move(runner)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
}

std::wstring CVersionsDialog::Tr(std::wstring_view english) const {
    // A text the language lacks shows in English: no label is ever blank.
    return translate ? translate(english, english) : std::wstring(english);
}

HWND CVersionsDialog::List() const { return ::GetDlgItem(Handle(), IDC_VERSIONS_LIST); }

bool CVersionsDialog::OnInitDialog() {
    ::SetWindowTextW(Handle(), Tr(L"Kept Versions").c_str());
    std::wstring heading = copperfold::FilledText(
        Tr(L"Job %s (%s): %s -> %s"), {std::to_wstring(number), Tr(job.TypeName()), job.source, job.target});
    heading += L"\r\n";
    heading += job.options.keepDays > 0
                   ? copperfold::FilledText(Tr(job.options.keepDays == 1 ? L"Replaced files are kept for 1 day."
                                                                         : L"Replaced files are kept for %s days."),
                                            {std::to_wstring(job.options.keepDays)})
                   : Tr(L"This job does not keep the files it replaces (Options... on the job list's menu).");
    SetItemText(IDC_VERSIONS_JOB, heading);
    SetItemText(IDC_VERSIONS_RESTORE, Tr(L"&Restore..."));
    SetItemText(IDC_VERSIONS_RESTORE_FILE, Tr(L"Restore One &File..."));
    SetItemText(IDCANCEL, Tr(L"&Close"));
    SetUpList();
    Fill();
    ::SetFocus(rows.empty() ? ::GetDlgItem(Handle(), IDCANCEL) : List());
    return false;
}

void CVersionsDialog::SetUpList() {
    const HWND list = List();
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    RECT client{};
    ::GetClientRect(list, &client);
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        const std::wstring title = Tr(kColumns[i].title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = kColumns[i].format;
        column.cx = client.right * kColumns[i].percent / 100;
        column.pszText = const_cast<wchar_t*>(title.c_str());
        ListView_InsertColumn(list, static_cast<int>(i), &column);
    }
}

void CVersionsDialog::Fill(copperfold::JobSide side, std::wstring_view select) {
    rows.clear();
    stores.clear();
    JobRecord listed = job;
    listed.source = files.FullPath(job.source);
    listed.target = files.FullPath(job.target);
    for (const copperfold::SideVersions& sideVersions : copperfold::ListVersions(files, listed)) {
        stores.push_back(sideVersions.store);
        for (const copperfold::VersionFolder& version : sideVersions.versions) {
            rows.push_back({sideVersions.side, copperfold::JoinPath(sideVersions.store, version.name), version});
        }
    }
    // The newest first. Each side's list is oldest first, and of two folders of the same second
    // the one with the higher sequence number (" (2)") came later: reversed, then ordered by time.
    std::reverse(rows.begin(), rows.end());
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.version.time > b.version.time; });

    const HWND list = List();
    ListView_DeleteAllItems(list);
    int selected = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const std::wstring texts[] = {Tr(row.side == copperfold::JobSide::Source ? L"Source side" : L"Target side"),
                                      row.version.name, copperfold::GroupedNumber(row.version.files),
                                      copperfold::GroupedNumber(row.version.bytes)};
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(texts[0].c_str());
        const int at = ListView_InsertItem(list, &item);
        if (at < 0) continue;
        for (int column = 1; column < static_cast<int>(std::size(texts)); ++column) {
            ListView_SetItemText(list, at, column, const_cast<wchar_t*>(texts[column].c_str()));
        }
        if (row.side == side && row.version.name == select) selected = at;
    }
    SetItemText(IDC_VERSIONS_LIST_LABEL, rows.empty() ? Tr(L"There are no kept versions of this job.")
                                                      : Tr(L"Kept &versions, the newest first:"));
    if (!rows.empty()) {
        ListView_SetItemState(list, selected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, selected, FALSE);
    }
    ShowSelected();
}

const CVersionsDialog::Row* CVersionsDialog::Selected() const {
    const int at = ListView_GetNextItem(List(), -1, LVNI_SELECTED);
    return at >= 0 && static_cast<std::size_t>(at) < rows.size() ? &rows[static_cast<std::size_t>(at)] : nullptr;
}

void CVersionsDialog::ShowSelected() {
    const Row* row = Selected();
    std::wstring where;
    for (const std::wstring& store : stores) where += (where.empty() ? L"" : L", ") + store;
    SetItemText(IDC_VERSIONS_FOLDER, row ? copperfold::FilledText(Tr(L"Folder: %s"), {row->folder})
                                         : copperfold::FilledText(Tr(L"Versions are kept in %s."), {where}));
    for (const int id : {IDC_VERSIONS_RESTORE, IDC_VERSIONS_RESTORE_FILE}) {
        const HWND button = ::GetDlgItem(Handle(), id);
        if (!row && ::GetFocus() == button) ::SetFocus(::GetDlgItem(Handle(), IDCANCEL));
        ::EnableWindow(button, row ? TRUE : FALSE);
    }
}

void CVersionsDialog::Restore(bool oneFile) {
    const Row* selected = Selected();
    if (!selected) return;
    const Row row = *selected;  // the list is filled again below
    std::wstring file;
    if (oneFile) {
        const std::optional<std::wstring> chosen = ChooseFile(row);
        if (!chosen) return;
        file = *chosen;
    }
    JobRecord restore;
    const copperfold::JobRefusal refusal = copperfold::MakeVersionRestore(job, row.side, row.version.name, file, restore);
    if (refusal.Refused()) {
        ::MessageBoxW(Handle(), copperfold::FilledText(Tr(refusal.text), refusal.arguments).c_str(),
                      Tr(L"Error Message").c_str(), MB_OK | MB_ICONERROR);
        return;
    }
    if (runRestore) runRestore(Handle(), restore);
    Fill(row.side, row.version.name);
}

std::optional<std::wstring> CVersionsDialog::ChooseFile(const Row& row) {
    std::wstring path(32768, L'\0');
    const std::wstring title = Tr(L"Restore One File");
    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = Handle();
    choice.lpstrFile = path.data();
    choice.nMaxFile = static_cast<DWORD>(path.size());
    choice.lpstrInitialDir = row.folder.c_str();
    choice.lpstrTitle = title.c_str();
    choice.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_DONTADDTORECENT |
                   OFN_FORCESHOWHIDDEN | OFN_EXPLORER;
    if (!::GetOpenFileNameW(&choice)) return std::nullopt;
    path.resize(path.find(L'\0'));
    if (std::optional<std::wstring> file = copperfold::PathInVersion(row.folder, path)) return file;
    ::MessageBoxW(Handle(),
                  copperfold::FilledText(Tr(L"%s is not in the version's folder %s. Nothing was restored."),
                                         {path, row.folder})
                      .c_str(),
                  Tr(L"Error Message").c_str(), MB_OK | MB_ICONERROR);
    return std::nullopt;
}

bool CVersionsDialog::OnCommand(int id, int notifyCode) {
    switch (id) {
    case IDC_VERSIONS_RESTORE:
    case IDC_VERSIONS_RESTORE_FILE:
        if (notifyCode == BN_CLICKED) Restore(id == IDC_VERSIONS_RESTORE_FILE);
        return true;
    case IDOK:
        return true;  // Enter with Restore disabled: nothing to do
    default:
        return Dialog::OnCommand(id, notifyCode);
    }
}

bool CVersionsDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, INT_PTR& result) {
    // Only the dialog's own list: another program can send WM_NOTIFY with any address.
    if (message != WM_NOTIFY || win32::SentByAnotherThread() || lParam == 0) return false;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->hwndFrom != List() || header->code != LVN_ITEMCHANGED) return false;
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
    if ((change->uChanged & LVIF_STATE) != 0 && ((change->uNewState ^ change->uOldState) & LVIS_SELECTED) != 0) {
        ShowSelected();
    }
    result = 0;
    return true;
}
