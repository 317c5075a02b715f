#include "add_job_dialog.h"

#include <array>
#include <utility>

#include "add_job_dialog_resource.h"
#include "copperfold/core/mnemonic_text.h"

namespace {

struct TypeButton {
    int id;
    JobType type;
};
constexpr std::array<TypeButton, 3> kTypeButtons = {{
    {IDC_BACKUP_TYPE, JobType::Backup},
    {IDC_SYNC_TYPE, JobType::Sync},
    {IDC_RESTORE_TYPE, JobType::Restore},
}};

}  // namespace

CAddJobDialog::CAddJobDialog(Translator translator, std::wstring source, std::wstring target, std::int32_t* type)
    : Dialog(IDD_ADD_JOB), translate(std::move(translator)), sourcePath(std::move(source)),
      targetPath(std::move(target)), jobType(type) {
    JobOptionsControls::RegisterClasses();
}

std::wstring CAddJobDialog::Translate(std::wstring_view english) const {
    // A text the language lacks shows in English rather than as an empty label.
    return translate ? translate(english, english) : std::wstring(english);
}

bool CAddJobDialog::OnInitDialog() {
    chosen.reset();
    chosenOptions = {};
    // The caption shows the command's name, not its keyboard mark.
    ::SetWindowTextW(Handle(), copperfold::WithoutMnemonic(Translate(L"&Add")).c_str());
    SetItemText(IDOK, Translate(L"&Ok"));
    ::EnableWindow(::GetDlgItem(Handle(), IDOK), FALSE);
    SetItemText(IDCANCEL, Translate(L"&Cancel"));
    SetItemText(IDC_SOURCE_LABEL, Translate(L"Source Folder"));
    SetItemText(IDC_TARGET_LABEL, Translate(L"Destination Folder"));
    SetItemText(IDC_SOURCE_PATH, sourcePath);
    SetItemText(IDC_TARGET_PATH, targetPath);
    SetItemText(IDC_BACKUP_TYPE, Translate(L"Backup - Copy file(s) from source directory to target directory"));
    SetItemText(IDC_RESTORE_TYPE, Translate(L"Restore - Copy file(s) from  target directory to source directory"));
    SetItemText(IDC_SYNC_TYPE, Translate(L"Sync - Make source directory and target directory data consistent"));
    for (const TypeButton& button : kTypeButtons) ::CheckDlgButton(Handle(), button.id, BST_UNCHECKED);
    KeepTypesReachable();
    options.Init(Handle(), [this](std::wstring_view english) { return Translate(english); }, false, 0);
    // The keyboard starts on the first type, so Space chooses it and Tab goes on from there.
    ::SetFocus(::GetDlgItem(Handle(), IDC_BACKUP_TYPE));
    return false;
}

void CAddJobDialog::KeepTypesReachable() {
    // A radio button drops its tab stop when it is unchecked; each type is a group of its own
    // here, so without the stop Tab would never reach an unchosen type.
    for (const TypeButton& button : kTypeButtons) {
        const HWND control = ::GetDlgItem(Handle(), button.id);
        ::SetWindowLongPtrW(control, GWL_STYLE, ::GetWindowLongPtrW(control, GWL_STYLE) | WS_TABSTOP);
    }
}

bool CAddJobDialog::OnCommand(int id, int notifyCode) {
    for (const TypeButton& button : kTypeButtons) {
        if (id == button.id) {
            if (notifyCode == BN_CLICKED) Choose(button.type);
            return true;
        }
    }
    if (options.OnCommand(id, notifyCode)) return true;
    if (id == IDOK) {
        if (!chosen) return true;  // OK is disabled until a type is chosen; so is Enter
        const std::optional<std::uint32_t> keepDays = options.ValidKeepDays();
        if (!keepDays) return true;  // the user was told; the dialog stays open
        chosenOptions.skipSame = *chosen != JobType::Sync && options.SkipSame() ? 1 : 0;
        chosenOptions.keepDays = *keepDays;
        if (jobType) *jobType = static_cast<std::int32_t>(*chosen);
    }
    return Dialog::OnCommand(id, notifyCode);
}

void CAddJobDialog::Choose(JobType type) {
    for (const TypeButton& button : kTypeButtons) {
        ::CheckDlgButton(Handle(), button.id, button.type == type ? BST_CHECKED : BST_UNCHECKED);
    }
    KeepTypesReachable();
    options.SetQuickModeApplies(type != JobType::Sync);
    ::EnableWindow(::GetDlgItem(Handle(), IDOK), TRUE);
    chosen = type;
}
