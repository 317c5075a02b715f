#pragma once
// "Start Copperfold in the notification area at logon": the current user's Run value
// (HKCU\Software\Microsoft\Windows\CurrentVersion\Run, "Copperfold") naming this program with
// "/tray". The system starts it at that user's logon with the user's ordinary rights, which is
// all Copperfold asks for, so it starts also under UAC. Off unless the user (or setup's finish
// page, for the user who installs) switches it on; the value itself is the setting.

#include <windows.h>

#include <string>

namespace copperfold {

inline constexpr wchar_t kLogonRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kLogonRunValue[] = L"Copperfold";

// "\"C:\...\Copperfold.exe\" /tray", as the value holds it.
std::wstring LogonStartCommand(const std::wstring& programPath);
// True when the value is there and starts the program at `programPath` (the path compared as a
// path: case, short and long forms aside).
bool StartsAtLogon(const std::wstring& programPath);
// Writes or removes the value; the system's error code (ERROR_SUCCESS also when there was
// nothing to remove).
LSTATUS SetStartAtLogon(const std::wstring& programPath, bool on);

}  // namespace copperfold
