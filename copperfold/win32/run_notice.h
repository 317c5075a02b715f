#pragma once
// How a button-started run ended, shown as a notification of Copperfold's tray icon, for a user
// who may be away from the screen. The notice has an icon of its own (id 2), added for the
// notice whether or not the window is in the tray and removed when the notice closes, is
// clicked or the window goes away, so it never disturbs the minimise-to-tray icon (id 1).

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>

#include "copperfold/core/run_log.h"

namespace copperfold {

inline constexpr UINT kRunNoticeIconId = 2;

class RunNotice {
public:
    using Translator = std::function<std::wstring(std::wstring_view english)>;
    ~RunNotice() { Remove(); }

    // Shows the outcome of `run` with the frame's icon; false when the system refused it.
    bool Show(HWND frame, UINT callbackMessage, HICON icon, const RunLogEntry& run, const Translator& translate);
    // A tray callback for the notice's icon: it ends with the notice.
    void OnTrayEvent(LPARAM event);
    void Remove();
    bool Shown() const { return shown; }

    // The notice's title and text (also for tests).
    static std::wstring Title(const RunLogEntry& run, const Translator& translate);
    static std::wstring Text(const RunLogEntry& run, const Translator& translate);

private:
    NOTIFYICONDATAW data{};
    bool shown = false;
};

}  // namespace copperfold
