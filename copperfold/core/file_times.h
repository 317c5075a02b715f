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
//
// FAT and exFAT hold last-write times from 1980-01-01 to 2107-12-31 only, in local time; drivers
// do odd things with others (one keeps the year modulo 128, so 1975 reads back as 2103; another
// wraps years past 2107). A copy onto such a volume is given its source's time brought into that
// range, and where a side keeps local times both times are compared as brought into the range,
// so a file of 1975 and its copy of 1980-01-01 are the same file. Not knowing the time zone here,
// the comparison takes the range's ends at their latest and earliest in any zone (UTC-12 to
// UTC+14): times within the first or last half day of the range count as its end.
//
// A time later than tomorrow is a time no file can have been written at: a Sync never takes a
// file dated so for the newer one of a pair (it leaves the pair as it is).

#include <cstdint>
#include <string_view>

#include "file_system.h"

namespace copperfold {

inline constexpr std::uint64_t kFileTimeUnitsPerSecond = 10'000'000;  // 100 ns units
inline constexpr std::uint64_t kTimeTolerance = 2 * kFileTimeUnitsPerSecond;
inline constexpr std::uint64_t kDaylightSavingShift = 3600 * kFileTimeUnitsPerSecond;

// 1980-01-01 00:00 and 2107-12-31 23:59:58, UTC: the range FAT holds, in a zone of UTC+0.
inline constexpr std::uint64_t kFatEarliestUtc = 119'600'064'000'000'000ull;
inline constexpr std::uint64_t kFatLatestUtc = 159'992'927'980'000'000ull;
// The range's ends at the latest and the earliest they fall in any time zone: 1980-01-01 00:00
// at UTC-12 and 2107-12-31 23:59:58 at UTC+14, in UTC. Between them, every FAT drive holds a time.
inline constexpr std::uint64_t kFatEarliestAnywhere = kFatEarliestUtc + 12 * 3600 * kFileTimeUnitsPerSecond;
inline constexpr std::uint64_t kFatLatestAnywhere = kFatLatestUtc - 14 * 3600 * kFileTimeUnitsPerSecond;
inline bool HeldByEveryFatVolume(std::uint64_t time) {
    return time >= kFatEarliestAnywhere && time <= kFatLatestAnywhere;
}

// How far past the present a Sync still believes a last-write time.
inline constexpr std::uint64_t kFutureTolerance = 24 * 3600 * kFileTimeUnitsPerSecond;
// The present as a file time (100 ns units since 1601, UTC).
std::uint64_t FileTimeNow();

// A volume whose file system keeps times in local time, as FAT and exFAT do.
bool KeepsLocalTimes(std::wstring_view fileSystemName);
// A volume that holds no file of 4 GiB or more (FAT12/16/32).
bool HoldsNoFileOf4GiB(std::wstring_view fileSystemName);
inline constexpr std::uint64_t kFatLargestFile = 0xFFFF'FFFFull;  // 4 GiB - 1 byte

// A time of the proleptic Gregorian calendar, and seconds since 1970-01-01 00:00 (either way).
struct CivilTime {
    std::int64_t year = 1970;
    unsigned month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
CivilTime CivilFromUnixSeconds(std::int64_t seconds);
std::int64_t UnixSecondsFromCivil(const CivilTime& time);
// Seconds since 1970-01-01 of a file time (whole seconds, rounded down), and back.
std::int64_t UnixSecondsOf(std::uint64_t fileTime);
std::uint64_t FileTimeOfUnixSeconds(std::int64_t seconds);  // 0 before 1601
// How far the local time zone (the C library's) is east of UTC at a file time, in minutes.
int LocalOffsetMinutes(std::uint64_t fileTime);
// A time brought into the range FAT and exFAT hold, 1980-01-01 00:00:00 to 2107-12-31 23:59:58 in
// the local time zone, as a copy onto such a volume gets it.
std::uint64_t WithinLocalFatRange(std::uint64_t fileTime);

enum class TimeOrder { Older, Same, Newer };

// How `a`'s last-write time stands to `b`'s under the rules above; `localTimeSide`: either file
// lies on a volume that keeps local times (FAT, exFAT), whose times are compared within its range.
TimeOrder CompareLastWrite(const FileEntry& a, const FileEntry& b, bool localTimeSide);

}  // namespace copperfold
