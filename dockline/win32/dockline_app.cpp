#include "dockline_app.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/core/translate.h"
#include "dockline_dlg.h"
#include "wnd_shadow.h"

CDocklineApp::CDocklineApp(std::wstring programPath, std::wstring commandLine)
    : programPath_(std::move(programPath)), commandLine_(std::move(commandLine)) {
    reportError_ = [](HWND owner, const std::wstring& text, const std::wstring& caption) {
        ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
    };
}

CDocklineApp::~CDocklineApp() = default;

int CDocklineApp::Main() {
    if (InitInstance()) RunBar();
    return 0;
}

bool CDocklineApp::InitInstance() {
    if (programPath_.empty()) return false;
    iniFile_ = std::make_unique<CIniFile>(dockline::ProgramDirectory(programPath_) + dockline::kSettingsFileName);
    settings_ = std::make_unique<dockline::DocklineSettings>(*iniFile_);
    language_ = settings_->Language();

    instanceMutex_.reset(::CreateMutexW(nullptr, TRUE, kDocklineMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // A start at logon (the task and, where UAC is off, the Run value both start the bar)
        // finds the bar running without a message box that would wait for a click.
        if (StartHidden()) {
            ::OutputDebugStringW(L"Dockline: already running; this start at logon ends\n");
        } else {
            reportError_(nullptr, Translate(L"The application is already running."), Translate(L"Error Message"));
        }
        return false;
    }
    return true;
}

void CDocklineApp::RunBar() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    CWndShadow::PrepareShadows(::GetModuleHandleW(nullptr));
    CDocklineDlg bar(*this);
    bar.DoModal(nullptr);
}

void CDocklineApp::LaunchCommand(std::wstring_view key, HWND owner) {
    const std::wstring value = settings_->CommandByKey(key);
    const auto path = dockline::JoinCommandPath(dockline::ProgramDirectory(programPath_), value);
    if (!path) {
        ReportError(owner, L"The command " + std::wstring(key) + L" names a path longer than " +
                               std::to_wstring(dockline::kPathBufferChars - 1) + L" characters: " + value);
        return;
    }
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", path->c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return;
    ReportError(owner, std::wstring(dockline::LaunchErrorText(result)));
}

void CDocklineApp::ReportError(HWND owner, const std::wstring& text) const {
    reportError_(owner, text, Translate(L"Error Message"));
}

std::wstring CDocklineApp::Translate(std::wstring_view english) const {
    return common::Translate(*iniFile_, language_, english, english);
}
