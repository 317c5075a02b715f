#include "preview_dialog.h"

#include "preview_dialog_resource.h"

CPreviewDialog::CPreviewDialog(Translator translator, std::wstring lines)
    : Dialog(IDD_PREVIEW), translate(std::move(translator)), text(std::move(lines)) {}

bool CPreviewDialog::OnInitDialog() {
    const auto tr = [this](std::wstring_view english) {
        return translate ? translate(english, english) : std::wstring(english);
    };
    ::SetWindowTextW(Handle(), tr(L"Preview").c_str());
    SetItemText(IDOK, tr(L"&Close"));
    std::wstring shown;  // the edit control breaks lines at CR LF only
    shown.reserve(text.size() + text.size() / 32);
    for (const wchar_t c : text) {
        if (c == L'\n') shown += L'\r';
        shown += c;
    }
    SetItemText(IDC_PREVIEW_TEXT, shown);
    ::SetFocus(::GetDlgItem(Handle(), IDOK));
    return false;  // the focus is set: Enter closes, the text scrolls with the mouse or after Tab
}
