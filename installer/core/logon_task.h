#pragma once
// What starts Dockline at logon on a machine with UAC: a task of the system's scheduler, at the
// logon of any of the machine's users, with the highest rights the user holds (the bar needs an
// administrator's to reach the enclosure, and the system does not start such a program from the
// Run key), starting "<folder>\Dockline.exe /a", hidden in the notification area. Setup registers
// it and the uninstaller removes it; the Run value stays for machines without UAC, where both
// start the bar and the second start ends quietly.

#include <string>
#include <string_view>

#include "common/core/scheduled_task.h"

namespace installer {

// The suite's tasks live in this folder of the scheduler's library.
inline constexpr wchar_t kSuiteTaskFolder[] = L"\\Copperfold";
inline constexpr wchar_t kDocklineLogonTaskName[] = L"Dockline";

common::ScheduledTask DocklineLogonTask(std::wstring_view installFolder);

}  // namespace installer
