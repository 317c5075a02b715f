#pragma once
// CDocklineApp: start-up of the launcher bar. Reads Dockline.ini beside the program (never
// writing it), keeps the bar to one instance, runs the bar window until it closes, and
// launches the bar's commands through the shell.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/core/ini_file.h"
#include "common/win32/unique_handle.h"
#include "dockline/core/dockline_settings.h"

inline constexpr wchar_t kDocklineTitle[] = L"Dockline";
inline constexpr wchar_t kDocklineMutexName[] = L"TOVI Dockline";

class CDocklineApp {
public:
    // How a failure reaches the user: owner window, text, caption. A message box unless a
    // caller (a test) says otherwise.
    using ErrorReporter = std::function<void(HWND, const std::wstring&, const std::wstring&)>;

    CDocklineApp(std::wstring programPath, std::wstring commandLine);
    ~CDocklineApp();
    CDocklineApp(const CDocklineApp&) = delete;
    CDocklineApp& operator=(const CDocklineApp&) = delete;

    // The whole run; the process's exit code.
    int Main();
    // Settings, language and the single-instance mutex; false ends the program.
    bool InitInstance();
    // The bar window, modally, until it closes.
    void RunBar();

    // Opens the command stored under `key` ("CMD2" ... "CMD7") with the shell; a failure is
    // reported with the owner `owner`.
    void LaunchCommand(std::wstring_view key, HWND owner);
    std::wstring Translate(std::wstring_view english) const;

    const dockline::DocklineSettings& Settings() const { return *settings_; }
    CIniFile& IniFile() const { return *iniFile_; }
    const std::wstring& Language() const { return language_; }
    std::wstring ProgramDirectory() const { return dockline::ProgramDirectory(programPath_); }
    bool StartHidden() const { return dockline::HasStartHiddenSwitch(commandLine_); }
    void SetErrorReporter(ErrorReporter reporter) { reportError_ = std::move(reporter); }
    void ReportError(HWND owner, const std::wstring& text) const;

private:
    std::wstring programPath_;
    std::wstring commandLine_;
    std::unique_ptr<CIniFile> iniFile_;
    std::unique_ptr<dockline::DocklineSettings> settings_;
    std::wstring language_;
    win32::UniqueHandle instanceMutex_;
    ErrorReporter reportError_;
};
