#pragma once
// Ending the suite's running programs before their files are replaced or removed, the way the
// programs themselves agree to end: Copperfold's window is asked with the busy query (0x0406)
// until it answers idle, then closed with WM_CLOSE; Dockline's bar is closed with WM_CLOSE;
// a Copperfold that runs jobs from the command line has no window to ask and is waited for.
// Nothing is closed until no run is in progress any more, and nothing is ended by force: a run
// still going when the time is up, or a program that does not end after being closed, is
// reported. A program of the folder running in another session (another user's, or the same
// user's elsewhere) cannot be reached from here: it is named with its user and session and
// nothing is closed.

#include <chrono>
#include <functional>
#include <string>

namespace installer {

// The session this process runs in.
unsigned long CurrentSession();

enum class CloseResult {
    Closed,     // none of the suite's programs from the folder runs any more
    StillBusy,  // a Copperfold run was still in progress when the time was up
    NotEnding,  // a program was asked to end but still runs (a dialog of its own may be open)
    InAnotherSession,  // a program runs in another session; nothing was closed
};

struct CloseRequest {
    std::wstring folder;               // the installation folder; programs started from elsewhere are left alone
    std::chrono::milliseconds limit{};  // the longest wait for runs in progress to end
    std::function<void(const std::wstring&)> say;  // progress texts for the person installing
    // The session setup runs in; a program of any other one is out of reach.
    unsigned long session = CurrentSession();
};

CloseResult CloseSuitePrograms(const CloseRequest& request);

}  // namespace installer
