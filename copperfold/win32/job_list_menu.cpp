// The job list's context menu and its commands: the preview of the ticked jobs, runs when a
// drive is plugged in, schedules, the jobs' options and their kept versions.
#include "copperfold_view.h"

#include <windowsx.h>

#include <array>
#include <memory>
#include <optional>

#include "common/core/ini_file.h"
#include "common/win32/system_info.h"
#include "common/win32/task_scheduler.h"
#include "common/win32/window.h"
#include "copperfold/core/job_options_text.h"
#include "copperfold/core/preflight.h"
#include "copperfold/core/preview.h"
#include "job_options_dialog.h"
#include "mounted_volumes.h"
#include "preview_dialog.h"
#include "resource.h"
#include "run_window.h"
#include "schedule_dialog.h"
#include "schedule_tasks.h"
#include "versions_dialog.h"

namespace {

// The job list's context menu, in its order.
struct JobListCommand {
    UINT id;
    const wchar_t* text;  // the English key
};
constexpr std::array<JobListCommand, 5> kJobListCommands = {{
    {ID_VIEW_PREVIEW, L"&Preview of the Ticked Jobs..."},
    {ID_JOBS_RUN_ON_ARRIVAL, L"&Run when this drive is plugged in"},
    {ID_JOBS_SCHEDULE, L"&Schedule..."},
    {ID_JOBS_OPTIONS, L"&Options..."},
    {ID_JOBS_VERSIONS, L"&Versions..."},
}};
// A key of the language sections; "%s" is the jobs' targets.
constexpr wchar_t kNotBoundText[] =
    L"Only a job whose target is on a removable drive or on an enclosure's drive can run when that drive is plugged "
    L"in, and Copperfold learns the drive when the job is added or first runs with the drive plugged in. Not marked: %s";

}  // namespace

void CCopperfoldView::PreviewTickedJobs() {
    auto batch = std::make_unique<copperfold::JobBatch>();
    std::vector<int> jobNumbers;
    if (!TickedJobs(*batch, &jobNumbers)) return;
    ResolveTargets(*batch);
    ShowPreview(form, *batch, jobNumbers);
}

void CCopperfoldView::ResolveTargets(copperfold::JobBatch& batch) const {
    if (copperfold::AnyBound(batch)) {
        copperfold::ResolveBatchTargets(batch, copperfold::ListMountedVolumes(services.document.deviceTable));
    }
}

bool CCopperfoldView::ShowPreview(HWND owner, const copperfold::JobBatch& batch, const std::vector<int>& jobNumbers,
                                  std::wstring_view confirm) {
    const HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    std::wstring text = copperfold::FormatPreview(copperfold::PreviewBatch(services.fileSystem, batch, jobNumbers));
    ::SetCursor(previous);
    // The totals first as well: the list of files can be long.
    if (const std::size_t totals = text.rfind(L"Total: "); totals != std::wstring::npos) {
        text = text.substr(totals) + L"\n" + text;
    }
    CPreviewDialog dialog(services.translate, std::move(text), confirm.empty() ? std::wstring() : Translate(confirm));
    return dialog.DoModal(owner) == IDOK && !confirm.empty();
}

void CCopperfoldView::ShowJobListMenu(LPARAM position) {
    win32::UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    const JobKeys ticked = TickedKeys();
    for (const JobListCommand& command : kJobListCommands) {
        UINT flags = MF_STRING;
        if (command.id == ID_JOBS_RUN_ON_ARRIVAL && !ticked.empty() && AllRunOnArrival(ticked)) flags |= MF_CHECKED;
        ::AppendMenuW(menu.get(), flags, command.id, Translate(command.text).c_str());
    }
    POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {  // from the keyboard (Shift+F10, the menu key): at the selected job
        RECT row{};
        const HTREEITEM selected = TreeView_GetSelection(jobList.Tree());
        if (!selected || !TreeView_GetItemRect(jobList.Tree(), selected, &row, TRUE)) ::GetClientRect(jobList.Tree(), &row);
        at = {row.left, row.bottom};
        ::ClientToScreen(jobList.Tree(), &at);
    } else {
        // A right click on a row selects it, as the commands for one job take the selected row.
        TVHITTESTINFO hit{};
        hit.pt = at;
        ::ScreenToClient(jobList.Tree(), &hit.pt);
        if (TreeView_HitTest(jobList.Tree(), &hit) && (hit.flags & TVHT_ONITEM)) TreeView_SelectItem(jobList.Tree(), hit.hItem);
    }
    const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                             at.x, at.y, 0, form, nullptr));
    switch (chosen) {
    case ID_VIEW_PREVIEW:
        PreviewTickedJobs();
        break;
    case ID_JOBS_RUN_ON_ARRIVAL:
        ToggleRunOnArrival();
        break;
    case ID_JOBS_SCHEDULE:
        ScheduleTickedJobs();
        break;
    case ID_JOBS_OPTIONS:
        SetOptionsOfJobs();
        break;
    case ID_JOBS_VERSIONS:
        ShowVersions();
        break;
    default:
        break;
    }
}

bool CCopperfoldView::AllRunOnArrival(const JobKeys& jobs) const {
    const CCopperfoldDoc& document = services.document;
    bool anyBound = false;
    for (int i = 0; i < document.jobCount; ++i) {
        const JobRecord& job = document.jobs[i];
        if (!job.binding || !IsOneOf(job, jobs)) continue;
        if (!job.runOnArrival) return false;
        anyBound = true;
    }
    return anyBound;
}

