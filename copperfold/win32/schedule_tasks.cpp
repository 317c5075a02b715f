#include "schedule_tasks.h"

#include <algorithm>

#include "common/core/ini_file.h"
#include "common/win32/system_info.h"
#include "copperfold/core/preflight.h"

namespace copperfold {
namespace {

// What the scheduler's own window shows of the task (a key of the language sections).
constexpr std::wstring_view kTaskDescription = L"Copperfold runs the jobs %s of %s %s (%s).";

LocalTime Now() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}

// The numbers (from 1) of these jobs in the table, in table order; nothing when one is missing.
std::optional<std::vector<int>> NumbersOf(const CCopperfoldDoc& doc, const JobKeys& jobs) {
    std::vector<int> numbers;
    for (const auto& key : jobs) {
        const auto found = std::find_if(doc.jobs.begin(), doc.jobs.begin() + doc.jobCount, [&](const JobRecord& job) {
            return job.source == key.first && job.target == key.second;
        });
        if (found == doc.jobs.begin() + doc.jobCount) return std::nullopt;
        numbers.push_back(static_cast<int>(found - doc.jobs.begin()) + 1);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

}  // namespace

ScheduleTasks::ScheduleTasks(CCopperfoldDoc& doc, std::wstring programPath, TextTranslator translator)
    : document(doc), program(std::move(programPath)), translate(std::move(translator)),
      userSid(win32::CurrentUserSid()) {}

std::wstring ScheduleTasks::TaskName(int id) const { return ScheduleTaskName(document.jobSection, id); }

common::ScheduledTask ScheduleTasks::TaskFor(const JobSchedule& schedule) const {
    const std::wstring shown = translate ? translate(kTaskDescription) : std::wstring(kTaskDescription);
    const std::wstring description = FilledText(shown, {JobNumbersText(schedule.jobNumbers), document.jobSection,
                                                        ScheduleTimeText(schedule.time, translate), program});
    const std::wstring start = NextStartTime(Now(), schedule.time.hour, schedule.time.minute).value_or(L"");
    // Named by the user's SID, the task runs as this user while they are logged on, never elevated.
    return ScheduleTaskDefinition(schedule, program, userSid.empty() ? win32::UserName() : userSid, start, description);
}

std::optional<bool> ScheduleTasks::TaskExists(int id) const {
    HRESULT error = S_OK;
    if (scheduler.RegisteredXml(kScheduleTaskFolder, TaskName(id), &error)) return true;
    if (error == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return false;
    return std::nullopt;
}

HRESULT ScheduleTasks::Register(const JobSchedule& schedule) {
    return scheduler.Register(kScheduleTaskFolder, TaskName(schedule.id), TaskFor(schedule));
}

ScheduleTasks::Added ScheduleTasks::Add(const JobKeys& jobs, const ScheduleTime& time) {
    Added added;
    document.ModifyJobs([&](CCopperfoldDoc& doc) {
        const auto numbers = NumbersOf(doc, jobs);
        if (!numbers || numbers->empty()) {
            added.jobsGone = true;
            return false;
        }
        const std::vector<JobSchedule> schedules = SchedulesOf(doc);
        for (const JobSchedule& schedule : schedules) {
            if (schedule.time == time && schedule.jobNumbers == *numbers) {
                added.existed = true;
                added.schedule = schedule;
                return false;
            }
        }
        // A number no job carries whose task is not there either (another copy of the program,
        // with a job file of its own, may use it).
        int id = 1;
        while (id < kMaxScheduleId && (FindSchedule(schedules, id) || TaskExists(id).value_or(false))) ++id;
        for (const int n : *numbers) {
            JobRecord& job = doc.jobs[static_cast<size_t>(n - 1)];
            job.schedules = WithSchedule(job.schedules, id, time);
            doc.WriteJob(n);
        }
        added.schedule = JobSchedule{id, time, *numbers};
        return true;
    });
    if (!added.schedule || added.existed) return added;
    added.taskError = Register(*added.schedule);
    if (FAILED(added.taskError)) {
        // Without its task the schedule would only seem to exist.
        ForgetSchedule(added.schedule->id);
    }
    return added;
}

HRESULT ScheduleTasks::Remove(int id) {
    const HRESULT removed = scheduler.Remove(kScheduleTaskFolder, TaskName(id));
    if (FAILED(removed)) return removed;
    ForgetSchedule(id);
    return S_OK;
}

void ScheduleTasks::ForgetSchedule(int id) {
    document.ModifyJobs([&](CCopperfoldDoc& doc) {
        bool changed = false;
        for (int n = 1; n <= doc.jobCount; ++n) {
            JobRecord& job = doc.jobs[static_cast<size_t>(n - 1)];
            const std::wstring kept = WithoutSchedule(job.schedules, id);
            if (kept == job.schedules) continue;
            job.schedules = kept;
            doc.WriteJob(n);
            changed = true;
        }
        return changed;
    });
}

HRESULT ScheduleTasks::Leave(const JobKeys& jobs) {
    std::vector<JobSchedule> before;
    document.ModifyJobs([&](CCopperfoldDoc& doc) {
        before = SchedulesOf(doc);
        bool changed = false;
        for (int n = 1; n <= doc.jobCount; ++n) {
            JobRecord& job = doc.jobs[static_cast<size_t>(n - 1)];
            if (job.schedules.empty() || !IsOneOf(job, jobs)) continue;
            for (const ScheduleEntry& entry : ScheduleEntries(job.schedules)) {
                job.schedules = WithoutSchedule(job.schedules, entry.id);
            }
            doc.WriteJob(n);
            changed = true;
        }
        return changed;
    });
    return Follow(before);
}

HRESULT ScheduleTasks::Follow(const std::vector<JobSchedule>& before) {
    const std::vector<JobSchedule> after = SchedulesOf(document);
    HRESULT first = S_OK;
    for (const JobSchedule& old : before) {
        const JobSchedule* now = FindSchedule(after, old.id);
        HRESULT result = S_OK;
        if (!now) {
            result = scheduler.Remove(kScheduleTaskFolder, TaskName(old.id));
        } else if (now->jobNumbers != old.jobNumbers || !(now->time == old.time)) {
            result = Register(*now);
        }
        if (FAILED(result) && SUCCEEDED(first)) first = result;
    }
    return first;
}

}  // namespace copperfold
