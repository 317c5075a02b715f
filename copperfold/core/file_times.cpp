#include "file_times.h"

#include <algorithm>
#include <chrono>
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

}  // namespace

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
