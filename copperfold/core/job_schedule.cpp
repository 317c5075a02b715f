#include "job_schedule.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "../../common/core/case_fold.h"
#include "../../common/version.h"
#include "preflight.h"

namespace copperfold {
namespace {

struct DayName {
    std::uint8_t bit;
    std::wstring_view shortName;
    std::wstring_view longName;
};
// Monday first, as the week is written here.
constexpr std::array<DayName, 7> kDays = {{
    {common::kMonday, L"Mon", L"Monday"},
    {common::kTuesday, L"Tue", L"Tuesday"},
    {common::kWednesday, L"Wed", L"Wednesday"},
    {common::kThursday, L"Thu", L"Thursday"},
    {common::kFriday, L"Fri", L"Friday"},
    {common::kSaturday, L"Sat", L"Saturday"},
    {common::kSunday, L"Sun", L"Sunday"},
}};
constexpr std::uint8_t kEveryWeekday = 0x7F;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The text's words, split at blanks.
std::vector<std::wstring_view> Words(std::wstring_view text) {
    std::vector<std::wstring_view> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        const size_t start = at;
        while (at < text.size() && !IsBlank(text[at])) ++at;
        if (at > start) words.push_back(text.substr(start, at - start));
    }
    return words;
}

// Decimal digits only, at most `maxDigits` of them.
std::optional<int> SmallNumber(std::wstring_view text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    int value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    return value;
}

// "20:00", "8:05".
bool ParseClock(std::wstring_view text, ScheduleTime& time) {
    const size_t colon = text.find(L':');
    if (colon == std::wstring_view::npos || text.size() - colon - 1 != 2) return false;
    const auto hour = SmallNumber(text.substr(0, colon), 2);
    const auto minute = SmallNumber(text.substr(colon + 1), 2);
    if (!hour || !minute || *hour > 23 || *minute > 59) return false;
    time.hour = *hour;
    time.minute = *minute;
    return true;
}

// "Mon,Thu" (blanks around the commas allowed); zero for anything that is not a list of days.
std::uint8_t ParseDays(std::wstring_view text) {
    std::uint8_t days = 0;
    while (true) {
        const size_t comma = text.find(L',');
        const std::wstring_view name = Trim(text.substr(0, comma));
        const auto day = std::find_if(kDays.begin(), kDays.end(), [&](const DayName& candidate) {
            return common::EqualsIgnoreCase(name, candidate.shortName) ||
                   common::EqualsIgnoreCase(name, candidate.longName);
        });
        if (day == kDays.end()) return 0;
        days |= day->bit;
        if (comma == std::wstring_view::npos) return days;
        text = text.substr(comma + 1);
    }
}

std::wstring Clock(const ScheduleTime& time) {
    wchar_t text[8];
    std::swprintf(text, 8, L"%02d:%02d", time.hour, time.minute);
    return text;
}

// The parts of a "Schedule%04d" value, trimmed, empty ones dropped.
std::vector<std::wstring_view> Parts(std::wstring_view value) {
    std::vector<std::wstring_view> parts;
    while (!value.empty()) {
        const size_t semicolon = value.find(L';');
        const std::wstring_view part = Trim(value.substr(0, semicolon));
        if (!part.empty()) parts.push_back(part);
        if (semicolon == std::wstring_view::npos) break;
        value = value.substr(semicolon + 1);
    }
    return parts;
}

std::optional<ScheduleEntry> ParseEntry(std::wstring_view part) {
    const size_t blank = part.find_first_of(L" \t");
    if (blank == std::wstring_view::npos) return std::nullopt;
    const auto id = SmallNumber(part.substr(0, blank), 3);
    const auto time = ParseScheduleTime(part.substr(blank));
    if (!id || *id < 1 || *id > kMaxScheduleId || !time) return std::nullopt;
    return ScheduleEntry{*id, *time};
}

std::wstring Joined(const std::vector<std::wstring>& parts) {
    std::wstring value;
    for (const std::wstring& part : parts) value += (value.empty() ? L"" : L"; ") + part;
    return value;
}

std::wstring Tr(const TextTranslator& translate, std::wstring_view english) {
    return translate ? translate(english) : std::wstring(english);
}

}  // namespace

std::optional<ScheduleTime> ParseScheduleTime(std::wstring_view text) {
    const std::vector<std::wstring_view> words = Words(text);
    ScheduleTime time;
    if (words.size() == 2 && common::EqualsIgnoreCase(words[0], L"daily")) {
        if (!ParseClock(words[1], time)) return std::nullopt;
        return time;
    }
    if (words.size() < 3 || !common::EqualsIgnoreCase(words[0], L"weekly") || !ParseClock(words.back(), time)) {
        return std::nullopt;
    }
    // The days are what lies between the two words, blanks and all.
    const size_t first = static_cast<size_t>(words[1].data() - text.data());
    const size_t last = static_cast<size_t>(words.back().data() - text.data());
    time.weekdays = ParseDays(text.substr(first, last - first));
    if (time.weekdays == 0) return std::nullopt;
    return time;
}

std::wstring FormatScheduleTime(const ScheduleTime& time) {
    if ((time.weekdays & kEveryWeekday) == 0) return L"daily " + Clock(time);
    std::wstring days;
    for (const DayName& day : kDays) {
        if (time.weekdays & day.bit) days += (days.empty() ? L"" : L",") + std::wstring(day.shortName);
    }
    return L"weekly " + days + L" " + Clock(time);
}

