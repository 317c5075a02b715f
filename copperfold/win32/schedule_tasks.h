#pragma once
// The schedules of a user's jobs (copperfold/core/job_schedule.h) as tasks of the system's task
// scheduler, and the changes that keep the jobs' keys and the tasks together: the jobs' keys are
// changed under the job file's update lock, then the tasks follow. A task the scheduler refuses
// is reported by its HRESULT; a job file that cannot be written throws CIniFileException.
//
// The tasks lie in the scheduler's root folder, not in setup's "\Copperfold": that folder is an
// administrator's, and a standard user may not add tasks to it, while every user may register
// tasks that run as themselves in the root folder. Their names carry the computer and user name
// and the schedule's number, so users' tasks never meet.
//
// COM must be initialised on the calling thread (the program does so at start).

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/win32/task_scheduler.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/job_schedule.h"
#include "copperfold/core/settings_store.h"

namespace copperfold {

inline constexpr wchar_t kScheduleTaskFolder[] = L"\\";

class ScheduleTasks {
public:
    // The schedules of `document`'s jobs, whose tasks start `program`; the tasks' descriptions
    // are translated by `translate`.
    ScheduleTasks(CCopperfoldDoc& document, std::wstring program, TextTranslator translate = nullptr);

    bool Connected() const { return scheduler.Connected(); }
    HRESULT ConnectError() const { return scheduler.ConnectError(); }
    std::wstring TaskName(int id) const;
    // What is registered for `schedule` when it is registered now.
    common::ScheduledTask TaskFor(const JobSchedule& schedule) const;
    // Whether the scheduler holds the task of schedule `id`; nothing when it cannot tell.
    std::optional<bool> TaskExists(int id) const;

    struct Added {
        HRESULT taskError = S_OK;
        std::optional<JobSchedule> schedule;  // the new schedule, or the one these jobs had already
        bool existed = false;                 // these jobs had exactly this schedule already
        bool jobsGone = false;                // a job is no longer in the file: nothing was changed
    };
    // A schedule of these jobs at `time`: the jobs carry it, then its task is registered. When
    // the scheduler refuses the task the jobs lose the schedule again.
    Added Add(const JobKeys& jobs, const ScheduleTime& time);
    // Schedule `id` ends: its task is removed, then no job carries it (a task the scheduler
    // refuses to remove leaves the schedule as it was).
    HRESULT Remove(int id);
    // These jobs leave every schedule: a schedule left without jobs goes with its task, the
    // others' tasks are registered again for the jobs they keep.
    HRESULT Leave(const JobKeys& jobs);
    // After jobs were removed or re-numbered (`before`: the schedules of the table just before):
    // every schedule whose jobs' numbers changed is registered again, and every task of a
    // schedule no job carries any more is removed. The first failure; the others are tried.
    HRESULT Follow(const std::vector<JobSchedule>& before);

private:
    HRESULT Register(const JobSchedule& schedule);
    // No job carries schedule `id` any more (its task is left alone).
    void ForgetSchedule(int id);

    CCopperfoldDoc& document;
    std::wstring program;
    TextTranslator translate;
    std::wstring userSid;
    win32::TaskScheduler scheduler;
};

}  // namespace copperfold
