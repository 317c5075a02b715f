#include "copperfold_app.h"

#include <commctrl.h>
#include <ole2.h>

#include <cstdio>

#include "app_messages.h"
#include "common/core/translate.h"
#include "common/win32/system_info.h"
#include "common/win32/window.h"
#include "main_frame.h"
#include "resource.h"

namespace {

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

}  // namespace

CCopperfoldApp::CCopperfoldApp(std::wstring path) : programPath(std::move(path)) {}

CCopperfoldApp::~CCopperfoldApp() {
    mainFrame.reset();
    iniFile.reset();
    writeEvent.reset();
    instanceMutex.reset();
    if (oleInitialized) ::OleUninitialize();
}

bool CCopperfoldApp::InitInstance(const std::wstring& commandLine) {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);
    if (FAILED(::OleInitialize(nullptr))) {
        ::MessageBoxW(nullptr, LoadResourceString(IDS_OLE_INIT_FAILED).c_str(), copperfold::kMainWindowTitle,
                      MB_OK | MB_ICONSTOP);
        return false;
    }
    oleInitialized = true;

    if (programPath.empty()) return false;
    jobFilePath = win32::SiblingPath(programPath, copperfold::kJobFileName);
    iniFile = std::make_unique<CIniFile>(jobFilePath);
    language = common::ReadLanguage(*iniFile);

    instanceMutex.reset(::CreateMutexW(nullptr, TRUE, copperfold::kInstanceMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (const HWND running = ::FindWindowW(nullptr, copperfold::kMainWindowTitle)) {
            ::SendMessageW(running, copperfold::kRestoreMessage, 0, 0);
        }
        return false;
    }

    writeEvent.reset(::CreateEventW(nullptr, TRUE, TRUE, copperfold::kWriteEventName));
    if (!writeEvent) {
        wchar_t message[64];
        std::swprintf(message, 64, L"CreateEvent failed (%lu)\n", ::GetLastError());
        win32::ShowError(nullptr, message, L"Error Message");
        return false;
    }

    // Copperfold takes no command-line arguments of its own yet.
    if (!commandLine.empty() && commandLine.find_first_not_of(L" \t") != std::wstring::npos) {
        const std::wstring message = Translate(L"Unknown command-line argument:", L"Unknown command-line argument:") +
                                     L" " + commandLine;
        win32::ShowError(nullptr, message.c_str(), L"Error Message");
        return false;
    }

    mainFrame = std::make_unique<CMainFrame>(*this);
    if (!mainFrame->Create()) return false;
    ::SetWindowTextW(mainFrame->Handle(), copperfold::kMainWindowTitle);
    ::ShowWindow(mainFrame->Handle(), SW_SHOW);
    ::UpdateWindow(mainFrame->Handle());
    return true;
}

int CCopperfoldApp::Run() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

std::wstring CCopperfoldApp::Translate(std::wstring_view english, std::wstring_view fallback) const {
    return common::Translate(*iniFile, language, english, fallback);
}
