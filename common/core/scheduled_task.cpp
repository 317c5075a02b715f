#include "scheduled_task.h"

#include <array>
#include <cwchar>

namespace common {

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[static_cast<size_t>(month - 1)];
}

bool IsDigits(std::wstring_view text) {
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;
}

int Number(std::wstring_view digits) {
    int value = 0;
    for (const wchar_t c : digits) value = value * 10 + (c - L'0');
    return value;
}

// "YYYY-MM-DDThh:mm:ss" naming a time that exists.
bool IsStartTime(std::wstring_view text) {
    if (text.size() != 19 || text[4] != L'-' || text[7] != L'-' || text[10] != L'T' || text[13] != L':' ||
        text[16] != L':') {
        return false;
    }
    for (const size_t at : {size_t{0}, size_t{5}, size_t{8}, size_t{11}, size_t{14}, size_t{17}}) {
        if (!IsDigits(text.substr(at, at == 0 ? 4 : 2))) return false;
    }
    const int year = Number(text.substr(0, 4));
    const int month = Number(text.substr(5, 2));
    const int day = Number(text.substr(8, 2));
    return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) &&
           Number(text.substr(11, 2)) < 24 && Number(text.substr(14, 2)) < 60 && Number(text.substr(17, 2)) < 60;
}

// A character XML 1.0 can hold (UTF-16 code units: surrogate pairs pass as their halves).
bool XmlCharacter(wchar_t c) {
    if (c == L'\t' || c == L'\n' || c == L'\r') return true;
    return c >= 0x20 && c != 0xFFFE && c != 0xFFFF;
}

class XmlWriter {
public:
    // False once a text held a character XML cannot hold.
    bool ok() const { return ok_; }
    std::wstring Take() { return std::move(text_); }

    void Raw(std::wstring_view text) { text_ += text; }
    void Open(std::wstring_view indent, std::wstring_view name) { Tag(indent, L"<", name, L">\r\n"); }
    void Close(std::wstring_view indent, std::wstring_view name) { Tag(indent, L"</", name, L">\r\n"); }
    void Empty(std::wstring_view indent, std::wstring_view name) { Tag(indent, L"<", name, L" />\r\n"); }
    void Element(std::wstring_view indent, std::wstring_view name, std::wstring_view value) {
        Tag(indent, L"<", name, L">");
        Text(value);
        Tag({}, L"</", name, L">\r\n");
    }
    void Text(std::wstring_view value) {
        for (const wchar_t c : value) {
            if (!XmlCharacter(c)) ok_ = false;
            switch (c) {
            case L'&': Raw(L"&amp;"); break;
            case L'<': Raw(L"&lt;"); break;
            case L'>': Raw(L"&gt;"); break;
            case L'"': Raw(L"&quot;"); break;
            case L'\'': Raw(L"&apos;"); break;
            default: text_ += c; break;
            }
        }
    }

private:
    void Tag(std::wstring_view indent, std::wstring_view start, std::wstring_view name, std::wstring_view end) {
        text_.append(indent).append(start).append(name).append(end);
    }

    std::wstring text_;
    bool ok_ = true;
};

constexpr std::wstring_view kTriggerIndent = L"    ";
constexpr std::wstring_view kInTrigger = L"      ";
constexpr std::wstring_view kInSchedule = L"        ";
constexpr std::wstring_view kInDays = L"          ";

