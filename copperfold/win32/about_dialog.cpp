#include "about_dialog.h"

#include "common/win32/system_info.h"
#include "common/win32/version_info.h"
#include "resource.h"

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}

std::wstring CAboutDlg::ProgramVersionText() {
    return L": " + win32::ReadFileVersion(win32::ModulePath());
}

std::wstring CAboutDlg::ComponentVersionText() {
    return L"SDK Ver:" + win32::ReadFileVersion(win32::SystemDirectory() + L"\\Corelink.ax");
}

bool CAboutDlg::OnInitDialog() {
    SetItemText(IDC_VERSION_TEXT, ProgramVersionText());
    SetItemText(IDC_SDK_VERSION_TEXT, ComponentVersionText());
    return true;
}
