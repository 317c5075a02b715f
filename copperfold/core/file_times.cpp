#include "file_times.h"

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

}  // namespace

bool KeepsLocalTimes(std::wstring_view fileSystemName) {
    return NamedOneOf(fileSystemName, {L"FAT", L"FAT12", L"FAT16", L"FAT32", L"EXFAT", L"VFAT", L"MSDOS"});
}

bool HoldsNoFileOf4GiB(std::wstring_view fileSystemName) {
    return NamedOneOf(fileSystemName, {L"FAT", L"FAT12", L"FAT16", L"FAT32", L"VFAT", L"MSDOS"});
}

TimeOrder CompareLastWrite(const FileEntry& a, const FileEntry& b, bool localTimeSide) {
    const std::uint64_t apart = Distance(a.lastWriteTime, b.lastWriteTime);
    if (apart <= kTimeTolerance) return TimeOrder::Same;
    if (localTimeSide && a.size == b.size && Distance(apart, kDaylightSavingShift) <= kTimeTolerance) {
        return TimeOrder::Same;
    }
    return a.lastWriteTime < b.lastWriteTime ? TimeOrder::Older : TimeOrder::Newer;
}

}  // namespace copperfold
