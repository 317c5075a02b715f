// install_check: looks at an installed suite from inside Windows, for the installer's tests.
//   install_check com                       creates the component through COM, runs its link
//                                           test and prints the path the component was loaded from
//   install_check reg KEY VALUE             prints a value under HKEY_LOCAL_MACHINE\KEY (text or number)
//   install_check key KEY                   succeeds when HKEY_LOCAL_MACHINE\KEY exists
//   install_check start COMMAND_LINE        starts a command line (the Run value's, as a machine
//                                           without UAC starts it at logon) and leaves it running
//   install_check run SECONDS COMMAND_LINE  runs a command line exactly as given, waits at most
//                                           SECONDS and exits with its exit code (125 when it
//                                           could not be started or did not end in time)
//   install_check window TITLE SECONDS      waits for a top-level window with exactly that title;
//                                           prints its program's path and "visible" or "hidden"
//   install_check no-window TITLE SECONDS   waits until no such window is left
//   install_check job-section               prints the job section of the current user
//   install_check version FILE              prints the file version of a program or library
//   install_check manifest FILE             prints the application manifest of a program
//   install_check task FOLDER NAME          prints the XML the task scheduler keeps of a task
//   install_check logon-task-xml FOLDER     prints the XML of Dockline's logon task that setup
//                                           registers for an installation folder
//   install_check about FOLDER              starts FOLDER\Copperfold.exe, opens its About box and
//                                           prints the component's version line, then closes it
// Output is UTF-8. Exit status: 0 found or done, 1 not found or failed, 2 wrong usage.
#include <initguid.h>

#include "corelink_api.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>

#include "common/core/text_codec.h"
#include "common/win32/com_ptr.h"
#include "common/win32/system_info.h"
#include "common/win32/task_scheduler.h"
#include "common/win32/unique_handle.h"
#include "common/win32/version_info.h"
#include "copperfold/win32/resource.h"
#include "installer/core/logon_task.h"

namespace {

void PrintLine(const std::wstring& text) {
    const std::string bytes = common::WideToUtf8(text + L"\n").value_or("?\n");
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::wstring ModulePath(HMODULE module) {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

int CheckComponent() {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    ICorelinkCtrl* corelink = nullptr;
    const HRESULT created = ::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, IID_ICorelinkCtrl,
                                               reinterpret_cast<void**>(&corelink));
    int status = 1;
    if (FAILED(created) || !corelink) {
        std::fprintf(stderr, "the component could not be created: 0x%08lX\n", static_cast<unsigned long>(created));
    } else {
        BYTE probe = 0x55;
        if (corelink->LinkTest(&probe) == 1) {
            PrintLine(ModulePath(::GetModuleHandleW(L"Corelink.ax")));
            status = 0;
        } else {
            std::fprintf(stderr, "the component did not answer its link test\n");
        }
        corelink->Release();
    }
    ::CoUninitialize();
    return status;
}

win32::UniqueKey OpenMachineKey(const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return win32::UniqueKey();
    }
    return win32::UniqueKey(key);
}

int PrintValue(const wchar_t* path, const wchar_t* name) {
    const win32::UniqueKey key = OpenMachineKey(path);
    if (!key) return 1;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 1;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS) {
        return 1;
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, buffer.data(), sizeof number);
        PrintLine(std::to_wstring(number));
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        buffer.resize(size / sizeof(wchar_t));
        while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
        PrintLine(buffer);
    } else {
        return 1;
    }
    return 0;
}

constexpr int kNotRun = 125;

win32::UniqueHandle Start(const wchar_t* commandLine) {
    std::wstring writable(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started)) {
        std::fprintf(stderr, "could not start the program: error %lu\n", ::GetLastError());
        return win32::UniqueHandle();
    }
    ::CloseHandle(started.hThread);
    return win32::UniqueHandle(started.hProcess);
}

int RunCommandLine(const wchar_t* secondsText, const wchar_t* commandLine) {
    const win32::UniqueHandle process = Start(commandLine);
    if (!process) return kNotRun;
    const DWORD limit = static_cast<DWORD>(std::wcstoul(secondsText, nullptr, 10) * 1000);
    DWORD exitCode = 0;
    if (::WaitForSingleObject(process.get(), limit) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.get(), &exitCode)) {
        std::fprintf(stderr, "the program did not end in time\n");
        return kNotRun;
    }
    return static_cast<int>(exitCode);
}

// Polls every 100 ms until the window's presence is `wanted` or the time is up.
int WaitForWindow(const wchar_t* title, const wchar_t* secondsText, bool wanted) {
    const unsigned long seconds = std::wcstoul(secondsText, nullptr, 10);
    const ULONGLONG deadline = ::GetTickCount64() + seconds * 1000ULL;
    for (;;) {
        const HWND window = ::FindWindowW(nullptr, title);
        if ((window != nullptr) == wanted) {
            if (window) {
                DWORD processId = 0;
                ::GetWindowThreadProcessId(window, &processId);
                const win32::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
                std::wstring image(32768, L'\0');
                DWORD length = static_cast<DWORD>(image.size());
                if (!process || !::QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) length = 0;
                image.resize(length);
                PrintLine(image);
                PrintLine(::IsWindowVisible(window) ? L"visible" : L"hidden");
            }
            return 0;
        }
        if (::GetTickCount64() >= deadline) return 1;
        ::Sleep(100);
    }
}