std::vector<ScheduleEntry> ScheduleEntries(std::wstring_view value) {
    std::vector<ScheduleEntry> entries;
    for (const std::wstring_view part : Parts(value)) {
        if (const auto entry = ParseEntry(part)) entries.push_back(*entry);
    }
    return entries;
}

std::wstring WithSchedule(std::wstring_view value, int id, const ScheduleTime& time) {
    std::wstring kept = WithoutSchedule(value, id);
    return Joined({kept, std::to_wstring(id) + L" " + FormatScheduleTime(time)});
}

std::wstring WithoutSchedule(std::wstring_view value, int id) {
    std::vector<std::wstring> kept;
    for (const std::wstring_view part : Parts(value)) {
        const auto entry = ParseEntry(part);
        if (!entry || entry->id != id) kept.emplace_back(part);
    }
    return Joined(kept);
}

std::vector<JobSchedule> SchedulesOf(const CCopperfoldDoc& doc) {
    std::vector<JobSchedule> schedules;
    for (int n = 1; n <= doc.jobCount; ++n) {
        for (const ScheduleEntry& entry : ScheduleEntries(doc.jobs[static_cast<size_t>(n - 1)].schedules)) {
            auto schedule = std::find_if(schedules.begin(), schedules.end(),
                                         [&](const JobSchedule& known) { return known.id == entry.id; });
            if (schedule == schedules.end()) {
                schedules.push_back({entry.id, entry.time, {}});
                schedule = schedules.end() - 1;
            }
            if (schedule->jobNumbers.empty() || schedule->jobNumbers.back() != n) schedule->jobNumbers.push_back(n);
        }
    }
    std::sort(schedules.begin(), schedules.end(), [](const JobSchedule& a, const JobSchedule& b) { return a.id < b.id; });
    return schedules;
}

const JobSchedule* FindSchedule(const std::vector<JobSchedule>& schedules, int id) {
    const auto found = std::find_if(schedules.begin(), schedules.end(), [&](const JobSchedule& s) { return s.id == id; });
    return found == schedules.end() ? nullptr : &*found;
}

std::wstring JobNumberList(const std::vector<int>& numbers) {
    std::wstring text;
    for (const int number : numbers) text += (text.empty() ? L"" : L",") + std::to_wstring(number);
    return text;
}

std::wstring JobNumbersText(const std::vector<int>& numbers) {
    std::wstring text;
    for (const int number : numbers) text += (text.empty() ? L"" : L", ") + std::to_wstring(number);
    return text;
}

std::wstring ScheduleTimeText(const ScheduleTime& time, const TextTranslator& translate) {
    if ((time.weekdays & kEveryWeekday) == 0) return FilledText(Tr(translate, L"every day at %s"), {Clock(time)});
    std::wstring days;
    for (const DayName& day : kDays) {
        if (time.weekdays & day.bit) days += (days.empty() ? L"" : L", ") + Tr(translate, day.shortName);
    }
    return FilledText(Tr(translate, L"on %s at %s"), {days, Clock(time)});
}

std::wstring ScheduleTaskName(std::wstring_view jobSection, int id) {
    // A task's name may not hold what a path may not; computer and user names hold none of it.
    std::wstring section(jobSection);
    for (wchar_t& c : section) {
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) c = L'_';
    }
    return L"Copperfold " + section + L" " + std::to_wstring(id);
}

std::wstring ScheduledRunArguments(const JobSchedule& schedule) {
    return L"/run " + JobNumberList(schedule.jobNumbers) + L" /scheduled " + std::to_wstring(schedule.id);
}

common::ScheduledTask ScheduleTaskDefinition(const JobSchedule& schedule, std::wstring_view program,
                                             std::wstring_view userId, std::wstring_view startTime,
                                             std::wstring description) {
    common::ScheduledTask task;
    task.author = L"" SUITE_COMPANY_NAME;
    task.description = std::move(description);
    if ((schedule.time.weekdays & kEveryWeekday) == 0) {
        task.triggers.push_back(common::DailyTrigger{std::wstring(startTime), 1});
    } else {
        task.triggers.push_back(common::WeeklyTrigger{std::wstring(startTime), schedule.time.weekdays, 1});
    }
    task.action.program = std::wstring(program);
    task.action.arguments = ScheduledRunArguments(schedule);
    task.principal.userId = std::wstring(userId);
    task.principal.runLevel = common::TaskRunLevel::Normal;
    task.startWhenAvailable = true;
    // A run that copies for three days is stuck; the scheduler's own default.
    task.timeLimit = L"PT72H";
    return task;
}

std::optional<std::wstring> NextStartTime(const LocalTime& now, int hour, int minute) {
    if (hour * 60 + minute > now.hour * 60 + now.minute) return common::TaskStartTime(now.year, now.month, now.day, hour, minute);
    // Tomorrow: the next day of this month, else the first of the next month, else of the next year.
    if (auto start = common::TaskStartTime(now.year, now.month, now.day + 1, hour, minute)) return start;
    if (auto start = common::TaskStartTime(now.year, now.month + 1, 1, hour, minute)) return start;
    return common::TaskStartTime(now.year + 1, 1, 1, hour, minute);
}

}  // namespace copperfold
