#pragma once
// CAboutDlg: the program's version and the version of the installed device-access component.

#include <string>

#include "common/win32/dialog.h"

class CAboutDlg : public win32::Dialog {
public:
    CAboutDlg();

    static std::wstring ProgramVersionText();     // ": " and the program's FileVersion
    static std::wstring ComponentVersionText();   // "SDK Ver:" and Corelink.ax's FileVersion

protected:
    bool OnInitDialog() override;
};
