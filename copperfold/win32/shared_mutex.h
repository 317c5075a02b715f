#pragma once
// The program's named mutexes ("TOVI Copperfold", the single instance; "TOVI Copperfold Run",
// runs taking turns), shared by every process of one user, elevated or not. They are created
// with permissions for the system, the administrators and this user, so a Copperfold started
// from the Start menu can open the one an elevated Copperfold (started by Dockline) made. A
// mutex the system still refuses (one made by an older version running elevated, or by another
// user in this session) is held by another instance: the start behaves as a second instance
// and a run waits its turn or is refused, never goes ahead unguarded.

#include <windows.h>

#include "common/win32/unique_handle.h"

namespace copperfold {

struct NamedMutex {
    enum class State {
        Created,  // this process made it (and owns it when asked to)
        Existed,  // another process made it; `handle` opens it
        Denied,   // another process made it and this one may not open it
        Failed,   // the name is taken by another kind of object, or the system refused otherwise
    };
    State state = State::Failed;
    win32::UniqueHandle handle;
    DWORD error = ERROR_SUCCESS;
};

NamedMutex CreateSharedMutex(const wchar_t* name, bool initialOwner);

// A run's turn from the command line: waits until the run mutex is this process's (an
// abandoned one counts), at most `limitMs`, since whoever holds it (a hung run, another program
// squatting the name) may never let go. While the system refuses the mutex, asks again every half
// second. Once the wait has lasted a second, calls `waiting` once, telling whether the holder is
// one this process may not open (elevated, or another user's).
struct RunTurn {
    enum class State { Taken, TimedOut, Failed };
    State state = State::Failed;
    win32::UniqueHandle mutex;  // owned by the calling thread when Taken
};
RunTurn WaitForRunTurn(const wchar_t* name, DWORD limitMs, void (*waiting)(bool holderRefusesUs));

// A manual-reset event under the program's name for it ("WriteEvent", "CopyFileEvent"), or one of
// this process alone when another program holds that name with what this one cannot use (another
// kind of object, another user's event): only this process's own threads wait on it, so the
// name must never stop the program. Null only when the system makes no event at all.
win32::UniqueHandle CreateProgramEvent(const wchar_t* name, bool signalled);

}  // namespace copperfold
