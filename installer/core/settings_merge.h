#pragma once
// Bringing an installed settings file up to date with the copy a new version ships, without
// losing what its users put there.
//
// The shipped file holds the [Setting] section and the language sections. Every entry of a
// shipped language section is written into the installed file (new texts are added, changed
// translations replaced); [Setting] only gains the keys it lacks, so the user's choices stay.
// Everything else in the installed file (each user's job section, comments, keys of its own)
// is left exactly as it was. All changes reach the file in one atomic replacement.

#include <string>
#include <string_view>

#include "common/core/ini_document.h"
#include "common/core/ini_file.h"
#include "common/core/ini_file_access.h"

namespace installer {

inline constexpr std::wstring_view kSettingSection = L"Setting";

struct MergeOutcome {
    bool ok = false;
    int entriesWritten = 0;  // entries added or changed in the installed file
    std::wstring error;      // why it failed, for the person installing
};

// Merges `shipped` into `installed`. The installed file must be readable (a file that exists
// but cannot be read is never overwritten); a missing one is created from the shipped entries.
MergeOutcome MergeShippedSettings(const common::IniDocument& shipped, CIniFile& installed);

// Installs the shipped file at `installedPath`: copies it byte for byte when nothing is
// installed there yet (so its comments and encoding come along), merges it otherwise.
MergeOutcome InstallSettingsFile(common::IniFileAccess& access, const std::wstring& shippedPath,
                                 const std::wstring& installedPath);

}  // namespace installer
