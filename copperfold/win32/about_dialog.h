#pragma once
// CAboutDlg: the program's version and the version of the device-access component the program
// uses: the file its class is registered to, else the one in the system folder.

#include <functional>
#include <string>
#include <string_view>

#include "common/win32/dialog.h"

class CAboutDlg : public win32::Dialog {
public:
    using Translator = std::function<std::wstring(std::wstring_view english)>;
    // Without a translator every text is English.
    explicit CAboutDlg(Translator translate = {});

    static std::wstring ProgramVersionText();     // ": " and the program's FileVersion
    static std::wstring ComponentVersionText();   // "SDK Ver:" and Corelink.ax's FileVersion
    // The component's file: its class's InprocServer32, when that file has a version; else
    // Corelink.ax in the system folder.
    static std::wstring ComponentFile();

protected:
    bool OnInitDialog() override;

private:
    Translator translate;
};
