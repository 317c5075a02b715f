#include "about_dialog.h"

#include <objbase.h>

#include <utility>

#include "corelink_api.h"

#include "common/win32/system_info.h"
#include "common/win32/version_info.h"
#include "copperfold/core/preflight.h"
#include "resource.h"

CAboutDlg::CAboutDlg(Translator translator) : Dialog(IDD_ABOUTBOX), translate(std::move(translator)) {}

std::wstring CAboutDlg::ProgramVersionText() {
    return L": " + win32::ReadFileVersion(win32::ModulePath());
}

std::wstring CAboutDlg::ComponentFile() {
    const std::wstring fallback = win32::SystemDirectory() + L"\\Corelink.ax";
    wchar_t classId[40] = {};
    if (::StringFromGUID2(CLSID_Corelink, classId, 40) == 0) return fallback;
    const auto registered = win32::ReadRegistryText(
        HKEY_CLASSES_ROOT, L"CLSID\\" + std::wstring(classId) + L"\\InprocServer32", L"");
    if (!registered) return fallback;
    std::wstring path = *registered;
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
    // A bare name is looked for where the system looks for it first.
    if (!path.empty() && path.find(L'\\') == std::wstring::npos) path = win32::SystemDirectory() + L"\\" + path;
    return path.empty() || win32::ReadFileVersion(path).empty() ? fallback : path;
}

std::wstring CAboutDlg::ComponentVersionText() {
    return L"SDK Ver:" + win32::ReadFileVersion(ComponentFile());
}

bool CAboutDlg::OnInitDialog() {
    SetItemText(IDC_VERSION_TEXT, ProgramVersionText());
    if (!translate) {
        SetItemText(IDC_SDK_VERSION_TEXT, ComponentVersionText());
        return true;
    }
    ::SetWindowTextW(Handle(), translate(L"About Copperfold").c_str());
    SetItemText(IDC_VERSION_LABEL, translate(L"Copperfold, Version"));
    SetItemText(IDOK, translate(L"OK"));
    SetItemText(IDC_SDK_VERSION_TEXT,
                copperfold::FilledText(translate(L"SDK Ver:%s"), {win32::ReadFileVersion(ComponentFile())}));
    return true;
}
