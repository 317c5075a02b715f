#include "schedule_dialog.h"

#include <commctrl.h>

#include <array>

#include "common/core/ini_file.h"
#include "copperfold/core/job_schedule.h"
#include "copperfold/core/preflight.h"
#include "copperfold/core/settings_store.h"
#include "schedule_dialog_resource.h"

namespace {

struct WeekdayBox {
    int id;
    std::uint8_t bit;
    const wchar_t* name;  // the English key
};
constexpr std::array<WeekdayBox, 7> kWeekdays = {{
    {IDC_SCHEDULE_MONDAY, common::kMonday, L"Mon"},
    {IDC_SCHEDULE_TUESDAY, common::kTuesday, L"Tue"},
    {IDC_SCHEDULE_WEDNESDAY, common::kWednesday, L"Wed"},
    {IDC_SCHEDULE_THURSDAY, common::kThursday, L"Thu"},
    {IDC_SCHEDULE_FRIDAY, common::kFriday, L"Fri"},
    {IDC_SCHEDULE_SATURDAY, common::kSaturday, L"Sat"},
    {IDC_SCHEDULE_SUNDAY, common::kSunday, L"Sun"},
}};
constexpr WORD kDefaultHour = 20;

}  // namespace

CScheduleDialog::CScheduleDialog(Translator translator, CCopperfoldDoc& doc, copperfold::ScheduleTasks& scheduleTasks,
                                 JobKeys tickedJobs)
    : Dialog(IDD_SCHEDULE), translate(std::move(translator)), document(doc), tasks(scheduleTasks),
      ticked(std::move(tickedJobs)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&controls);
}

std::wstring CScheduleDialog::Tr(std::wstring_view english) const {
    // A text the language lacks shows in English: no label is ever blank.
    return translate ? translate(english, english) : std::wstring(english);
}

void CScheduleDialog::ShowMessage(std::wstring_view text, UINT icon) const {
    const std::wstring caption = Tr(icon == MB_ICONERROR ? L"Error Message" : L"Prompt Message");
    ::MessageBoxW(Handle(), std::wstring(text).c_str(), caption.c_str(), MB_OK | icon);
}

void CScheduleDialog::ShowTaskError(std::wstring_view english, HRESULT error) const {
    ShowMessage(copperfold::FilledText(Tr(english), {win32::ErrorCodeText(error)}), MB_ICONERROR);
}

void CScheduleDialog::ShowWriteFailure(const CIniFileException& error) const {
    const auto translated = [this](std::wstring_view english) { return Tr(english); };
    ShowMessage(copperfold::WriteFailureText(error, copperfold::kNotSavedText, translated), MB_ICONERROR);
}

bool CScheduleDialog::OnInitDialog() {
    document.ReadJobs();  // a schedule set up from the command line meanwhile is listed too
    ::SetWindowTextW(Handle(), Tr(L"Schedule").c_str());
    std::vector<int> numbers;
    for (const auto& key : ticked) {
        for (int n = 1; n <= document.jobCount; ++n) {
            const JobRecord& job = document.jobs[static_cast<size_t>(n - 1)];
            if (job.source == key.first && job.target == key.second) numbers.push_back(n);
        }
    }
    SetItemText(IDC_SCHEDULE_JOBS, numbers.empty()
                                       ? Tr(L"No job is ticked: tick the jobs to schedule in the job list first.")
                                       : copperfold::FilledText(Tr(L"A new schedule for the ticked jobs %s:"),
                                                                {copperfold::JobNumbersText(numbers)}));
    SetItemText(IDC_SCHEDULE_DAILY, Tr(L"Every &day"));
    SetItemText(IDC_SCHEDULE_WEEKLY, Tr(L"On these &weekdays:"));
    for (const WeekdayBox& day : kWeekdays) SetItemText(day.id, Tr(day.name));
    SetItemText(IDC_SCHEDULE_TIME_LABEL, Tr(L"&Time:"));
    SetItemText(IDC_SCHEDULE_ADD, Tr(L"&Add Schedule"));
    SetItemText(IDC_SCHEDULE_LIST_LABEL, Tr(L"Sc&hedules of your jobs:"));
    SetItemText(IDC_SCHEDULE_REMOVE, Tr(L"&Remove Schedule"));
    SetItemText(IDCANCEL, Tr(L"&Close"));

    const HWND time = ::GetDlgItem(Handle(), IDC_SCHEDULE_TIME);
    ::SendMessageW(time, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(L"HH:mm"));
    SYSTEMTIME start{};
    ::GetLocalTime(&start);
    start.wHour = kDefaultHour;
    start.wMinute = start.wSecond = start.wMilliseconds = 0;
    ::SendMessageW(time, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&start));
    ::CheckRadioButton(Handle(), IDC_SCHEDULE_DAILY, IDC_SCHEDULE_WEEKLY, IDC_SCHEDULE_DAILY);
    if (numbers.empty()) {
        for (const int id : {IDC_SCHEDULE_DAILY, IDC_SCHEDULE_WEEKLY, IDC_SCHEDULE_TIME, IDC_SCHEDULE_ADD}) {
            ::EnableWindow(::GetDlgItem(Handle(), id), FALSE);
        }
    }
    EnableWeekdays();
    FillSchedules();
    const int first = numbers.empty() ? IDC_SCHEDULE_LIST : IDC_SCHEDULE_DAILY;
    ::SetFocus(::GetDlgItem(Handle(), first));
    return false;
}

