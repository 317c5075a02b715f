#include "logon_task.h"

#include "common/version.h"

namespace installer {

common::ScheduledTask DocklineLogonTask(std::wstring_view installFolder) {
    std::wstring folder(installFolder);
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    common::ScheduledTask task;
    task.author = L"" SUITE_COMPANY_NAME;
    task.description = L"Starts Dockline, the enclosure's launcher bar, in the notification area when a user logs on.";
    task.triggers.push_back(common::LogonTrigger{});
    task.action.program = folder + L"\\Dockline.exe";
    task.action.arguments = L"/a";
    task.principal.groupId = common::kUsersGroupSid;
    task.principal.runLevel = common::TaskRunLevel::Highest;
    task.timeLimit = L"PT0S";  // the bar stays open for the whole session
    return task;
}

}  // namespace installer
