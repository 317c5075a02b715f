// SetupHelper: the steps of installing and removing the suite that need the suite's own code.
//   SetupHelper.exe close-programs FOLDER SECONDS
//       ends Copperfold and Dockline started from FOLDER through their own protocol, waiting at
//       most SECONDS; exit 0 when none runs any more, 3 when a backup run is still in progress,
//       4 when a program was asked to end but did not, 7 when one runs in another session
//       (nothing is closed then; the programs are named with their user and session).
//   SetupHelper.exe merge-settings SHIPPED INSTALLED
//       installs the shipped settings file, merging it into an existing one so that every
//       user's jobs and comments stay; exit 0 done, 1 failed (the installed file is unchanged).
//   SetupHelper.exe register-logon-task FOLDER
//       registers the scheduler's task that starts FOLDER\Dockline.exe /a at every user's
//       logon, replacing an earlier one; exit 0 done, 1 failed.
//   SetupHelper.exe remove-logon-task
//       removes that task; exit 0 done (also when there was none), 1 failed.
// Wrong usage exits with 2. Progress and errors go to standard output and standard error.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

#include "common/core/ini_file_access.h"
#include "common/core/text_codec.h"
#include "common/win32/com_ptr.h"
#include "common/win32/task_scheduler.h"
#include "installer/core/logon_task.h"
#include "installer/core/settings_merge.h"
#include "program_closer.h"

namespace {

enum ExitCode : int { kDone = 0, kFailed = 1, kUsage = 2, kStillBusy = 3, kNotEnding = 4, kOtherSession = 7 };

void Print(FILE* stream, const std::wstring& line) {
    const std::string bytes = common::WideToUtf8(line + L"\n").value_or("?\n");
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

int ClosePrograms(const std::wstring& folder, const std::wstring& secondsText) {
    wchar_t* end = nullptr;
    const unsigned long seconds = std::wcstoul(secondsText.c_str(), &end, 10);
    if (secondsText.empty() || *end != L'\0' || seconds > 24UL * 3600) {
        Print(stderr, L"The time limit must be a number of seconds up to a day, not \"" + secondsText + L"\".");
        return kUsage;
    }
    installer::CloseRequest request;
    request.folder = folder;
    request.limit = std::chrono::seconds(seconds);
    request.say = [](const std::wstring& text) { Print(stdout, text); };
    switch (installer::CloseSuitePrograms(request)) {
    case installer::CloseResult::Closed:
        return kDone;
    case installer::CloseResult::StillBusy:
        Print(stderr, L"Copperfold is still running a backup after " + secondsText + L" seconds.");
        return kStillBusy;
    case installer::CloseResult::NotEnding:
        Print(stderr, L"Copperfold or Dockline was asked to close but is still running (is a dialog of it open?).");
        return kNotEnding;
    case installer::CloseResult::InAnotherSession:
        Print(stderr, L"Copperfold or Dockline of this folder runs in another session; setup cannot close it from here.");
        return kOtherSession;
    }
    return kFailed;
}

int MergeSettings(const std::wstring& shipped, const std::wstring& installed) {
    const auto access = common::PlatformIniFileAccess();
    const installer::MergeOutcome outcome = installer::InstallSettingsFile(*access, shipped, installed);
    if (!outcome.ok) {
        Print(stderr, outcome.error);
        return kFailed;
    }
    Print(stdout, L"Settings file " + installed + L" is up to date (" + std::to_wstring(outcome.entriesWritten) +
                      L" entries added or changed).");
    return kDone;
}

// The scheduler's task for Dockline at logon: registered for `folder`, or removed (no folder).
int LogonTask(const std::optional<std::wstring>& folder) {
    const win32::ComApartment com;
    if (!com.Usable()) {
        Print(stderr, L"COM could not be initialised: " + win32::ErrorCodeText(com.Result()));
        return kFailed;
    }
    win32::TaskScheduler scheduler;
    if (!scheduler.Connected()) {
        Print(stderr, L"The task scheduler could not be reached: " + win32::ErrorCodeText(scheduler.ConnectError()));
        return kFailed;
    }
    const std::wstring where = std::wstring(installer::kSuiteTaskFolder) + L"\\" + installer::kDocklineLogonTaskName;
    const HRESULT result =
        folder ? scheduler.Register(installer::kSuiteTaskFolder, installer::kDocklineLogonTaskName,
                                    installer::DocklineLogonTask(*folder))
               : scheduler.Remove(installer::kSuiteTaskFolder, installer::kDocklineLogonTaskName);
    if (FAILED(result)) {
        Print(stderr, (folder ? L"The task " + where + L" could not be registered: "
                              : L"The task " + where + L" could not be removed: ") +
                          win32::ErrorCodeText(result));
        return kFailed;
    }
    Print(stdout, folder ? L"Dockline starts at every user's logon through the task " + where + L"."
                         : L"The task " + where + L" is removed.");
    return kDone;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring_view command = argc > 1 ? argv[1] : L"";
    if (command == L"close-programs" && argc == 4) return ClosePrograms(argv[2], argv[3]);
    if (command == L"merge-settings" && argc == 4) return MergeSettings(argv[2], argv[3]);
    if (command == L"register-logon-task" && argc == 3) return LogonTask(std::wstring(argv[2]));
    if (command == L"remove-logon-task" && argc == 2) return LogonTask(std::nullopt);
    Print(stderr, L"usage: SetupHelper close-programs FOLDER SECONDS | merge-settings SHIPPED INSTALLED | "
                  L"register-logon-task FOLDER | remove-logon-task");
    return kUsage;
}
