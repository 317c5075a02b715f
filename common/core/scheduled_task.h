#pragma once
// A task of the system's task scheduler, described without the platform: when it starts (at a
// logon, daily, weekly), the program it runs, as whom and with which rights, and how it behaves
// when a start is missed; and the task's XML text in the scheduler's own format (version 1.2),
// which the Windows half (common/win32/task_scheduler.h) registers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace common {

// The machine's users (BUILTIN\Users, whatever the system's language calls the group).
inline constexpr wchar_t kUsersGroupSid[] = L"S-1-5-32-545";

// At the logon of a user the principal covers.
struct LogonTrigger {
    std::wstring userId;  // only this user's logon; empty: any user's
};

// Local times are "YYYY-MM-DDThh:mm:ss" (see TaskStartTime); the first start is the start's time
// on its day, the later ones at the same time of day.
struct DailyTrigger {
    std::wstring start;
    int everyDays = 1;  // 1 ... 365
};

enum Weekday : std::uint8_t {
    kSunday = 0x01,
    kMonday = 0x02,
    kTuesday = 0x04,
    kWednesday = 0x08,
    kThursday = 0x10,
    kFriday = 0x20,
    kSaturday = 0x40,
};

struct WeeklyTrigger {
    std::wstring start;
    std::uint8_t days = 0;  // Weekday bits, at least one
    int everyWeeks = 1;     // 1 ... 52
};

using TaskTrigger = std::variant<LogonTrigger, DailyTrigger, WeeklyTrigger>;

enum class TaskRunLevel {
    Normal,   // the user's ordinary rights, never elevated
    Highest,  // elevated where the user can be (an administrator under UAC)
};

// Exactly one of the two names: a group (its SID) whose every member the task runs for, or one
// user, for whom it runs only while that user is logged on (no password is stored).
struct TaskPrincipal {
    std::wstring groupId;
    std::wstring userId;
    TaskRunLevel runLevel = TaskRunLevel::Normal;
};

struct TaskAction {
    std::wstring program;  // a full path
    std::wstring arguments;
    std::wstring workingDirectory;  // empty: the scheduler's default
};

struct ScheduledTask {
    std::wstring author;
    std::wstring description;
    std::vector<TaskTrigger> triggers;  // at least one
    TaskAction action;
    TaskPrincipal principal;
    // A start that was missed (the machine was off, the user not logged on) happens as soon as
    // possible afterwards.
    bool startWhenAvailable = false;
    // "PT0S" lets the program run as long as it likes (a program that stays open must); else an
    // XML duration such as "PT72H", after which the scheduler ends it.
    std::wstring timeLimit = L"PT0S";
};

// "YYYY-MM-DDThh:mm:ss" for a local time; nothing for a date or time that does not exist.
std::optional<std::wstring> TaskStartTime(int year, int month, int day, int hour, int minute);

// The task's XML text; nothing when the description cannot be a task: no trigger, no program,
// not exactly one principal name, an interval or start time out of range, a weekly trigger
// without days, or a text with a character XML cannot hold.
std::optional<std::wstring> TaskXml(const ScheduledTask& task);

}  // namespace common
