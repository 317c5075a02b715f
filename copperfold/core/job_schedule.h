#pragma once
// Schedules of a user's jobs. A schedule is one task of the system's task scheduler that runs
// "Copperfold.exe /run N,... /scheduled ID" as that user, with the user's ordinary rights, every
// day or on chosen weekdays at a time of day, and as soon as possible after a start that was
// missed (the machine was off, the user not logged on).
//
// The jobs carry their schedules: the job key "Schedule%04d" lists the schedules the job belongs
// to, each as its number and its time ("1 daily 20:00; 3 weekly Mon,Thu 06:30"). A schedule thus
// moves with its jobs when jobs are removed or re-numbered, and a scheduled run finds its jobs by
// the schedule's number even when its task still names their old numbers. The task of schedule
// ID lies in the scheduler's root folder, named "Copperfold <job section> <ID>": every user may
// register tasks there, and the section (computer and user name) keeps each user's names apart.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../../common/core/scheduled_task.h"
#include "copperfold_doc.h"
#include "settings_store.h"

namespace copperfold {

// When a schedule starts its run: every day, or on some weekdays, at a local time of day.
struct ScheduleTime {
    std::uint8_t weekdays = 0;  // common::Weekday bits; 0: every day
    int hour = 0;
    int minute = 0;
    bool operator==(const ScheduleTime&) const = default;
};

// "daily 20:00" or "weekly Mon,Thu 20:00", as the command line takes it and the job file keeps it
// (the words and day names in English, without regard to case; "Monday" as well as "Mon"; the
// hour with one digit or two). Nothing for anything else.
std::optional<ScheduleTime> ParseScheduleTime(std::wstring_view text);
// The same text as the file keeps it: "daily 20:00", "weekly Mon,Thu 06:30" (Monday first).
std::wstring FormatScheduleTime(const ScheduleTime& time);

inline constexpr int kMaxScheduleId = 999;

struct JobSchedule {
    int id = 0;  // 1 ... kMaxScheduleId
    ScheduleTime time;
    std::vector<int> jobNumbers;  // numbered from 1, in table order
};

// The schedules a "Schedule%04d" value names, in its order; a part that is no schedule (a newer
// version's, a hand-written mistake) is left out here and kept by the two edits below.
struct ScheduleEntry {
    int id = 0;
    ScheduleTime time;
};
std::vector<ScheduleEntry> ScheduleEntries(std::wstring_view value);
// The value with schedule `id` added (or its time replaced), and with it removed.
std::wstring WithSchedule(std::wstring_view value, int id, const ScheduleTime& time);
std::wstring WithoutSchedule(std::wstring_view value, int id);

// Every schedule the document's jobs carry, by number; a schedule's time is its first job's.
std::vector<JobSchedule> SchedulesOf(const CCopperfoldDoc& doc);
const JobSchedule* FindSchedule(const std::vector<JobSchedule>& schedules, int id);

// "2,5" (as the command line takes them) and "2, 5" (as a person reads them).
std::wstring JobNumberList(const std::vector<int>& numbers);
std::wstring JobNumbersText(const std::vector<int>& numbers);
// "every day at 20:00", "on Mon, Thu at 20:00": the English keys (the phrases and the day names)
// through `translate` when given.
std::wstring ScheduleTimeText(const ScheduleTime& time, const TextTranslator& translate = nullptr);

// The task: its name in the scheduler's root folder, the arguments of the run it starts, and its
// whole definition: run as `userId` (a SID) with that user's ordinary rights while the user is
// logged on, first at `startTime` (see NextStartTime), late rather than never.
std::wstring ScheduleTaskName(std::wstring_view jobSection, int id);
std::wstring ScheduledRunArguments(const JobSchedule& schedule);
common::ScheduledTask ScheduleTaskDefinition(const JobSchedule& schedule, std::wstring_view program,
                                             std::wstring_view userId, std::wstring_view startTime,
                                             std::wstring description);

// The first time at `hour`:`minute` after the local time `now` (today or tomorrow), in the
// scheduler's form. A start in the past would make the scheduler run a task that starts as soon
// as possible after a missed time at once.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};
std::optional<std::wstring> NextStartTime(const LocalTime& now, int hour, int minute);

}  // namespace copperfold
