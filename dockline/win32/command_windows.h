#pragma once
// Talking to the programs of the bar's commands, found by their exact window titles: handing
// them the device table, and closing them when the bar ends. Every message sent to them has a
// time limit.

#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/device_table.h"

namespace dockline {

inline constexpr UINT kBusyQueryMessage = WM_USER + 6;  // 0x0406: 1 while a run is in progress
// The busy query's wParam when the bar only wants to know: a Copperfold of this suite then leaves
// a run of its window going (with 0, before the bar closes it, the question also stops that run).
inline constexpr WPARAM kBusyQueryOnlyAsk = 1;

// How long a program may take to accept the device table before it is skipped.
inline constexpr std::chrono::milliseconds kTableAnswerLimit{2000};

// The copy-data message with the table (and `data`), then the posted `followUp` with
// `followUpParam`, to the top-level window titled `title`. False when there is no such window
// (an empty title names none), or when it has not accepted the table within `answerLimit`
// (hung or busy): then nothing follows, and the caller goes on without it.
bool SendTableToWindow(HWND from, std::wstring_view title, ULONG_PTR data, const common::DeviceTable& table,
                       UINT followUp, WPARAM followUpParam, std::chrono::milliseconds answerLimit = kTableAnswerLimit);

// Whether the window titled `title` answers the busy query (only asking) with 1 within
// `answerLimit`; false when it answers 0, is gone or does not answer in time.
bool WindowIsBusy(std::wstring_view title, std::chrono::milliseconds answerLimit = std::chrono::seconds(5));

// For each title (an empty one is skipped): asks the window with the busy query every 200 ms while it answers busy, then
// posts it WM_CLOSE. A window that stops answering for `hungLimit` (hung or gone) is no longer
// waited for, so the bar can always end.
void CloseCommandWindows(const std::vector<std::wstring>& titles,
                         std::chrono::milliseconds hungLimit = std::chrono::seconds(5));

}  // namespace dockline
