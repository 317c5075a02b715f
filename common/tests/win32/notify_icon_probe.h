#pragma once
// Looking at another window's icon in the notification area from a test: only an icon that is
// there can be changed (a change that changes nothing), and any program can remove it, as a
// restarting shell loses it.

#include <gtest/gtest.h>
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

// The shell restarts: its new notification area lacks the icon until the program adds it again,
// and the window stays hidden.
inline ::testing::AssertionResult IconBackAfterShellRestart(HWND window, UINT id) {
    if (!NotifyIconShown(window, id)) return ::testing::AssertionFailure() << "no icon to begin with";
    DropNotifyIcon(window, id);
    if (NotifyIconShown(window, id)) return ::testing::AssertionFailure() << "the icon could not be taken away";
    SendTaskbarCreated(window);
    if (!NotifyIconShown(window, id)) return ::testing::AssertionFailure() << "the icon did not come back";
    if (::IsWindowVisible(window)) return ::testing::AssertionFailure() << "the window showed itself";
    return ::testing::AssertionSuccess();
}

}  // namespace win32_test
