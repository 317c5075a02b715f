// The rules by which a Sync compares last-write times: a 2 s tolerance everywhere, and an exact
// hour (daylight saving) with equal sizes where a side keeps local times.
#include "copperfold/core/file_times.h"

#include <gtest/gtest.h>

namespace copperfold {
namespace {

constexpr std::uint64_t kBase = 133'000'000'000'000'000ull;  // some day in 2022
constexpr std::uint64_t kMillisecond = 10'000;

FileEntry At(std::uint64_t time, std::uint64_t size = 10) { return {L"f", 0, time, size}; }

TEST(FileTimes, TimesAtMostTwoSecondsApartAreTheSame) {
    for (const bool localTimes : {false, true}) {
        EXPECT_EQ(CompareLastWrite(At(kBase), At(kBase), localTimes), TimeOrder::Same);
        EXPECT_EQ(CompareLastWrite(At(kBase + 1999 * kMillisecond), At(kBase), localTimes), TimeOrder::Same);
        EXPECT_EQ(CompareLastWrite(At(kBase + 2000 * kMillisecond), At(kBase), localTimes), TimeOrder::Same);
        EXPECT_EQ(CompareLastWrite(At(kBase), At(kBase + 2000 * kMillisecond), localTimes), TimeOrder::Same);
        EXPECT_EQ(CompareLastWrite(At(kBase + 2001 * kMillisecond), At(kBase), localTimes), TimeOrder::Newer);
        EXPECT_EQ(CompareLastWrite(At(kBase), At(kBase + 2001 * kMillisecond), localTimes), TimeOrder::Older);
    }
    // Sizes play no part within the tolerance: the same time is the same file.
    EXPECT_EQ(CompareLastWrite(At(kBase, 1), At(kBase + kMillisecond, 999), false), TimeOrder::Same);
    // Near the ends of the range nothing wraps.
    EXPECT_EQ(CompareLastWrite(At(0), At(~0ull), false), TimeOrder::Older);
    EXPECT_EQ(CompareLastWrite(At(~0ull), At(1), true), TimeOrder::Newer);
}

TEST(FileTimes, AnHourApartIsTheSameOnlyWithEqualSizesOnALocalTimeSide) {
    const std::uint64_t hour = kDaylightSavingShift;
    EXPECT_EQ(CompareLastWrite(At(kBase + hour), At(kBase), true), TimeOrder::Same);
    EXPECT_EQ(CompareLastWrite(At(kBase), At(kBase + hour), true), TimeOrder::Same);
    // Within the same 2 s of the hour, either way.
    EXPECT_EQ(CompareLastWrite(At(kBase + hour + 2000 * kMillisecond), At(kBase), true), TimeOrder::Same);
    EXPECT_EQ(CompareLastWrite(At(kBase + hour - 2000 * kMillisecond), At(kBase), true), TimeOrder::Same);
    EXPECT_EQ(CompareLastWrite(At(kBase + hour + 2001 * kMillisecond), At(kBase), true), TimeOrder::Newer);
    EXPECT_EQ(CompareLastWrite(At(kBase + hour - 2001 * kMillisecond), At(kBase), true), TimeOrder::Newer);
    // Another size: an edit made within that hour, not a shift.
    EXPECT_EQ(CompareLastWrite(At(kBase + hour, 11), At(kBase, 10), true), TimeOrder::Newer);
    EXPECT_EQ(CompareLastWrite(At(kBase, 10), At(kBase + hour, 11), true), TimeOrder::Older);
    // Neither side keeps local times: an hour is an hour.
    EXPECT_EQ(CompareLastWrite(At(kBase + hour), At(kBase), false), TimeOrder::Newer);
    // Two hours are no shift.
    EXPECT_EQ(CompareLastWrite(At(kBase + 2 * hour), At(kBase), true), TimeOrder::Newer);
}

// A file of 1975 and its copy on a FAT drive, which was given 1980-01-01 00:00 in the drive's
// zone (UTC-12 to UTC+14): the same file where a side keeps local times, and only there.
TEST(FileTimes, OnALocalTimeSideTimesBeyondFatsRangeCompareAsItsEnds) {
    constexpr std::uint64_t hour = 3600 * 10'000'000ull;
    constexpr std::uint64_t y1975 = 118'153'296'000'000'000ull;
    constexpr std::uint64_t y2150 = 173'247'552'000'000'000ull;
    for (const std::uint64_t copy : {kFatEarliestUtc - 14 * hour, kFatEarliestUtc, kFatEarliestUtc + 12 * hour}) {
        EXPECT_EQ(CompareLastWrite(At(y1975), At(copy), true), TimeOrder::Same);
        EXPECT_EQ(CompareLastWrite(At(y1975), At(copy), false), TimeOrder::Older);
    }
    for (const std::uint64_t copy : {kFatLatestUtc - 14 * hour, kFatLatestUtc, kFatLatestUtc + 12 * hour}) {
        EXPECT_EQ(CompareLastWrite(At(copy), At(y2150), true), TimeOrder::Same);
    }
    // A day inside the range is a time every FAT drive holds.
    EXPECT_EQ(CompareLastWrite(At(kFatEarliestUtc + 24 * hour), At(y1975), true), TimeOrder::Newer);
    EXPECT_TRUE(HeldByEveryFatVolume(kFatEarliestUtc + 24 * hour));
    EXPECT_FALSE(HeldByEveryFatVolume(kFatEarliestUtc));
    EXPECT_FALSE(HeldByEveryFatVolume(kFatLatestUtc));
}

TEST(FileTimes, VolumesByTheirFileSystemNames) {
    for (const wchar_t* name : {L"FAT", L"FAT32", L"fat16", L"exFAT", L"EXFAT"}) EXPECT_TRUE(KeepsLocalTimes(name)) << name;
    for (const wchar_t* name : {L"NTFS", L"ReFS", L"", L"FAT32X", L"ext4"}) EXPECT_FALSE(KeepsLocalTimes(name)) << name;
    for (const wchar_t* name : {L"FAT", L"FAT32", L"fat12"}) EXPECT_TRUE(HoldsNoFileOf4GiB(name)) << name;
    for (const wchar_t* name : {L"exFAT", L"NTFS", L""}) EXPECT_FALSE(HoldsNoFileOf4GiB(name)) << name;
}

}  // namespace
}  // namespace copperfold
