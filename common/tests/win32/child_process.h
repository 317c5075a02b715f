#pragma once
// A program a test starts as a separate process, ended (if still running) when the test is done.

#include <windows.h>

#include <chrono>
#include <string>

namespace win32_test {

class ChildProcess {
public:
    // Starts `program` with `arguments` in `folder` (the test's own folder when empty).
    ChildProcess(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder = {}) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    folder.empty() ? nullptr : folder.c_str(), &startup, &info_) != 0;
        if (started_) ::CloseHandle(info_.hThread);
    }
    ~ChildProcess() {
        if (!started_) return;
        if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(info_.hProcess, 99);
        ::CloseHandle(info_.hProcess);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return started_; }
    DWORD ProcessId() const { return info_.dwProcessId; }
    // The exit code, or -1 while it still runs after `limit`.
    long WaitForExit(std::chrono::milliseconds limit) {
        if (!started_ || ::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

}  // namespace win32_test
