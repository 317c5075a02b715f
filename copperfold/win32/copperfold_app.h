#pragma once
// CCopperfoldApp: start-up of Copperfold. Finds the job file beside the program, reads the
// language, keeps the program to one instance, creates the "WriteEvent" handshake event and
// shows the main window.

#include <windows.h>

#include <memory>
#include <string>

#include "common/core/ini_file.h"
#include "common/win32/unique_handle.h"

class CMainFrame;

class CCopperfoldApp {
public:
    explicit CCopperfoldApp(std::wstring programPath);
    ~CCopperfoldApp();
    CCopperfoldApp(const CCopperfoldApp&) = delete;
    CCopperfoldApp& operator=(const CCopperfoldApp&) = delete;

    // The start-up steps; false ends the process.
    bool InitInstance(const std::wstring& commandLine);
    // The message loop; returns the exit code.
    int Run();

    std::wstring Translate(std::wstring_view english, std::wstring_view fallback) const;
    CIniFile* IniFile() const { return iniFile.get(); }
    const std::wstring& Language() const { return language; }
    const std::wstring& JobFilePath() const { return jobFilePath; }
    CMainFrame* MainFrame() const { return mainFrame.get(); }
    HANDLE WriteEvent() const { return writeEvent.get(); }

private:
    std::wstring programPath;
    std::wstring jobFilePath;
    std::unique_ptr<CIniFile> iniFile;
    std::wstring language;
    win32::UniqueHandle instanceMutex;
    win32::UniqueHandle writeEvent;
    std::unique_ptr<CMainFrame> mainFrame;
    bool oleInitialized = false;
};