void CScheduleDialog::EnableWeekdays() {
    const bool weekly = ::IsDlgButtonChecked(Handle(), IDC_SCHEDULE_WEEKLY) == BST_CHECKED &&
                        ::IsWindowEnabled(::GetDlgItem(Handle(), IDC_SCHEDULE_WEEKLY));
    for (const WeekdayBox& day : kWeekdays) ::EnableWindow(::GetDlgItem(Handle(), day.id), weekly ? TRUE : FALSE);
}

void CScheduleDialog::FillSchedules(int select) {
    const HWND list = ::GetDlgItem(Handle(), IDC_SCHEDULE_LIST);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    int selected = 0;
    const auto translateText = [this](std::wstring_view english) { return Tr(english); };
    for (const copperfold::JobSchedule& schedule : copperfold::SchedulesOf(document)) {
        std::wstring line = copperfold::FilledText(
            Tr(schedule.jobNumbers.size() == 1 ? L"Job %s: %s" : L"Jobs %s: %s"),
            {copperfold::JobNumbersText(schedule.jobNumbers), copperfold::ScheduleTimeText(schedule.time, translateText)});
        if (tasks.TaskExists(schedule.id) == false) line += L" " + Tr(L"(its task is missing from the Task Scheduler)");
        const auto at = ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        if (at < 0) continue;
        ::SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), schedule.id);
        if (schedule.id == select) selected = static_cast<int>(at);
    }
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    const bool any = ::SendMessageW(list, LB_GETCOUNT, 0, 0) > 0;
    const HWND remove = ::GetDlgItem(Handle(), IDC_SCHEDULE_REMOVE);
    if (!any && ::GetFocus() == remove) ::SetFocus(::GetDlgItem(Handle(), IDCANCEL));
    ::EnableWindow(remove, any ? TRUE : FALSE);
}

void CScheduleDialog::AddSchedule() {
    copperfold::ScheduleTime time;
    SYSTEMTIME chosen{};
    if (::SendMessageW(::GetDlgItem(Handle(), IDC_SCHEDULE_TIME), DTM_GETSYSTEMTIME, 0,
                       reinterpret_cast<LPARAM>(&chosen)) != GDT_VALID) {
        chosen.wHour = kDefaultHour;
    }
    time.hour = chosen.wHour;
    time.minute = chosen.wMinute;
    if (::IsDlgButtonChecked(Handle(), IDC_SCHEDULE_WEEKLY) == BST_CHECKED) {
        for (const WeekdayBox& day : kWeekdays) {
            if (::IsDlgButtonChecked(Handle(), day.id) == BST_CHECKED) time.weekdays |= day.bit;
        }
        if (time.weekdays == 0) {
            ShowMessage(Tr(L"Tick at least one weekday."), MB_ICONINFORMATION);
            ::SetFocus(::GetDlgItem(Handle(), IDC_SCHEDULE_MONDAY));
            return;
        }
    }
    copperfold::ScheduleTasks::Added added;
    try {
        added = tasks.Add(ticked, time);
    } catch (const CIniFileException& error) {
        ShowWriteFailure(error);
        return;
    }
    if (added.jobsGone) {
        ShowMessage(Tr(L"A ticked job is no longer in the job file (another Copperfold program changed it). Nothing was "
                       L"scheduled."),
                    MB_ICONERROR);
    } else if (added.existed) {
        ShowMessage(Tr(L"These jobs have this schedule already."), MB_ICONINFORMATION);
    } else if (FAILED(added.taskError)) {
        ShowTaskError(L"The schedule could not be set up in the Task Scheduler: %s", added.taskError);
    }
    FillSchedules(added.schedule ? added.schedule->id : 0);
}

void CScheduleDialog::RemoveSchedule() {
    const HWND list = ::GetDlgItem(Handle(), IDC_SCHEDULE_LIST);
    const auto at = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (at < 0) return;
    const int id = static_cast<int>(::SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(at), 0));
    try {
        if (const HRESULT error = tasks.Remove(id); FAILED(error)) {
            ShowTaskError(L"The schedule could not be removed from the Task Scheduler: %s", error);
        }
    } catch (const CIniFileException& error) {
        ShowWriteFailure(error);
    }
    FillSchedules();
}

bool CScheduleDialog::OnCommand(int id, int notifyCode) {
    switch (id) {
    case IDC_SCHEDULE_DAILY:
    case IDC_SCHEDULE_WEEKLY:
        if (notifyCode == BN_CLICKED) EnableWeekdays();
        return true;
    case IDC_SCHEDULE_ADD:
        if (notifyCode == BN_CLICKED) AddSchedule();
        return true;
    case IDC_SCHEDULE_REMOVE:
        if (notifyCode == BN_CLICKED) RemoveSchedule();
        return true;
    case IDOK:
        return true;  // Enter: nothing is done without its button
    default:
        return Dialog::OnCommand(id, notifyCode);
    }
}
