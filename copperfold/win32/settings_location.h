#pragma once
// Which files Copperfold reads and writes (see copperfold/core/settings_store.h).
//
// An installed copy and one that is not are told apart by the machine's list of programs: a
// Copperfold whose folder is the "InstallLocation" of setup's uninstall entry
// (HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Copperfold) is installed; it keeps
// each user's jobs and settings in "%APPDATA%\Copperfold\Copperfold.ini" and only reads the
// program folder's file. Any other copy (a build folder, a folder its user unpacked it into,
// the tests' and the demo's) keeps everything in the "Copperfold.ini" beside the program, as
// before. The answer depends on where the program lies, not on who runs it: the same user gets
// the same file elevated or not.

#include <memory>
#include <string>

#include "copperfold/core/settings_store.h"

namespace copperfold {

struct SettingsLocation {
    bool installed = false;
    std::wstring programFile;  // beside the program
    std::wstring userFile;     // the same path when not installed
};

// For the program at `programPath`. An installed copy's profile folder is created when missing.
SettingsLocation LocateSettings(const std::wstring& programPath);
std::unique_ptr<SettingsStore> OpenSettings(const SettingsLocation& location);

// True unless the file and its folder are writable only by the system and administrators:
// a group every user belongs to (Everyone, Users, Authenticated Users, Interactive, ...) may
// write, delete or re-permit the file or add to its folder, or it has no permissions at all, or
// they cannot be read.
bool WritableByOrdinaryUsers(const std::wstring& path);

// `a` and `b` name the same folder, or the same file (full, long forms compared without regard
// to case, a trailing backslash ignored).
bool SameFolder(const std::wstring& a, const std::wstring& b);

}  // namespace copperfold
