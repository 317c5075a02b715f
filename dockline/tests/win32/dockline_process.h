#pragma once
// Dockline.exe started from a test folder, as a user (or the logon) would start it.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

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
    DocklineProcess(const std::wstring& folder, const std::wstring& arguments) {
        const std::wstring program = folder + L"\\Dockline.exe";
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    folder.c_str(), &startup, &info_) != 0;
        if (started_) ::CloseHandle(info_.hThread);
    }
    ~DocklineProcess() {
        if (!started_) return;
        if (HWND bar = Window()) ::PostMessageW(bar, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(info_.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(info_.hProcess, 99);
        ::CloseHandle(info_.hProcess);
    }
    DocklineProcess(const DocklineProcess&) = delete;
    DocklineProcess& operator=(const DocklineProcess&) = delete;

    bool Started() const { return started_; }
    DWORD ProcessId() const { return info_.dwProcessId; }
    // The bar's window, once the program has created it.
    HWND Window() const {
        HWND found = nullptr;
        for (HWND window = ::FindWindowW(nullptr, L"Dockline"); window;
             window = ::FindWindowExW(nullptr, window, nullptr, L"Dockline")) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == info_.dwProcessId) found = window;
        }
        return found;
    }
    HWND WaitForWindow() const {
        HWND bar = nullptr;
        WaitFor([&] { return (bar = Window()) != nullptr; }, std::chrono::seconds(20));
        return bar;
    }
    // The exit code, or -1 while it still runs after `limit`.
    long WaitForExit(std::chrono::milliseconds limit) {
        if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

}  // namespace dockline_test
