// A task's XML for the system's scheduler: the parts each kind of trigger and principal writes,
// text that needs escaping, and the descriptions that cannot be a task.
#include "common/core/scheduled_task.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using common::ScheduledTask;
using common::TaskXml;

bool Holds(const std::wstring& xml, const std::wstring& part) { return xml.find(part) != std::wstring::npos; }

ScheduledTask UserRuns() {
    ScheduledTask task;
    task.description = L"Backups of \"Letters\" & <Photos>";
    task.triggers.push_back(common::DailyTrigger{L"2026-03-01T02:30:00", 2});
    task.triggers.push_back(common::WeeklyTrigger{L"2026-03-02T20:00:00", common::kMonday | common::kFriday, 1});
    task.action = {L"C:\\Program Files\\Copperfold\\Copperfold.exe", L"/run 1,3", L"C:\\Users\\alice"};
    task.principal.userId = L"VM\\alice";
    task.startWhenAvailable = true;
    return task;
}

TEST(TaskXml, RunsOfOneUserOnDaysAndWeekdaysWithHerOwnRights) {
    const auto xml = TaskXml(UserRuns());
    ASSERT_TRUE(xml);
    EXPECT_EQ(xml->rfind(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task version=\"1.2\" "
                         L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">",
                         0),
              0u);
    EXPECT_TRUE(Holds(*xml, L"<Description>Backups of &quot;Letters&quot; &amp; &lt;Photos&gt;</Description>"));
    EXPECT_TRUE(Holds(*xml, L"    <CalendarTrigger>\r\n      <StartBoundary>2026-03-01T02:30:00</StartBoundary>\r\n"
                            L"      <Enabled>true</Enabled>\r\n      <ScheduleByDay>\r\n"
                            L"        <DaysInterval>2</DaysInterval>\r\n      </ScheduleByDay>\r\n"));
    EXPECT_TRUE(Holds(*xml, L"      <ScheduleByWeek>\r\n        <DaysOfWeek>\r\n          <Monday />\r\n"
                            L"          <Friday />\r\n        </DaysOfWeek>\r\n        <WeeksInterval>1</WeeksInterval>\r\n"));
    EXPECT_TRUE(Holds(*xml, L"<UserId>VM\\alice</UserId>\r\n      <LogonType>InteractiveToken</LogonType>\r\n"
                            L"      <RunLevel>LeastPrivilege</RunLevel>"));
    EXPECT_FALSE(Holds(*xml, L"GroupId"));
    EXPECT_TRUE(Holds(*xml, L"<StartWhenAvailable>true</StartWhenAvailable>"));
    EXPECT_TRUE(Holds(*xml, L"<Command>C:\\Program Files\\Copperfold\\Copperfold.exe</Command>\r\n"
                            L"      <Arguments>/run 1,3</Arguments>\r\n"
                            L"      <WorkingDirectory>C:\\Users\\alice</WorkingDirectory>"));
    EXPECT_EQ(xml->substr(xml->size() - 9), L"</Task>\r\n");
}

TEST(TaskXml, DescriptionsThatCannotBeATaskGiveNone) {
    ASSERT_TRUE(TaskXml(UserRuns()));
    const auto broken = [](auto change) {
        ScheduledTask task = UserRuns();
        change(task);
        return !TaskXml(task).has_value();
    };
    EXPECT_TRUE(broken([](ScheduledTask& t) { t.triggers.clear(); }));
    EXPECT_TRUE(broken([](ScheduledTask& t) { t.action.program.clear(); }));
    EXPECT_TRUE(broken([](ScheduledTask& t) { t.principal.groupId = common::kUsersGroupSid; })) << "two principals";
    EXPECT_TRUE(broken([](ScheduledTask& t) { t.principal.userId.clear(); })) << "no principal";
    EXPECT_TRUE(broken([](ScheduledTask& t) { std::get<common::WeeklyTrigger>(t.triggers[1]).days = 0; }));
    EXPECT_TRUE(broken([](ScheduledTask& t) { std::get<common::WeeklyTrigger>(t.triggers[1]).days = 0x81; }));
    EXPECT_TRUE(broken([](ScheduledTask& t) { std::get<common::WeeklyTrigger>(t.triggers[1]).everyWeeks = 53; }));
    EXPECT_TRUE(broken([](ScheduledTask& t) { std::get<common::DailyTrigger>(t.triggers[0]).everyDays = 0; }));
    for (const wchar_t* start : {L"2026-02-29T02:30:00", L"2026-03-01T24:00:00", L"2026-03-01 02:30:00",
                                 L"2026-3-01T02:30:00", L"2026-03-01T02:30"}) {
        EXPECT_TRUE(broken([start](ScheduledTask& t) { std::get<common::DailyTrigger>(t.triggers[0]).start = start; }))
            << start;
    }
    EXPECT_TRUE(broken([](ScheduledTask& t) { t.description = L"a\x01z"; })) << "no XML character";
    EXPECT_TRUE(broken([](ScheduledTask& t) { t.action.arguments = std::wstring(L"/run\0", 5); }));

    EXPECT_EQ(common::TaskStartTime(2028, 2, 29, 23, 59), L"2028-02-29T23:59:00");
    EXPECT_FALSE(common::TaskStartTime(2027, 2, 29, 12, 0));
    EXPECT_FALSE(common::TaskStartTime(2027, 4, 31, 12, 0));
    EXPECT_FALSE(common::TaskStartTime(2027, 1, 1, 24, 0));
    EXPECT_FALSE(common::TaskStartTime(2027, 1, 1, 0, 60));
}

}  // namespace
