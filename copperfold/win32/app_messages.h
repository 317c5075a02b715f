#pragma once
// Messages between Copperfold, Dockline and a second Copperfold instance (WM_USER based).

#include <windows.h>

namespace copperfold {

inline constexpr wchar_t kMainWindowTitle[] = L"Copperfold";
inline constexpr wchar_t kInstanceMutexName[] = L"TOVI Copperfold";
inline constexpr wchar_t kWriteEventName[] = L"WriteEvent";
// Held by whichever run copies, so runs from the command line and the window take turns.
inline constexpr wchar_t kRunMutexName[] = L"TOVI Copperfold Run";
inline constexpr wchar_t kJobFileName[] = L"Copperfold.ini";
// In section "Setting": 1 stops the enclosure for unplugging after a successful button run.
inline constexpr wchar_t kEjectAfterButtonRunKey[] = L"EjectAfterButtonRun";

inline constexpr UINT kTrayCallbackMessage = WM_USER + 1;   // 0x0401
inline constexpr UINT kRestoreMessage = WM_USER + 4;        // 0x0404, from a second instance

// From Dockline, each after a copy-data record carrying the device table.
inline constexpr UINT kButtonPressedMessage = WM_USER + 5;  // 0x0405: run the pressed device's jobs
inline constexpr UINT kBusyQueryMessage = WM_USER + 6;      // 0x0406: answers 1 while a run is in progress
// The busy query's wParam from a sender that only wants to know (Dockline waiting for the end of
// a press's run): a run of the Execute command goes on. With 0 the question also stops it.
inline constexpr WPARAM kBusyQueryOnlyAsk = 1;
inline constexpr UINT kVolumesArrivedMessage = WM_USER + 7; // 0x0407, wParam unit mask
inline constexpr UINT kVolumesRemovedMessage = WM_USER + 8; // 0x0408, wParam unit mask
// To the window titled "Dockline" after a button-started run: poll the button again.
inline constexpr UINT kButtonRunEndedMessage = WM_USER + 9; // 0x0409
inline constexpr wchar_t kDocklineWindowTitle[] = L"Dockline";
// How long another program's window (Dockline, a running Copperfold) may take to take in a
// message before it is given up on.
inline constexpr UINT kPeerAnswerLimitMs = 2000;

}  // namespace copperfold
