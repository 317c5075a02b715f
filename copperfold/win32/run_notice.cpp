#include "run_notice.h"

#include <cwchar>

namespace copperfold {

std::wstring RunNotice::Title(const RunLogEntry& run, const Translator& translate) {
    switch (run.result) {
    case RunResult::Done:
        return translate(L"The backup is done");
    case RunResult::Cancelled:
        return translate(L"The backup was cancelled");
    case RunResult::Failed:
        break;
    }
    return translate(L"The backup failed");
}

std::wstring RunNotice::Text(const RunLogEntry& run, const Translator& translate) {
    std::wstring text = GroupedNumber(run.filesCopied) + L" " + translate(L"files copied") + L", " +
                        GroupedNumber(run.bytesCopied) + L" " + translate(L"bytes");
    if (!run.error.empty()) text += L"\n" + run.error;
    if (!run.eject.empty()) text += L"\n" + translate(run.eject);
    return text;
}

bool RunNotice::Show(HWND frame, UINT callbackMessage, HICON icon, const RunLogEntry& run,
                     const Translator& translate) {
    Remove();
    data = NOTIFYICONDATAW{};
    data.cbSize = sizeof data;
    data.hWnd = frame;
    data.uID = kRunNoticeIconId;
    data.uFlags = NIF_MESSAGE | NIF_TIP | NIF_INFO | (icon ? NIF_ICON : 0);
    data.uCallbackMessage = callbackMessage;
    data.hIcon = icon;
    wcsncpy_s(data.szTip, L"Copperfold", _TRUNCATE);
    wcsncpy_s(data.szInfoTitle, Title(run, translate).c_str(), _TRUNCATE);
    wcsncpy_s(data.szInfo, Text(run, translate).c_str(), _TRUNCATE);
    data.dwInfoFlags = run.result == RunResult::Done ? NIIF_INFO : NIIF_WARNING;
    shown = ::Shell_NotifyIconW(NIM_ADD, &data) != 0;
    return shown;
}

void RunNotice::OnTrayEvent(LPARAM event) {
    switch (static_cast<UINT>(event)) {
    case NIN_BALLOONHIDE:
    case NIN_BALLOONTIMEOUT:
    case NIN_BALLOONUSERCLICK:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        Remove();
        break;
    default:
        break;
    }
}

void RunNotice::Remove() {
    if (!shown) return;
    ::Shell_NotifyIconW(NIM_DELETE, &data);
    shown = false;
}

}  // namespace copperfold
