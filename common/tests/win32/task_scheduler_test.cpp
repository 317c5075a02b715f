// The task scheduler through its COM interface: a task registered, replaced, read back and
// removed, its folder made with the first task and gone with the last. The scheduler under Wine
// keeps a task's description and settings but none of its triggers, actions or principal; the
// XML those come from is the core's (scheduled_task_test.cpp).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/core/scheduled_task.h"
#include "common/win32/com_ptr.h"
#include "common/win32/task_scheduler.h"

namespace {

constexpr wchar_t kFolder[] = L"\\CopperfoldTest";

common::ScheduledTask Task(const std::wstring& description) {
    common::ScheduledTask task;
    task.description = description;
    task.triggers.push_back(common::DailyTrigger{L"2026-03-01T02:30:00", 1});
    task.action.program = L"C:\\windows\\system32\\cmd.exe";
    task.action.arguments = L"/c exit";
    task.principal.userId = L"alice";
    task.startWhenAvailable = true;
    task.timeLimit = L"PT2H";
    return task;
}

bool Holds(const std::optional<std::wstring>& xml, const std::wstring& part) {
    return xml && xml->find(part) != std::wstring::npos;
}

TEST(TaskScheduler, RegistersReplacesReadsBackAndRemovesTasksWithTheirFolder) {
    const win32::ComApartment com;
    ASSERT_TRUE(com.Usable());
    win32::TaskScheduler scheduler;
    ASSERT_TRUE(scheduler.Connected()) << win32::ErrorCodeText(scheduler.ConnectError());
    scheduler.Remove(kFolder, L"Nightly");  // left by a test that was cut short
    scheduler.Remove(kFolder, L"Weekly");

    HRESULT error = S_OK;
    EXPECT_FALSE(scheduler.RegisteredXml(kFolder, L"Nightly", &error));
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) << win32::ErrorCodeText(error);

    ASSERT_EQ(scheduler.Register(kFolder, L"Nightly", Task(L"first")), S_OK);
    ASSERT_EQ(scheduler.Register(kFolder, L"Weekly", Task(L"the other")), S_OK);
    ASSERT_EQ(scheduler.Register(kFolder, L"Nightly", Task(L"Backs up the letters")), S_OK);
    const auto xml = scheduler.RegisteredXml(kFolder, L"Nightly", &error);
    ASSERT_TRUE(xml) << win32::ErrorCodeText(error);
    EXPECT_TRUE(Holds(xml, L"<Description>Backs up the letters</Description>")) << *xml;
    EXPECT_TRUE(Holds(xml, L"<StartWhenAvailable>true</StartWhenAvailable>")) << *xml;
    EXPECT_TRUE(Holds(xml, L"<ExecutionTimeLimit>PT2H</ExecutionTimeLimit>")) << *xml;
    EXPECT_TRUE(Holds(scheduler.RegisteredXml(kFolder, L"Weekly"), L"<Description>the other</Description>"));

    common::ScheduledTask none = Task(L"no program");
    none.action.program.clear();
    EXPECT_EQ(scheduler.Register(kFolder, L"Broken", none), E_INVALIDARG);
    EXPECT_FALSE(scheduler.RegisteredXml(kFolder, L"Broken"));

    // The folder stays while it holds a task, and goes with its last one.
    EXPECT_EQ(scheduler.Remove(kFolder, L"Nightly"), S_OK);
    EXPECT_FALSE(scheduler.RegisteredXml(kFolder, L"Nightly", &error));
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << win32::ErrorCodeText(error);
    EXPECT_TRUE(scheduler.RegisteredXml(kFolder, L"Weekly"));
    EXPECT_EQ(scheduler.Remove(kFolder, L"Weekly"), S_OK);
    EXPECT_FALSE(scheduler.RegisteredXml(kFolder, L"Weekly", &error));
    EXPECT_EQ(error, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) << "the folder is gone: " << win32::ErrorCodeText(error);
    EXPECT_EQ(scheduler.Remove(kFolder, L"Weekly"), S_OK) << "removing what is not there";
}

}  // namespace