void CCopperfoldView::ToggleRunOnArrival() {
    const JobKeys ticked = TickedKeys();
    if (ticked.empty()) {
        ShowMessage(L"Please Select Job(s)!", L"Error Message", MB_ICONERROR);
        return;
    }
    // A job of an older file whose drive is plugged in learns its drive now.
    std::optional<CIniFileException> bindingFailure;
    copperfold::BindJobsToDrives(services.document, &bindingFailure);
    if (bindingFailure) ShowWriteFailure(*bindingFailure, copperfold::kBindingNotRecordedText);
    try {
        services.document.SetRunOnArrival(ticked, !AllRunOnArrival(ticked));
    } catch (const CIniFileException& error) {
        ShowWriteFailure(error);
        return;
    }
    std::wstring unbound;
    for (int i = 0; i < services.document.jobCount; ++i) {
        const JobRecord& job = services.document.jobs[i];
        if (job.binding || !IsOneOf(job, ticked)) continue;
        unbound += (unbound.empty() ? L"" : L", ") + job.target;
    }
    if (!unbound.empty()) {
        ShowMessage(copperfold::FilledText(Translate(kNotBoundText), {unbound}), L"Prompt Message", MB_ICONINFORMATION,
                    false);
    }
}

void CCopperfoldView::ScheduleTickedJobs() {
    copperfold::ScheduleTasks tasks(services.document, services.programPath, [this](std::wstring_view english) {
        return Translate(english);
    });
    if (!tasks.Connected()) {
        ShowMessage(copperfold::FilledText(Translate(L"The Task Scheduler cannot be reached: %s"),
                                           {win32::ErrorCodeText(tasks.ConnectError())}),
                    L"Error Message", MB_ICONERROR, false);
        return;
    }
    CScheduleDialog dialog(services.translate, services.document, tasks, TickedKeys());
    dialog.DoModal(form);
}

JobKeys CCopperfoldView::MenuJobs() const {
    JobKeys jobs = TickedKeys();
    if (jobs.empty()) {
        if (const HTREEITEM selected = TreeView_GetSelection(jobList.Tree())) {
            jobs.emplace_back(jobList.GetItemText(selected, 0), jobList.GetItemText(selected, 1));
        }
    }
    return jobs;
}

void CCopperfoldView::SetOptionsOfJobs() {
    const CCopperfoldDoc& document = services.document;
    const JobKeys jobs = MenuJobs();
    std::vector<int> numbers;
    const JobRecord* shown = nullptr;
    bool quickModeApplies = false;
    for (int i = 0; i < document.jobCount; ++i) {
        const JobRecord& job = document.jobs[i];
        if (!IsOneOf(job, jobs)) continue;
        numbers.push_back(i + 1);
        if (!shown) shown = &job;
        quickModeApplies = quickModeApplies || job.type != JobType::Sync;
    }
    if (!shown) {
        ShowMessage(L"Please Select Job(s)!", L"Error Message", MB_ICONERROR);
        return;
    }
    CJobOptionsDialog dialog(services.translate, numbers, *shown, quickModeApplies);
    if (dialog.DoModal(form) != IDOK) return;
    try {
        services.document.SetJobOptions(jobs, [&dialog](const JobRecord& job) {
            return copperfold::ChangedOptions(job, dialog.SkipSame(), dialog.KeepDays());
        });
    } catch (const CIniFileException& error) {
        ShowWriteFailure(error);  // the list shows what the file holds, below
    }
    ShowJobOptions();
}

void CCopperfoldView::ShowVersions() {
    const CCopperfoldDoc& document = services.document;
    // The selected job, else the first ticked one.
    JobKeys job = TickedKeys();
    if (const HTREEITEM selected = TreeView_GetSelection(jobList.Tree())) {
        job = {{jobList.GetItemText(selected, 0), jobList.GetItemText(selected, 1)}};
    }
    int number = 0;
    for (int i = 0; i < document.jobCount && number == 0 && !job.empty(); ++i) {
        if (IsOneOf(document.jobs[i], {job.front()})) number = i + 1;
    }
    if (number == 0) {
        ShowMessage(L"Please Select Job(s)!", L"Error Message", MB_ICONERROR);
        return;
    }
    // The versions of a job whose drive moved are where its drive is now.
    auto batch = std::make_unique<copperfold::JobBatch>();
    batch->entries[0] = document.jobs[number - 1];
    batch->count = 1;
    ResolveTargets(*batch);
    CVersionsDialog dialog(services.translate, services.fileSystem, batch->entries[0], number,
                           [this, number](HWND owner, const JobRecord& restore) {
                               RunVersionRestore(owner, restore, number);
                           });
    dialog.DoModal(form);
}

void CCopperfoldView::RunVersionRestore(HWND owner, const JobRecord& restore, int number) {
    auto batch = std::make_unique<copperfold::JobBatch>();
    batch->entries[0] = restore;
    batch->count = 1;
    if (ShowPreview(owner, *batch, {number}, L"&Restore")) RunBatch(owner, *batch, copperfold::RunTrigger::VersionsWindow);
}
