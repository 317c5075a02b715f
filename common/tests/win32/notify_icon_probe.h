#pragma once
// Looking at another window's icon in the notification area from a test: only an icon that is
// there can be changed (a change that changes nothing), and any program can remove it, as a
// restarting shell loses it.

#include <windows.h>
#include <shellapi.h>

namespace win32_test {

inline NOTIFYICONDATAW IconOf(HWND window, UINT id) {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = id;
    return icon;
}

inline bool NotifyIconShown(HWND window, UINT id) {
    NOTIFYICONDATAW icon = IconOf(window, id);
    return ::Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

inline void DropNotifyIcon(HWND window, UINT id) {
    NOTIFYICONDATAW icon = IconOf(window, id);
    ::Shell_NotifyIconW(NIM_DELETE, &icon);
}

// What the shell sends every top-level window once its notification area is back.
inline void SendTaskbarCreated(HWND window) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

}  // namespace win32_test
