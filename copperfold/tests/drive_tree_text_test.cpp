// Size, date and path texts of the drive trees.
#include "copperfold/core/drive_tree_text.h"

#include <gtest/gtest.h>

namespace {

using copperfold::FormatFileSize;

TEST(DriveTreeText, SizesSwitchUnitAtOneThousand) {
    EXPECT_EQ(FormatFileSize(0), L"0");
    EXPECT_EQ(FormatFileSize(999), L"999");
    EXPECT_EQ(FormatFileSize(1000), L" 1.0K");
    EXPECT_EQ(FormatFileSize(1023999), L"1000.0K");  // 999.999 KiB stays below the switch
    EXPECT_EQ(FormatFileSize(1024000), L" 1.0M");
    EXPECT_EQ(FormatFileSize(5ull << 30), L" 5.0G");
    EXPECT_EQ(FormatFileSize(3ull << 40), L" 3.0T");
    EXPECT_EQ(FormatFileSize(~0ull), L"16777216.0T");  // the largest size still has a unit
}

TEST(DriveTreeText, DatesArePaddedWithBlanks) {
    EXPECT_EQ(copperfold::FormatFileDate({2024, 3, 7, 9, 5, 0}), L"2024/ 3/ 7  9: 5: 0");
    EXPECT_EQ(copperfold::FormatFileDate({1999, 12, 31, 23, 59, 58}), L"1999/12/31 23:59:58");
}

TEST(DriveTreeText, PathsJoinWithOneBackslash) {
    EXPECT_EQ(copperfold::JoinItemPath({L"E:\\"}), L"E:\\");
    EXPECT_EQ(copperfold::JoinItemPath({L"E:\\", L"Docs", L"2024"}), L"E:\\Docs\\2024");
    EXPECT_EQ(copperfold::JoinItemPath({L"E:\\", L"\u00e9t\u00e9 \u65e5\u672c"}), L"E:\\\u00e9t\u00e9 \u65e5\u672c");
    const std::wstring longName(200, L'x');
    const std::wstring path = copperfold::JoinItemPath({L"C:\\", longName, longName});
    EXPECT_EQ(path.size(), 3 + 200 + 1 + 200);  // never cut at 260
    EXPECT_EQ(copperfold::DriveRoot(0), L"A:\\");
    EXPECT_EQ(copperfold::DriveRoot(25), L"Z:\\");
}

}  // namespace
