#pragma once
// The notification area across a restart of the shell: when the shell (re)creates its taskbar it
// sends every top-level window the registered message "TaskbarCreated", and the icons it held are
// gone; a program that wants its icon back adds it again.

#include <windows.h>
#include <shellapi.h>

namespace win32 {

// The message's number (the same in every process of the session).
UINT TaskbarCreatedMessage();
// Lets the shell's message through to `window` also when this program runs elevated and the
// shell does not.
void AllowTaskbarCreated(HWND window);
// Adds `icon` again after the message; true when it is in the notification area now (also when
// the shell had kept it, as it does when it only redraws).
bool AddNotifyIconAgain(NOTIFYICONDATAW& icon);

}  // namespace win32
