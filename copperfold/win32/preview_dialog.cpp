#include "preview_dialog.h"

#include "preview_dialog_resource.h"

CPreviewDialog::CPreviewDialog(Translator translator, std::wstring lines, std::wstring confirmText)
    : Dialog(IDD_PREVIEW), translate(std::move(translator)), text(std::move(lines)), confirm(std::move(confirmText)) {}

bool CPreviewDialog::OnInitDialog() {
    const auto tr = [this](std::wstring_view english) {
        return translate ? translate(english, english) : std::wstring(english);
    };
    ::SetWindowTextW(Handle(), tr(L"Preview").c_str());
    SetItemText(IDOK, confirm.empty() ? tr(L"&Close") : confirm);
    if (!confirm.empty()) {
        // The confirming button left of Cancel, where the template keeps Cancel hidden.
        const HWND ok = ::GetDlgItem(Handle(), IDOK), cancel = ::GetDlgItem(Handle(), IDCANCEL);
        RECT okPlace{}, cancelPlace{};
        ::GetWindowRect(ok, &okPlace);
        ::GetWindowRect(cancel, &cancelPlace);
        ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&okPlace), 2);
        ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&cancelPlace), 2);
        ::SetWindowPos(ok, nullptr, cancelPlace.left, cancelPlace.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::SetWindowPos(cancel, nullptr, okPlace.left, okPlace.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        SetItemText(IDCANCEL, tr(L"&Cancel"));
        ::ShowWindow(cancel, SW_SHOW);
    }
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
