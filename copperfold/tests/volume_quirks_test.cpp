// What a run's copies learn about the drives they write to, and how the run log tells of it.
#include "copperfold/core/volume_quirks.h"

#include <gtest/gtest.h>

#include "copperfold/core/run_log.h"

namespace copperfold {
namespace {

TEST(VolumeQuirks, EachDriveIsFoundOutOnceAndNamedOnceInTheLog) {
    VolumeQuirks quirks;
    EXPECT_FALSE(quirks.Has(L"E:\\a", VolumeQuirks::kKeepsNoAttributes));
    EXPECT_TRUE(quirks.Mark(L"\\\\?\\E:\\Backup\\a.txt", VolumeQuirks::kKeepsNoAttributes));
    EXPECT_FALSE(quirks.Mark(L"e:\\other.txt", VolumeQuirks::kKeepsNoAttributes)) << "the same drive, found out already";
    EXPECT_TRUE(quirks.Has(L"E:\\x", VolumeQuirks::kKeepsNoAttributes));
    EXPECT_FALSE(quirks.Has(L"F:\\x", VolumeQuirks::kKeepsNoAttributes));
    EXPECT_TRUE(quirks.Mark(L"F:\\x", VolumeQuirks::kTimesChecked));
    EXPECT_FALSE(quirks.Mark(L"F:\\y", VolumeQuirks::kTimesChecked)) << "only the first copy onto a drive is checked";
    quirks.Mark(L"\\\\?\\UNC\\server\\share\\x", VolumeQuirks::kKeepsNoTimes);
    EXPECT_TRUE(quirks.Has(L"\\\\other\\share\\y", VolumeQuirks::kKeepsNoTimes)) << "shares have one slot";

    const std::vector<std::wstring> expected = {
        L"Drive E: keeps no file attributes (read-only, hidden): files were copied to it without them.",
        L"A network drive did not keep the last-write times given to files copied to it."};
    EXPECT_EQ(quirks.Notes(), expected) << "a drive that was only checked is no news";

    RunLogEntry entry;
    entry.startTime = L"2026-12-07 14:05:03";
    entry.notes = expected;
    EXPECT_TRUE(FormatRunRecord(entry).ends_with(L"  Note: " + expected[0] + L"\r\n  Note: " + expected[1] + L"\r\n"));
}

}  // namespace
}  // namespace copperfold
