#include "task_scheduler.h"

#include <cwchar>

#include "system_info.h"

namespace win32 {

namespace {

constexpr std::wstring_view kRootFolder = L"\\";

bool IsAbsent(HRESULT error) {
    return error == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || error == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// The folder's name under the root: "\Copperfold" -> "Copperfold".
std::wstring_view NameUnderRoot(std::wstring_view folder) {
    while (!folder.empty() && folder.front() == L'\\') folder.remove_prefix(1);
    return folder;
}

// How many tasks (hidden ones too) and folders `folder` holds; nothing when it cannot tell.
std::optional<LONG> ItemCount(ITaskFolder& folder) {
    ComPtr<IRegisteredTaskCollection> tasks;
    ComPtr<ITaskFolderCollection> folders;
    LONG taskCount = 0;
    LONG folderCount = 0;
    if (FAILED(folder.GetTasks(TASK_ENUM_HIDDEN, tasks.put())) || !tasks || FAILED(tasks->get_Count(&taskCount)) ||
        FAILED(folder.GetFolders(0, folders.put())) || !folders || FAILED(folders->get_Count(&folderCount))) {
        return std::nullopt;
    }
    return taskCount + folderCount;
}

}  // namespace

TaskScheduler::TaskScheduler() {
    ComPtr<ITaskService> service;
    connectError_ = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                       service.put_void());
    if (FAILED(connectError_)) return;
    VARIANT none;
    ::VariantInit(&none);  // this machine, as the calling user
    connectError_ = service->Connect(none, none, none, none);
    if (SUCCEEDED(connectError_)) service_ = std::move(service);
}

ComPtr<ITaskFolder> TaskScheduler::OpenFolder(std::wstring_view folder, HRESULT& error) const {
    ComPtr<ITaskFolder> opened;
    if (!service_) {
        error = connectError_;
        return opened;
    }
    const UniqueBstr path(folder);
    error = service_->GetFolder(path.get(), opened.put());
    if (FAILED(error)) opened.reset();
    return opened;
}

HRESULT TaskScheduler::Register(std::wstring_view folder, std::wstring_view name, const common::ScheduledTask& task) {
    const std::optional<std::wstring> xml = common::TaskXml(task);
    if (!xml || name.empty()) return E_INVALIDARG;
    HRESULT error = S_OK;
    ComPtr<ITaskFolder> target = OpenFolder(folder, error);
    if (!target && IsAbsent(error) && !NameUnderRoot(folder).empty()) {
        const ComPtr<ITaskFolder> root = OpenFolder(kRootFolder, error);
        if (!root) return error;
        const UniqueBstr created(NameUnderRoot(folder));
        VARIANT defaultSecurity;
        ::VariantInit(&defaultSecurity);
        error = root->CreateFolder(created.get(), defaultSecurity, target.put());
    }
    if (!target) return FAILED(error) ? error : E_FAIL;

    // The principal's credentials come from the XML: no user name or password here.
    VARIANT none;
    ::VariantInit(&none);
    const TASK_LOGON_TYPE logon = task.principal.groupId.empty() ? TASK_LOGON_INTERACTIVE_TOKEN : TASK_LOGON_GROUP;
    const UniqueBstr taskName(name);
    const UniqueBstr text(*xml);
    ComPtr<IRegisteredTask> registered;
    return target->RegisterTask(taskName.get(), text.get(), TASK_CREATE_OR_UPDATE, none, none, logon, none,
                                registered.put());
}

std::optional<std::wstring> TaskScheduler::RegisteredXml(std::wstring_view folder, std::wstring_view name,
                                                         HRESULT* error) const {
    HRESULT result = S_OK;
    const ComPtr<ITaskFolder> opened = OpenFolder(folder, result);
    if (!opened && IsAbsent(result)) result = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    std::optional<std::wstring> xml;
    if (opened) {
        const UniqueBstr taskName(name);
        ComPtr<IRegisteredTask> task;
        result = opened->GetTask(taskName.get(), task.put());
        if (IsAbsent(result)) result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        UniqueBstr text;
        if (SUCCEEDED(result) && task) result = task->get_Xml(text.put());
        if (SUCCEEDED(result) && task) xml = text.str();
    }
    if (error) *error = xml ? S_OK : (SUCCEEDED(result) ? E_FAIL : result);
    return xml;
}

HRESULT TaskScheduler::Remove(std::wstring_view folder, std::wstring_view name) {
    HRESULT error = S_OK;
    const ComPtr<ITaskFolder> opened = OpenFolder(folder, error);
    if (!opened) return IsAbsent(error) ? S_OK : error;
    const UniqueBstr taskName(name);
    error = opened->DeleteTask(taskName.get(), 0);
    if (FAILED(error) && !IsAbsent(error)) return error;

    // The folder goes with its last task. Where the scheduler cannot count (Wine), it is asked
    // to remove the folder all the same: it refuses while the folder holds anything.
    const std::optional<LONG> items = ItemCount(*opened.get());
    if (NameUnderRoot(folder).empty() || (items && *items > 0)) return S_OK;
    HRESULT rootError = S_OK;
    if (const ComPtr<ITaskFolder> root = OpenFolder(kRootFolder, rootError)) {
        const UniqueBstr folderName(NameUnderRoot(folder));
        root->DeleteFolder(folderName.get(), 0);
    }
    return S_OK;
}

std::wstring ErrorCodeText(HRESULT error) {
    wchar_t code[16] = {};
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(error));
    const std::wstring text = SystemErrorText(static_cast<unsigned long>(error));
    return text.empty() ? std::wstring(code) : std::wstring(code) + L" " + text;
}

}  // namespace win32
