#include "job_options_dialog.h"

#include <utility>

#include "copperfold/core/job_schedule.h"
#include "copperfold/core/preflight.h"
#include "job_options_resource.h"

CJobOptionsDialog::CJobOptionsDialog(Translator translator, std::vector<int> numbers, const JobRecord& shown,
                                     bool quickMode)
    : Dialog(IDD_JOB_OPTIONS), translate(std::move(translator)), jobNumbers(std::move(numbers)),
      shownOptions(shown.options), shownSkipSame(shown.SkipsSame()), quickModeApplies(quickMode) {
    JobOptionsControls::RegisterClasses();
}

std::wstring CJobOptionsDialog::Tr(std::wstring_view english) const {
    // A text the language lacks shows in English: no label is ever blank.
    return translate ? translate(english, english) : std::wstring(english);
}

bool CJobOptionsDialog::OnInitDialog() {
    ::SetWindowTextW(Handle(), Tr(L"Job Options").c_str());
    SetItemText(IDC_OPTIONS_JOBS, copperfold::FilledText(Tr(jobNumbers.size() == 1 ? L"Options of job %s:"
                                                                                    : L"Options of the jobs %s:"),
                                                         {copperfold::JobNumbersText(jobNumbers)}));
    SetItemText(IDOK, Tr(L"&Ok"));
    SetItemText(IDCANCEL, Tr(L"&Cancel"));
    options.Init(Handle(), [this](std::wstring_view english) { return Tr(english); }, shownSkipSame,
                 shownOptions.keepDays);
    options.SetQuickModeApplies(quickModeApplies);
    ::SetFocus(::GetDlgItem(Handle(), quickModeApplies ? IDC_SKIP_SAME : IDC_KEEP_VERSIONS));
    return false;
}

bool CJobOptionsDialog::OnCommand(int id, int notifyCode) {
    if (options.OnCommand(id, notifyCode)) return true;
    if (id == IDOK) {
        const std::optional<std::uint32_t> days = options.ValidKeepDays();
        if (!days) return true;  // the user was told; the dialog stays open
        skipSame = options.SkipSame();
        keepDays = *days;
    }
    return Dialog::OnCommand(id, notifyCode);
}
