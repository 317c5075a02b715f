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

inline constexpr UINT kTrayCallbackMessage = WM_USER + 1;   // 0x0401
inline constexpr UINT kRestoreMessage = WM_USER + 4;        // 0x0404, from a second instance

}  // namespace copperfold
