#pragma once
// Files a run replaces, kept as versions, and how to go back to them.
//
// A job that keeps versions (JobOptions::keepDays) never lets a copy destroy the file it
// replaces: the file goes, by a rename on its own drive, into the version store of that side,
// one folder at the top of the job's folder there:
//
//   E:\Backup\Photos\.copperfold-versions\2026-05-01 14.30.05 +0200\Trip\beach.jpg
//   (job's folder)   (the store)          (one folder per run)       (path in the job's folder)
//
// A run's folder is named by the run's start in local time with the zone's offset, so that its
// name alone says when it was made on any computer; " (2)" and on follow when a run of the same
// second (or another job of the same run sharing the folder) has one already. The store is known
// by its name and its place (directly in a job's folder, a real folder and no link), not by the
// hidden bit it gets where the drive keeps one; walks never go into it, and nothing in it is
// counted, copied or previewed as a file of the job. A folder of that name anywhere else is the
// user's and copied as any other.
//
// At the start of a job's run its version folders older than its days are removed, within its
// own store only, never through a link, junction or other reparse point; that is the only
// deletion the program makes. A restore puts a version's files back where they came from through
// the copy engine (a job record of its own, VersionRestore), keeping the files it replaces as a
// version first, so that a restore can be undone in turn.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "copperfold_doc.h"
#include "file_system.h"
#include "preflight.h"

namespace copperfold {

inline constexpr std::wstring_view kVersionStoreName = L".copperfold-versions";
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;
inline constexpr std::uint64_t kFileTimeUnitsPerDay = 86'400ull * 10'000'000ull;

// "2026-05-01 14.30.05 +0200", with " (2)" ... for `sequence` 2 and on: the name of a run's
// folder for a run that started at `utcTime` (a file time) in a zone `offsetMinutes` east of UTC.
std::wstring VersionFolderName(std::uint64_t utcTime, int offsetMinutes, int sequence = 1);
// The start (UTC file time) a run's folder name stands for; nothing for any other name.
std::optional<std::uint64_t> VersionFolderTime(std::wstring_view name);

// A listed entry that is a version store, when it lies directly in a job's folder.
bool IsVersionStore(const FileEntry& entry);
// The store of a job's folder.
std::wstring VersionStorePath(std::wstring_view jobFolder);

// The side of a job and the job's folder there (a Backup's is the target's folder of the
// source's name).
enum class JobSide { Source, Target };
struct SideFolder {
    JobSide side = JobSide::Target;
    std::wstring folder;
};
// The sides a job writes to, where it keeps the files it replaces: a Backup's target side, a
// Restore's source side, both sides of a Sync.
std::vector<SideFolder> SidesWrittenTo(const JobRecord& job);
// "source", "target".
std::wstring_view SideName(JobSide side);

struct VersionFolder {
    std::wstring name;       // the folder's name, as VersionFolderName makes it
    std::uint64_t time = 0;  // the run's start, UTC file time
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};
struct SideVersions {
    JobSide side = JobSide::Target;
    std::wstring store;                   // the store's path
    std::vector<VersionFolder> versions;  // oldest first; empty when there is no store
};

// The version folders of each side a job writes to, with the files and bytes each holds (links
// inside are neither followed nor counted). Entries of the store that are no run's folder are
// left out: they are not ours.
std::vector<SideVersions> ListVersions(FileSystem& files, const JobRecord& job);

// The version folders of a store that are older than `keepDays` days at `now`.
std::vector<std::wstring> ExpiredVersionFolders(const std::vector<FileEntry>& storeEntries, std::uint64_t now,
                                                std::uint32_t keepDays);

// The job record of a restore of `version` (a run's folder on `side`) or, when `file` is not
// empty, of one file or folder of it (a path relative to the version, as "Trip\beach.jpg"); or
// the reason it cannot be made (an English text): a side the job does not write to, a name that
// is no run's folder, a path that leaves the version. `job` is taken with its target where its
// drive is now (ResolveBatchTargets); the record has no binding to be looked up by again.
JobRefusal MakeVersionRestore(const JobRecord& job, JobSide side, std::wstring_view version, std::wstring_view file,
                              JobRecord& restore);
// Where `path` (a full path) lies in a version's folder, as MakeVersionRestore takes a file of it
// ("Trip\beach.jpg", in the path's own spelling); nothing when it is the folder itself or lies
// outside it.
std::optional<std::wstring> PathInVersion(std::wstring_view versionFolder, std::wstring_view path);
// Whether a restore record is one MakeVersionRestore made (its version folder lies in the store
// of its source folder, its file within the version); an English text why not, else empty.
std::wstring_view VersionRestoreRefusal(const JobRecord& restore);

inline constexpr std::wstring_view kNotAVersionText = L"%s is no folder of a run in the kept versions of this job.";
inline constexpr std::wstring_view kNoSuchSideText = L"This job does not write to that side, so it keeps no versions there.";
inline constexpr std::wstring_view kBadVersionFileText =
    L"%s is no path of a file inside a version: give it relative to the version's folder, without .. in it.";
inline constexpr std::wstring_view kVersionGoneText = L"The kept version %s is not there. Nothing was restored.";
inline constexpr std::wstring_view kNotARestoreText = L"This restore names no kept version of a job.";

// The listing of /versions, a line each:
//   Job 1: Sync C:\Laptop -> E:\Laptop (replaced files kept for 30 days)
//     source side: C:\Laptop\.copperfold-versions
//       2026-05-01 14.30.05 +0200: 12 files, 1,234,567 bytes
//     target side: E:\Laptop\.copperfold-versions
//       no versions
std::wstring FormatVersions(const JobRecord& job, int number, const std::vector<SideVersions>& sides);

}  // namespace copperfold
