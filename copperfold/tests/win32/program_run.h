#pragma once
// Runs a copy of a program of ours as a scheduler would, with its standard error and output
// caught in files, for the tests of runs from the command line.

#include <windows.h>

#include <functional>
#include <string>

#include "common/tests/win32/temp_folder.h"
#include "common/win32/unique_handle.h"

namespace testing_support {

struct ProgramResult {
    long exitCode = -1;  // -1: it did not start or did not end within the limit
    std::string errors;  // standard error
    std::string output;  // standard output
};

// `program` with `arguments`; the caught streams are kept in `scratchFolder`. `whileRunning`
// gets the process while it runs; a process still running after `limitMs` is ended.
inline ProgramResult RunProgram(const std::wstring& program, const std::wstring& arguments,
                                const std::wstring& scratchFolder,
                                const std::function<void(HANDLE process)>& whileRunning = {}, DWORD limitMs = 60000) {
    const std::wstring errorFile = scratchFolder + L"\\stderr.txt";
    const std::wstring outputFile = scratchFolder + L"\\stdout.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    win32::UniqueFile errors(
        ::CreateFileW(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    win32::UniqueFile output(
        ::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = errors.get();
    startup.hStdOutput = output.get();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION info{};
    ProgramResult result;
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return result;
    }
    win32::UniqueHandle process(info.hProcess);
    win32::UniqueHandle thread(info.hThread);
    if (whileRunning) whileRunning(process.get());
    if (::WaitForSingleObject(process.get(), limitMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(process.get(), &code);
        result.exitCode = static_cast<long>(code);
    } else {
        ::TerminateProcess(process.get(), 99);
    }
    errors.reset();
    output.reset();
    result.errors = ReadBytes(errorFile);
    result.output = ReadBytes(outputFile);
    return result;
}

}  // namespace testing_support
