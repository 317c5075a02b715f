#include "notify_icon.h"

namespace win32 {

UINT TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

void AllowTaskbarCreated(HWND window) {
    if (const UINT message = TaskbarCreatedMessage()) ::ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
}

bool AddNotifyIconAgain(NOTIFYICONDATAW& icon) {
    return ::Shell_NotifyIconW(NIM_ADD, &icon) || ::Shell_NotifyIconW(NIM_MODIFY, &icon);
}

}  // namespace win32
