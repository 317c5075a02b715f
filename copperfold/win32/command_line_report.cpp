#include "command_line_report.h"

#include <windows.h>

#include "common/core/text_codec.h"
#include "common/win32/window.h"

namespace {

bool WriteToStandardError(const std::wstring& text) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
        error = ::GetStdHandle(STD_ERROR_HANDLE);
        if (error == nullptr || error == INVALID_HANDLE_VALUE) return false;
    }
    const std::wstring line = text + L"\r\n";
    DWORD written = 0;
    if (::GetFileType(error) == FILE_TYPE_CHAR &&
        ::WriteConsoleW(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        return true;
    }
    const std::string bytes = common::WideToUtf8(line).value_or("");
    return ::WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written > 0;
}

}  // namespace

void ReportCommandLineError(const std::wstring& text, bool unattended) {
    if (WriteToStandardError(text)) return;
    if (unattended) {
        // Nobody may be there to click a box: the debugger output is the last place left.
        ::OutputDebugStringW((L"Copperfold: " + text + L"\n").c_str());
        return;
    }
    win32::ShowError(nullptr, text.c_str(), L"Error Message");
}
