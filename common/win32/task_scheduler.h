#pragma once
// The system's task scheduler through its COM interface (Task Scheduler 2.0): registering a task
// from its platform-free description (common/core/scheduled_task.h), reading back what the
// scheduler keeps of it, and removing it. Tasks live in a folder of the scheduler's library
// directly under its root (such as "\Copperfold"), created with the first task and removed with
// the last one.
//
// COM must be initialised on the calling thread for the object's lifetime (ComApartment).
// Registering a task for a group, or one that runs elevated, needs an administrator's rights;
// a user may register a task that runs as that user, with normal rights.

#include <windows.h>
#include <taskschd.h>

#include <optional>
#include <string>
#include <string_view>

#include "com_ptr.h"
#include "common/core/scheduled_task.h"

namespace win32 {

class TaskScheduler {
public:
    // Connects to the scheduler of this machine; Connected() tells whether that worked.
    TaskScheduler();

    bool Connected() const { return static_cast<bool>(service_); }
    // Why the connection failed.
    HRESULT ConnectError() const { return connectError_; }

    // Registers task `name` in `folder`, replacing a task of that name. E_INVALIDARG when the
    // description cannot be a task.
    HRESULT Register(std::wstring_view folder, std::wstring_view name, const common::ScheduledTask& task);
    // The XML text the scheduler keeps for the task; nothing when there is none (`error` says why:
    // HRESULT_FROM_WIN32 of ERROR_FILE_NOT_FOUND when the folder has no such task, of
    // ERROR_PATH_NOT_FOUND when there is no such folder).
    std::optional<std::wstring> RegisteredXml(std::wstring_view folder, std::wstring_view name,
                                              HRESULT* error = nullptr) const;
    // Removes the task, then its folder if that left it empty. S_OK also when there was no task.
    HRESULT Remove(std::wstring_view folder, std::wstring_view name);

private:
    ComPtr<ITaskFolder> OpenFolder(std::wstring_view folder, HRESULT& error) const;

    ComPtr<ITaskService> service_;
    HRESULT connectError_ = S_OK;
};

// "0x80070005 Access is denied." and the like, for messages naming a failure.
std::wstring ErrorCodeText(HRESULT error);

}  // namespace win32
