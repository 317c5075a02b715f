#pragma once
// Dockline.exe started from a test folder, as a user (or the logon) would start it.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/tests/win32/child_process.h"
#include "common/win32/system_info.h"
#include "test_windows.h"

namespace dockline_test {

// Copies the program and its pictures from beside the test into `folder`.
inline void InstallDockline(const std::wstring& folder) {
    for (const wchar_t* name : {L"Dockline.exe", L"bar.png", L"copperfold.png", L"explorer.png"}) {
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), name), folder + L"\\" + name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

class DocklineProcess {
public:
    DocklineProcess(const std::wstring& folder, const std::wstring& arguments)
        : process_(folder + L"\\Dockline.exe", arguments, folder) {}
    ~DocklineProcess() {
        // Asked to close as a user would; the process ends it by force after that.
        if (HWND bar = Window()) ::PostMessageW(bar, WM_CLOSE, 0, 0);
        process_.WaitForExit(std::chrono::seconds(10));
    }
    DocklineProcess(const DocklineProcess&) = delete;
    DocklineProcess& operator=(const DocklineProcess&) = delete;

    bool Started() const { return process_.Started(); }
    DWORD ProcessId() const { return process_.ProcessId(); }
    // The bar's window, once the program has created it.
    HWND Window() const {
        HWND found = nullptr;
        for (HWND window = ::FindWindowW(nullptr, L"Dockline"); window;
             window = ::FindWindowExW(nullptr, window, nullptr, L"Dockline")) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == process_.ProcessId()) found = window;
        }
        return found;
    }
    // The first start in a Wine session also brings up the session's COM and imaging services,
    // which on a loaded machine has taken more than 20 s; a minute is the limit.
    HWND WaitForWindow() const {
        HWND bar = nullptr;
        WaitFor([&] { return (bar = Window()) != nullptr; }, std::chrono::seconds(60));
        return bar;
    }
    // The exit code, or -1 while it still runs after `limit`.
    long WaitForExit(std::chrono::milliseconds limit) { return process_.WaitForExit(limit); }

private:
    win32_test::ChildProcess process_;
};

}  // namespace dockline_test
