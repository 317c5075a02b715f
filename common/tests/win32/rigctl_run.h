#pragma once
// Runs rigctl.exe from beside the test program on a rig file, as a user of the demo would, and
// answers its exit code (-1 when it could not be started, 99 when it did not end in time).
// `waitUntil` is the test's own waiting loop, which pumps this thread's messages: rigctl's plug
// and unplug announcements reach the test's windows too.

#include <windows.h>

#include <functional>
#include <string>

#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"

namespace win32_test {

using WaitUntil = std::function<void(const std::function<bool()>& done)>;

inline long RunRigctl(const std::wstring& rigFile, const std::wstring& arguments, const WaitUntil& waitUntil) {
    const std::wstring program = win32::SiblingPath(win32::ModulePath(), L"rigctl.exe");
    std::wstring commandLine = L"\"" + program + L"\" \"" + rigFile + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return -1;
    }
    const win32::UniqueHandle thread(info.hThread);
    const win32::UniqueHandle process(info.hProcess);
    waitUntil([&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; });
    DWORD code = 99;
    ::GetExitCodeProcess(process.get(), &code);
    return static_cast<long>(code);
}

}  // namespace win32_test
