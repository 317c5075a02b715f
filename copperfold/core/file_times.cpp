#include "file_times.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <mutex>
#include <initializer_list>
#include <string>

#include "../../common/core/case_fold.h"

namespace copperfold {
namespace {

std::uint64_t Distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

bool NamedOneOf(std::wstring_view name, std::initializer_list<std::wstring_view> names) {
    const std::wstring upper = common::UpperCased(name);
    for (const std::wstring_view candidate : names) {
        if (upper == candidate) return true;
    }
    return false;
}

// 1970-01-01 as a file time.
constexpr std::uint64_t kUnixEpoch = 116'444'736'000'000'000ull;
constexpr std::int64_t kUnixEpochSeconds = static_cast<std::int64_t>(kUnixEpoch / kFileTimeUnitsPerSecond);

}  // namespace

// Days from and to 1970-01-01 by the proleptic Gregorian calendar (H. Hinnant's algorithms).
CivilTime CivilFromUnixSeconds(std::int64_t seconds) {
    std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const auto inDay = static_cast<unsigned>(seconds - days * 86400);
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
    return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2), month,
            dayOfYear - (153 * shifted + 2) / 5 + 1, inDay / 3600, inDay / 60 % 60, inDay % 60};
}

std::int64_t UnixSecondsFromCivil(const CivilTime& time) {
    const std::int64_t year = time.year - (time.month <= 2);
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (time.month > 2 ? time.month - 3 : time.month + 9) + 2) / 5 + time.day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
    return days * 86400 + std::int64_t{time.hour} * 3600 + std::int64_t{time.minute} * 60 + time.second;
}

std::int64_t UnixSecondsOf(std::uint64_t fileTime) {
    return static_cast<std::int64_t>(fileTime / kFileTimeUnitsPerSecond) - kUnixEpochSeconds;
}

std::uint64_t FileTimeOfUnixSeconds(std::int64_t seconds) {
    const std::int64_t since1601 = seconds + kUnixEpochSeconds;
    return since1601 < 0 ? 0 : static_cast<std::uint64_t>(since1601) * kFileTimeUnitsPerSecond;
}

int LocalOffsetMinutes(std::uint64_t fileTime) {
    // The C library's conversions share one buffer: one caller at a time.
    static std::mutex guard;
    const auto when = static_cast<std::time_t>(UnixSecondsOf(fileTime));
    std::tm local{};
    {
        const std::lock_guard<std::mutex> lock(guard);
        const std::tm* converted = std::localtime(&when);
        if (!converted) return 0;
        local = *converted;
    }
    const CivilTime civil{std::int64_t{local.tm_year} + 1900, static_cast<unsigned>(local.tm_mon + 1),
                          static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                          static_cast<unsigned>(local.tm_min), static_cast<unsigned>(local.tm_sec)};
    return static_cast<int>((UnixSecondsFromCivil(civil) - static_cast<std::int64_t>(when)) / 60);
}

std::uint64_t WithinLocalFatRange(std::uint64_t fileTime) {
    const auto shifted = [](std::uint64_t asUtc) {
        const std::int64_t offset = std::int64_t{LocalOffsetMinutes(asUtc)} * 60 * static_cast<std::int64_t>(kFileTimeUnitsPerSecond);
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(asUtc) - offset);
    };
    return std::clamp(fileTime, shifted(kFatEarliestUtc), shifted(kFatLatestUtc));
}

std::uint64_t FileTimeNow() {
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return kUnixEpoch + static_cast<std::uint64_t>(std::max<std::int64_t>(sinceEpoch.count(), 0)) * 10;
}

bool KeepsLocalTimes(std::wstring_view fileSystemName) {
    return NamedOneOf(fileSystemName, {L"FAT", L"FAT12", L"FAT16", L"FAT32", L"EXFAT", L"VFAT", L"MSDOS"});
}

bool HoldsNoFileOf4GiB(std::wstring_view fileSystemName) {
    return NamedOneOf(fileSystemName, {L"FAT", L"FAT12", L"FAT16", L"FAT32", L"VFAT", L"MSDOS"});
}

TimeOrder CompareLastWrite(const FileEntry& a, const FileEntry& b, bool localTimeSide) {
    std::uint64_t aTime = a.lastWriteTime;
    std::uint64_t bTime = b.lastWriteTime;
    if (localTimeSide) {
        aTime = std::clamp(aTime, kFatEarliestAnywhere, kFatLatestAnywhere);
        bTime = std::clamp(bTime, kFatEarliestAnywhere, kFatLatestAnywhere);
    }
    const std::uint64_t apart = Distance(aTime, bTime);
    if (apart <= kTimeTolerance) return TimeOrder::Same;
    if (localTimeSide && a.size == b.size && Distance(apart, kDaylightSavingShift) <= kTimeTolerance) {
        return TimeOrder::Same;
    }
    return aTime < bTime ? TimeOrder::Older : TimeOrder::Newer;
}

}  // namespace copperfold
