#pragma once
// How a Sync and its estimate compare the last-write times of a file's two copies.
//
// Some file systems keep times only to 1 or 2 seconds (FAT to 2 s, rounded down by some drivers
// and up by others; exFAT and many network shares to 1 s), so a faithful copy of a file can read
// up to 2 s off its source: times at most 2 s apart are the same time, on every volume.
//
// FAT, FAT32 and exFAT also keep times in local time: after a change to or from daylight saving
// time, every file on such a volume reads exactly one hour off the copy on an NTFS side. When
// either side lies on such a volume, times one hour apart (within the same 2 s) with equal sizes
// are the same file too. A file edited within that hour almost always changes its size; one that
// does not is left as it is on both sides, where a wrong choice would overwrite an edit.

#include <cstdint>
#include <string_view>

#include "file_system.h"

namespace copperfold {

inline constexpr std::uint64_t kFileTimeUnitsPerSecond = 10'000'000;  // 100 ns units
inline constexpr std::uint64_t kTimeTolerance = 2 * kFileTimeUnitsPerSecond;
inline constexpr std::uint64_t kDaylightSavingShift = 3600 * kFileTimeUnitsPerSecond;

// A volume whose file system keeps times in local time, as FAT and exFAT do.
bool KeepsLocalTimes(std::wstring_view fileSystemName);
// A volume that holds no file of 4 GiB or more (FAT12/16/32).
bool HoldsNoFileOf4GiB(std::wstring_view fileSystemName);
inline constexpr std::uint64_t kFatLargestFile = 0xFFFF'FFFFull;  // 4 GiB - 1 byte

enum class TimeOrder { Older, Same, Newer };

// How `a`'s last-write time stands to `b`'s under the rules above; `localTimeSide`: either file
// lies on a volume that keeps local times.
TimeOrder CompareLastWrite(const FileEntry& a, const FileEntry& b, bool localTimeSide);

}  // namespace copperfold
