// "/schedule JOBS WHEN" and "/schedules": the schedules of the user's jobs from the command line,
// for administrators' scripts. What goes wrong goes to standard error; the exit status is 0 when
// it was done, 1 when the job file could not be written or the scheduler refused, 3 for bad
// arguments (a job number that names no job among them), 4 when the job file cannot be read.
#include "copperfold_app.h"

#include "command_line_report.h"
#include "common/win32/system_info.h"
#include "common/win32/task_scheduler.h"
#include "copperfold/core/job_schedule.h"
#include "schedule_tasks.h"

namespace {

using copperfold::RunExitCode;

int Status(RunExitCode code) { return static_cast<int>(code); }

// "2,5 daily 20:00  (task "Copperfold PC-alice 1")", as "/schedules" lists a schedule: the
// arguments that would set it up again, and its task.
std::wstring ScheduleLine(const copperfold::JobSchedule& schedule, const copperfold::ScheduleTasks& tasks) {
    std::wstring line = copperfold::JobNumberList(schedule.jobNumbers) + L" " +
                        copperfold::FormatScheduleTime(schedule.time) + L"  (task \"" + tasks.TaskName(schedule.id) +
                        L"\"";
    if (tasks.TaskExists(schedule.id) == false) line += L" is missing from the Task Scheduler";
    return line + L")\r\n";
}

}  // namespace

std::optional<RunExitCode> CCopperfoldApp::ReadJobsForCommand(CCopperfoldDoc& document) {
    if (const auto problem = ReadCommandLineJobs(document); problem && problem->code != RunExitCode::NoJobs) {
        ReportCommandLineError(problem->reason, true);
        return problem->code;
    }
    return std::nullopt;
}

int CCopperfoldApp::ScheduleFromCommandLine(const copperfold::CommandLine& command) {
    if (!StartCommon(true)) return Status(RunExitCode::CopyFailed);
    TakeOverOldJobs(true);
    CCopperfoldDoc document(&settings->UserFile(), jobSection);
    if (const auto problem = ReadJobsForCommand(document)) return Status(*problem);
    JobKeys jobs;
    for (const int number : command.jobNumbers) {
        if (number > document.jobCount) {
            ReportCommandLineError(L"There is no job " + std::to_wstring(number) + L": the job file holds " +
                                       std::to_wstring(document.jobCount) + L" job(s) for this user.",
                                   true);
            return Status(RunExitCode::BadArguments);
        }
        const JobRecord& job = document.jobs[static_cast<size_t>(number - 1)];
        jobs.emplace_back(job.source, job.target);
    }
    copperfold::ScheduleTasks tasks(document, programPath,
                                    [this](std::wstring_view english) { return Translate(english, english); });
    if (!tasks.Connected()) {
        ReportCommandLineError(L"The Task Scheduler cannot be reached: " + win32::ErrorCodeText(tasks.ConnectError()), true);
        return Status(RunExitCode::CopyFailed);
    }
    try {
        if (!command.scheduleTime) {
            if (const HRESULT error = tasks.Leave(jobs); FAILED(error)) {
                ReportCommandLineError(L"The jobs left their schedules, but the Task Scheduler could not be told: " +
                                           win32::ErrorCodeText(error),
                                       true);
                return Status(RunExitCode::CopyFailed);
            }
            return Status(RunExitCode::AllDone);
        }
        const copperfold::ScheduleTasks::Added added = tasks.Add(jobs, *command.scheduleTime);
        if (added.jobsGone) {
            ReportCommandLineError(L"Another Copperfold program changed the jobs meanwhile; nothing was scheduled.", true);
            return Status(RunExitCode::CopyFailed);
        }
        if (FAILED(added.taskError)) {
            ReportCommandLineError(
                L"The schedule could not be set up in the Task Scheduler: " + win32::ErrorCodeText(added.taskError), true);
            return Status(RunExitCode::CopyFailed);
        }
        if (added.schedule) WriteStandardOutput(ScheduleLine(*added.schedule, tasks));
    } catch (const CIniFileException& error) {
        ReportCommandLineError(copperfold::WriteFailureText(error, copperfold::kNotSavedText), true);
        return Status(RunExitCode::CopyFailed);
    }
    return Status(RunExitCode::AllDone);
}

int CCopperfoldApp::ListSchedulesFromCommandLine() {
    if (!StartCommon(true)) return Status(RunExitCode::CopyFailed);
    TakeOverOldJobs(true);
    CCopperfoldDoc document(&settings->UserFile(), jobSection);
    if (const auto problem = ReadJobsForCommand(document)) return Status(*problem);
    const copperfold::ScheduleTasks tasks(document, programPath);
    std::wstring lines;
    for (const copperfold::JobSchedule& schedule : copperfold::SchedulesOf(document)) lines += ScheduleLine(schedule, tasks);
    if (!lines.empty()) WriteStandardOutput(lines);
    return Status(RunExitCode::AllDone);
}
