#include "command_line_report.h"

#include <windows.h>

#include "common/core/text_codec.h"
#include "common/win32/window.h"

namespace {

// `text` to a standard stream (STD_ERROR_HANDLE or STD_OUTPUT_HANDLE): a console gets it as
// text, a file or pipe as UTF-8.
bool WriteToStandardStream(DWORD stream, const std::wstring& text) {
    HANDLE handle = ::GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
        handle = ::GetStdHandle(stream);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    }
    DWORD written = 0;
    if (::GetFileType(handle) == FILE_TYPE_CHAR &&
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        return true;
    }
    const std::string bytes = common::WideToUtf8(text).value_or("");
    return ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written > 0;
}

}  // namespace

bool WriteStandardOutput(const std::wstring& text) { return WriteToStandardStream(STD_OUTPUT_HANDLE, text); }

void ReportCommandLineError(const std::wstring& text, bool unattended) {
    if (WriteToStandardStream(STD_ERROR_HANDLE, text + L"\r\n")) return;
    if (unattended) {
        // Nobody may be there to click a box: the debugger output is the last place left.
        ::OutputDebugStringW((L"Copperfold: " + text + L"\n").c_str());
        return;
    }
    win32::ShowError(nullptr, text.c_str(), L"Error Message");
}