int PrintManifest(const wchar_t* path) {
    const HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return 1;
    int status = 1;
    if (const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        const HGLOBAL loaded = ::LoadResource(module, found);
        const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
        if (bytes) {
            std::fwrite(bytes, 1, ::SizeofResource(module, found), stdout);
            status = 0;
        }
    }
    ::FreeLibrary(module);
    return status;
}

int PrintTaskXml(const wchar_t* folder, const wchar_t* name) {
    const win32::ComApartment com;
    const win32::TaskScheduler scheduler;
    HRESULT error = S_OK;
    const auto xml = scheduler.RegisteredXml(folder, name, &error);
    if (!xml) {
        std::fprintf(stderr, "no such task: %ls\n", win32::ErrorCodeText(error).c_str());
        return 1;
    }
    PrintLine(*xml);
    return 0;
}

int PrintLogonTaskXml(const wchar_t* folder) {
    const auto xml = common::TaskXml(installer::DocklineLogonTask(folder));
    if (!xml) return 1;
    PrintLine(*xml);
    return 0;
}

struct ProcessWindowSearch {
    DWORD processId;
    const wchar_t* windowClass;
    int controlId;
    HWND found = nullptr;
};

// A top-level window of the process and class, holding the control when one is named.
HWND FindWindowOfProcess(DWORD processId, const wchar_t* windowClass, int controlId) {
    ProcessWindowSearch search{processId, windowClass, controlId};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& wanted = *reinterpret_cast<ProcessWindowSearch*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (owner != wanted.processId || std::wcscmp(name, wanted.windowClass) != 0 ||
                (wanted.controlId != 0 && !::GetDlgItem(window, wanted.controlId))) {
                return TRUE;
            }
            wanted.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindowOfProcess(DWORD processId, const wchar_t* windowClass, int controlId = 0) {
    for (int tries = 0; tries < 300; ++tries) {
        if (const HWND window = FindWindowOfProcess(processId, windowClass, controlId)) return window;
        ::Sleep(100);
    }
    return nullptr;
}

int PrintAboutComponentVersion(const wchar_t* folder) {
    std::wstring commandLine = L"\"" + std::wstring(folder) + L"\\Copperfold.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &started)) {
        std::fprintf(stderr, "could not start Copperfold: error %lu\n", ::GetLastError());
        return 1;
    }
    ::CloseHandle(started.hThread);
    const win32::UniqueHandle process(started.hProcess);
    int status = 1;
    if (const HWND frame = WaitForWindowOfProcess(started.dwProcessId, L"CopperfoldFrame")) {
        ::PostMessageW(frame, WM_COMMAND, ID_APP_ABOUT, 0);
        if (const HWND about = WaitForWindowOfProcess(started.dwProcessId, L"#32770", IDC_SDK_VERSION_TEXT)) {
            wchar_t text[256] = {};
            ::GetDlgItemTextW(about, IDC_SDK_VERSION_TEXT, text, 256);
            PrintLine(text);
            status = 0;
            ::PostMessageW(about, WM_COMMAND, IDOK, 0);
        } else {
            std::fprintf(stderr, "the About box did not open\n");
        }
        ::PostMessageW(frame, WM_CLOSE, 0, 0);
    } else {
        std::fprintf(stderr, "Copperfold's window did not appear\n");
    }
    if (::WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "Copperfold did not close\n");
        ::TerminateProcess(process.get(), 1);
        status = 1;
    }
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring_view command = argc > 1 ? argv[1] : L"";
    if (command == L"com" && argc == 2) return CheckComponent();
    if (command == L"reg" && argc == 4) return PrintValue(argv[2], argv[3]);
    if (command == L"key" && argc == 3) return OpenMachineKey(argv[2]) ? 0 : 1;
    if (command == L"start" && argc == 3) return Start(argv[2]) ? 0 : 1;
    if (command == L"run" && argc == 4) return RunCommandLine(argv[2], argv[3]);
    if (command == L"window" && argc == 4) return WaitForWindow(argv[2], argv[3], true);
    if (command == L"no-window" && argc == 4) return WaitForWindow(argv[2], argv[3], false);
    if (command == L"version" && argc == 3) {
        const std::wstring version = win32::ReadFileVersion(argv[2]);
        if (version.empty()) return 1;
        PrintLine(version);
        return 0;
    }
    if (command == L"manifest" && argc == 3) return PrintManifest(argv[2]);
    if (command == L"task" && argc == 4) return PrintTaskXml(argv[2], argv[3]);
    if (command == L"logon-task-xml" && argc == 3) return PrintLogonTaskXml(argv[2]);
    if (command == L"about" && argc == 3) return PrintAboutComponentVersion(argv[2]);
    if (command == L"job-section" && argc == 2) {
        PrintLine(win32::ComputerName() + L"-" + win32::UserName());
        return 0;
    }
    std::fprintf(stderr, "usage: install_check com | reg KEY VALUE | key KEY | start COMMAND_LINE | run SECONDS COMMAND_LINE | "
                         "window TITLE SECONDS | no-window TITLE SECONDS | job-section | version FILE | manifest FILE | "
                         "task FOLDER NAME | logon-task-xml FOLDER | about FOLDER\n");
    return 2;
}
