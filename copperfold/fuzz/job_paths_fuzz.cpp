// Feeds arbitrary text (UTF-16 units) through what reads job folders from the job file and file
// names from disk: full-path checks and forms, containment, the temporary-name recognisers, the
// names of kept versions' folders, the files picked in them and the restores made of them, the
// number of days typed in the window, the command line and the trimming of the run log.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/core/settings_temp_name.h"
#include "copperfold/core/command_line.h"
#include "copperfold/core/job_options_text.h"
#include "copperfold/core/job_paths.h"
#include "copperfold/core/partial_name.h"
#include "copperfold/core/run_log.h"
#include "copperfold/core/versions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    const std::wstring_view a = std::wstring_view(text).substr(0, text.size() / 2);
    const std::wstring_view b = std::wstring_view(text).substr(text.size() / 2);

    if (copperfold::IsFullJobPath(text) && !copperfold::IsFullJobPath(copperfold::PlatformFullPath(text))) {
        __builtin_trap();  // the full form of a full path is full
    }
    const std::wstring ca = copperfold::ComparablePath(copperfold::PlatformFullPath(a));
    const std::wstring cb = copperfold::ComparablePath(copperfold::PlatformFullPath(b));
    if (copperfold::InsideEachOther(ca, cb) != copperfold::InsideEachOther(cb, ca)) __builtin_trap();
    if (!copperfold::InsideEachOther(ca, ca)) __builtin_trap();

    (void)copperfold::IsPartialFileName(text);
    const std::uint32_t unique = size >= 4 ? static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) : 0;
    if (!copperfold::IsPartialFileName(copperfold::PartialFileName(text, unique))) __builtin_trap();

    (void)common::SettingsTempOwner(a, b);
    const std::wstring_view settingsName = common::FileNameOf(text);
    const std::wstring temp(common::FileNameOf(common::SettingsTempPath(text, unique, 7)));
    if (!settingsName.empty() && common::SettingsTempOwner(temp, settingsName) != unique) __builtin_trap();

    // A version folder's name reads back as the time it was made for, whatever the zone.
    if (const auto time = copperfold::VersionFolderTime(text)) {
        if (copperfold::VersionFolderTime(copperfold::VersionFolderName(*time, 0)) != time) __builtin_trap();
    }
    const int offset = static_cast<int>(unique % (28 * 60)) - 14 * 60;
    const std::uint64_t start = 125'000'000'000'000'000ull + std::uint64_t{unique} * 10'000'000ull;
    if (copperfold::VersionFolderTime(copperfold::VersionFolderName(start, offset, 2)) != start) __builtin_trap();
    JobRecord restore;
    const JobRecord job(L"C:\\Data", L"E:\\Backup", JobType::Sync);
    if (!copperfold::MakeVersionRestore(job, copperfold::JobSide::Target, a, b, restore).Refused() &&
        !copperfold::VersionRestoreRefusal(restore).empty()) {
        __builtin_trap();  // a restore that could be made is one the engine takes
    }
    // A file picked in a version's folder is one a restore of that version takes.
    const std::wstring version = L"E:\\Backup\\.copperfold-versions\\2026-05-01 14.30.05 +0200";
    if (const auto file = copperfold::PathInVersion(version, text);
        file && copperfold::MakeVersionRestore(job, copperfold::JobSide::Target, L"2026-05-01 14.30.05 +0200", *file,
                                               restore)
                    .Refused()) {
        __builtin_trap();
    }
    (void)copperfold::PathInVersion(a, b);
    // The run log as a file of the user's profile may hold anything: its trimmed form is a run's
    // record and what follows it, or nothing.
    const std::wstring trimmed = copperfold::TrimRunLog(text, unique % 8, unique % 4096);
    const std::wstring_view taken = std::wstring_view(trimmed).substr(0, trimmed.size() - std::min<std::size_t>(trimmed.size(), 2));
    if (!trimmed.empty() && (!trimmed.starts_with(L"Run ") || text.find(taken) == std::wstring::npos)) __builtin_trap();
    (void)copperfold::ParseKeepDays(text);
    (void)copperfold::ParseCommandLine(text);
    return 0;
}
