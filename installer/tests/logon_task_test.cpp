// The task that starts Dockline at logon, as setup registers it for an installation folder.
#include <gtest/gtest.h>

#include "common/core/scheduled_task.h"
#include "installer/core/logon_task.h"

namespace {

TEST(DocklineLogonTask, StartsTheFoldersBarHiddenElevatedAtEveryUsersLogonAndKeepsItRunning) {
    const auto xml = common::TaskXml(installer::DocklineLogonTask(L"D:\\R&D <Tools> \u65e5\u672c\\"));
    ASSERT_TRUE(xml);
    const auto holds = [&](const std::wstring& part) { return xml->find(part) != std::wstring::npos; };
    EXPECT_TRUE(holds(L"  <Triggers>\r\n    <LogonTrigger>\r\n      <Enabled>true</Enabled>\r\n    </LogonTrigger>\r\n"
                      L"  </Triggers>\r\n"))
        << "any user's logon";
    EXPECT_TRUE(holds(L"<Principal id=\"Author\">\r\n      <GroupId>S-1-5-32-545</GroupId>\r\n"
                      L"      <RunLevel>HighestAvailable</RunLevel>\r\n    </Principal>"));
    EXPECT_FALSE(holds(L"<UserId>"));
    EXPECT_TRUE(holds(L"<Actions Context=\"Author\">\r\n    <Exec>\r\n"
                      L"      <Command>D:\\R&amp;D &lt;Tools&gt; \u65e5\u672c\\Dockline.exe</Command>\r\n"
                      L"      <Arguments>/a</Arguments>\r\n    </Exec>"));
    EXPECT_TRUE(holds(L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>")) << "the bar is never ended for its age";
    EXPECT_TRUE(holds(L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"));
    EXPECT_TRUE(holds(L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>"));
    EXPECT_TRUE(holds(L"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"));
}

}  // namespace
