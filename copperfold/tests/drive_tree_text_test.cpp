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

TEST(DriveTreeText, WidestTextsHaveTheLongestShapeOfEachColumn) {
    const std::vector<std::wstring> sizes = copperfold::WidestSizeTexts(L'8');
    EXPECT_EQ(sizes, (std::vector<std::wstring>{L"8888.8K", L"8888.8M", L"8888.8G", L"8888.8T"}));
    EXPECT_EQ(sizes[0].size(), FormatFileSize(1023999).size()) << "as long as the longest size below 1000 T";
    const std::wstring date = copperfold::WidestDateText(L'0');
    EXPECT_EQ(date, L"0000/00/00 00:00:00");
    EXPECT_EQ(date.size(), copperfold::FormatFileDate({2024, 3, 7, 9, 5, 0}).size());

    // A font whose 4 is wider than its other digits; ties keep the first.
    EXPECT_EQ(copperfold::WidestDigit([](std::wstring_view digit) { return digit == L"4" ? 7 : 6; }), L'4');
    EXPECT_EQ(copperfold::WidestDigit([](std::wstring_view) { return 6; }), L'0');
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
