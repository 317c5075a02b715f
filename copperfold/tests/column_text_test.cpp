// The tab-separated item labels of the column tree.
#include "copperfold/core/column_text.h"

#include <gtest/gtest.h>

namespace {

using copperfold::ColumnField;
using copperfold::JoinColumnFields;
using copperfold::ReplaceColumnField;

TEST(ColumnText, FieldsOfAJobRow) {
    const std::wstring label = L"C:\\Data\tE:\\Backup\tBackup\t";
    EXPECT_EQ(ColumnField(label, 0), L"C:\\Data");
    EXPECT_EQ(ColumnField(label, 1), L"E:\\Backup");
    EXPECT_EQ(ColumnField(label, 2), L"Backup");
    EXPECT_EQ(ColumnField(label, 3), L"");
}

TEST(ColumnText, APlainLabelIsColumnZeroAlone) {
    EXPECT_EQ(ColumnField(L"C:\\", 0), L"C:\\");
    EXPECT_EQ(ColumnField(L"C:\\", 1), L"");
    EXPECT_EQ(ColumnField(L"C:\\", 2), L"");
    EXPECT_EQ(ColumnField(L"", 0), L"");
}

TEST(ColumnText, SettingAColumnOfAPlainLabelGivesOneFieldPerColumn) {
    EXPECT_EQ(ReplaceColumnField(L"notes.txt", 1, L" 4.0K", 3), L"notes.txt\t 4.0K\t\t");
    EXPECT_EQ(ReplaceColumnField(L"notes.txt", 0, L"other.txt", 3), L"other.txt\t\t\t");
}

TEST(ColumnText, SettingAColumnKeepsTheOthers) {
    const std::wstring label = L"a\tb\tc\t";
    EXPECT_EQ(ReplaceColumnField(label, 2, L"Sync", 3), L"a\tb\tSync\t");
    EXPECT_EQ(ReplaceColumnField(label, 1, L"", 3), L"a\t\tc\t");
}

TEST(ColumnText, TheLabelFollowsTheNumberOfColumns) {
    EXPECT_EQ(ReplaceColumnField(L"a\tb\tc\td\t", 0, L"x", 2), L"x\tb\t") << "fields beyond the columns go";
    EXPECT_EQ(ReplaceColumnField(L"a\t", 5, L"x", 2), L"a\t\t") << "a column beyond the header sets nothing";
    EXPECT_EQ(ReplaceColumnField(L"a", 0, L"x", 0), L"");
}

TEST(ColumnText, ATabInsideATextCannotShiftTheColumns) {
    const std::wstring label = ReplaceColumnField(L"", 0, L"odd\tname", 2);
    EXPECT_EQ(label, L"odd name\t\t");
    EXPECT_EQ(ColumnField(label, 1), L"");
    EXPECT_EQ(JoinColumnFields({L"a\tb", L"c"}), L"a b\tc\t");
}

TEST(ColumnText, JoinedFieldsReadBack) {
    const std::wstring label = JoinColumnFields({L"src", L"", L"Restore"});
    EXPECT_EQ(label, L"src\t\tRestore\t");
    EXPECT_EQ(ColumnField(label, 2), L"Restore");
}

}  // namespace