bool WriteTrigger(XmlWriter& xml, const TaskTrigger& trigger) {
    if (const auto* logon = std::get_if<LogonTrigger>(&trigger)) {
        xml.Open(kTriggerIndent, L"LogonTrigger");
        xml.Element(kInTrigger, L"Enabled", L"true");
        if (!logon->userId.empty()) xml.Element(kInTrigger, L"UserId", logon->userId);
        xml.Close(kTriggerIndent, L"LogonTrigger");
        return true;
    }
    if (const auto* daily = std::get_if<DailyTrigger>(&trigger)) {
        if (!IsStartTime(daily->start) || daily->everyDays < 1 || daily->everyDays > 365) return false;
        xml.Open(kTriggerIndent, L"CalendarTrigger");
        xml.Element(kInTrigger, L"StartBoundary", daily->start);
        xml.Element(kInTrigger, L"Enabled", L"true");
        xml.Open(kInTrigger, L"ScheduleByDay");
        xml.Element(kInSchedule, L"DaysInterval", std::to_wstring(daily->everyDays));
        xml.Close(kInTrigger, L"ScheduleByDay");
        xml.Close(kTriggerIndent, L"CalendarTrigger");
        return true;
    }
    const auto& weekly = std::get<WeeklyTrigger>(trigger);
    if (!IsStartTime(weekly.start) || (weekly.days & 0x7F) == 0 || (weekly.days & 0x80) != 0 ||
        weekly.everyWeeks < 1 || weekly.everyWeeks > 52) {
        return false;
    }
    static constexpr std::array<std::wstring_view, 7> dayNames = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                                                  L"Thursday", L"Friday", L"Saturday"};
    xml.Open(kTriggerIndent, L"CalendarTrigger");
    xml.Element(kInTrigger, L"StartBoundary", weekly.start);
    xml.Element(kInTrigger, L"Enabled", L"true");
    xml.Open(kInTrigger, L"ScheduleByWeek");
    xml.Open(kInSchedule, L"DaysOfWeek");
    for (size_t day = 0; day < dayNames.size(); ++day) {
        if (weekly.days & (1u << day)) xml.Empty(kInDays, dayNames[day]);
    }
    xml.Close(kInSchedule, L"DaysOfWeek");
    xml.Element(kInSchedule, L"WeeksInterval", std::to_wstring(weekly.everyWeeks));
    xml.Close(kInTrigger, L"ScheduleByWeek");
    xml.Close(kTriggerIndent, L"CalendarTrigger");
    return true;
}

}  // namespace

std::optional<std::wstring> TaskStartTime(int year, int month, int day, int hour, int minute) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59) {
        return std::nullopt;
    }
    wchar_t text[24] = {};
    std::swprintf(text, 24, L"%04d-%02d-%02dT%02d:%02d:00", year, month, day, hour, minute);
    return std::wstring(text);
}

std::optional<std::wstring> TaskXml(const ScheduledTask& task) {
    const TaskPrincipal& principal = task.principal;
    if (task.triggers.empty() || task.action.program.empty() ||
        principal.groupId.empty() == principal.userId.empty() || task.timeLimit.empty()) {
        return std::nullopt;
    }
    XmlWriter xml;
    xml.Raw(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
            L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n");
    xml.Open(L"  ", L"RegistrationInfo");
    if (!task.author.empty()) xml.Element(L"    ", L"Author", task.author);
    if (!task.description.empty()) xml.Element(L"    ", L"Description", task.description);
    xml.Close(L"  ", L"RegistrationInfo");

    xml.Open(L"  ", L"Triggers");
    for (const TaskTrigger& trigger : task.triggers) {
        if (!WriteTrigger(xml, trigger)) return std::nullopt;
    }
    xml.Close(L"  ", L"Triggers");

    xml.Open(L"  ", L"Principals");
    xml.Raw(L"    <Principal id=\"Author\">\r\n");
    if (!principal.userId.empty()) {
        xml.Element(L"      ", L"UserId", principal.userId);
        xml.Element(L"      ", L"LogonType", L"InteractiveToken");
    } else {
        xml.Element(L"      ", L"GroupId", principal.groupId);
    }
    xml.Element(L"      ", L"RunLevel",
                principal.runLevel == TaskRunLevel::Highest ? L"HighestAvailable" : L"LeastPrivilege");
    xml.Close(L"    ", L"Principal");
    xml.Close(L"  ", L"Principals");

    xml.Open(L"  ", L"Settings");
    xml.Element(L"    ", L"MultipleInstancesPolicy", L"IgnoreNew");
    xml.Element(L"    ", L"DisallowStartIfOnBatteries", L"false");
    xml.Element(L"    ", L"StopIfGoingOnBatteries", L"false");
    xml.Element(L"    ", L"StartWhenAvailable", task.startWhenAvailable ? L"true" : L"false");
    xml.Element(L"    ", L"AllowStartOnDemand", L"true");
    xml.Element(L"    ", L"Enabled", L"true");
    xml.Element(L"    ", L"ExecutionTimeLimit", task.timeLimit);
    xml.Close(L"  ", L"Settings");

    xml.Raw(L"  <Actions Context=\"Author\">\r\n");
    xml.Open(L"    ", L"Exec");
    xml.Element(L"      ", L"Command", task.action.program);
    if (!task.action.arguments.empty()) xml.Element(L"      ", L"Arguments", task.action.arguments);
    if (!task.action.workingDirectory.empty()) {
        xml.Element(L"      ", L"WorkingDirectory", task.action.workingDirectory);
    }
    xml.Close(L"    ", L"Exec");
    xml.Close(L"  ", L"Actions");
    xml.Raw(L"</Task>\r\n");
    if (!xml.ok()) return std::nullopt;
    return xml.Take();
}

}  // namespace common
