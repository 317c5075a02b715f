// The geometry of the column tree: layout of its four children, sideways scrolling, hit
// columns, alignment and the spans its texts are drawn in.
#include "copperfold/core/column_layout.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace copperfold;

ColumnTreeMetrics Metrics(int width, int height, int total, bool verticalBar) {
    ColumnTreeMetrics m;
    m.clientWidth = width;
    m.clientHeight = height;
    m.headerHeight = 20;
    m.verticalBarWidth = 17;
    m.horizontalBarHeight = 16;
    m.treeShowsVerticalBar = verticalBar;
    m.totalColumnWidth = total;
    return m;
}

TEST(ColumnTreeLayout, EverythingFitsNoScrollBar) {
    const ColumnTreeLayout layout = ComputeColumnTreeLayout(Metrics(500, 300, 400, false), 0);
    EXPECT_FALSE(layout.scrollBarVisible);
    EXPECT_FALSE(layout.cornerVisible);
    EXPECT_EQ(layout.header, (LayoutRect{0, 0, 500, 20}));
    EXPECT_EQ(layout.tree, (LayoutRect{0, 20, 500, 280}));
    EXPECT_EQ(layout.scrollBar, (LayoutRect{0, 284, 500, 16}));
}

TEST(ColumnTreeLayout, WiderColumnsBringTheScrollBar) {
    const ColumnTreeLayout layout = ComputeColumnTreeLayout(Metrics(300, 200, 420, false), 0);
    EXPECT_TRUE(layout.scrollBarVisible);
    EXPECT_EQ(layout.fullWidth, 420);
    EXPECT_EQ(layout.tree, (LayoutRect{0, 20, 300, 164})) << "the tree stops above the bar";
}

TEST(ColumnTreeLayout, ScrolledRightEverythingButTheBarMovesLeft) {
    const ColumnTreeLayout layout = ComputeColumnTreeLayout(Metrics(300, 200, 420, true), 100);
    EXPECT_EQ(layout.fullWidth, 437);
    EXPECT_EQ(layout.scrollOffset, 100);
    EXPECT_EQ(layout.header, (LayoutRect{-100, 0, 383, 20}));
    EXPECT_EQ(layout.tree, (LayoutRect{-100, 20, 400, 164}));
    EXPECT_TRUE(layout.cornerVisible);
    EXPECT_EQ(layout.corner, (LayoutRect{283, 0, 17, 20}));
    EXPECT_EQ(layout.scrollBar, (LayoutRect{0, 184, 283, 16}));
}

TEST(ColumnTreeLayout, OffsetIsClampedToTheScrollRange) {
    EXPECT_EQ(ComputeColumnTreeLayout(Metrics(300, 200, 420, false), 500).scrollOffset, 120);
    EXPECT_EQ(ComputeColumnTreeLayout(Metrics(300, 200, 420, false), -5).scrollOffset, 0);
    EXPECT_EQ(ComputeColumnTreeLayout(Metrics(500, 200, 420, false), 50).scrollOffset, 0)
        << "a control grown wider than its columns scrolls back";
}

TEST(ColumnTreeLayout, NoScrollBarWhereThereIsNoRoomForIt) {
    EXPECT_FALSE(ComputeColumnTreeLayout(Metrics(300, 35, 420, false), 0).scrollBarVisible);
    EXPECT_TRUE(ComputeColumnTreeLayout(Metrics(300, 36, 420, false), 0).scrollBarVisible);
}

TEST(ColumnTreeScrolling, EachRequestMovesAndStaysInRange) {
    const int full = 600, width = 250;
    EXPECT_EQ(ScrolledOffset(ScrollRequest::LineRight, 0, 0, full, width), 15);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::LineLeft, 10, 0, full, width), 0);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::PageRight, 0, 0, full, width), 250);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::PageRight, 250, 0, full, width), 350);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::PageLeft, 300, 0, full, width), 50);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::Track, 0, 123, full, width), 123);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::Rightmost, 0, 0, full, width), 350);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::Leftmost, 200, 0, full, width), 0);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::Other, 200, 0, full, width), 200);
    EXPECT_EQ(ScrolledOffset(ScrollRequest::Rightmost, 0, 0, 200, width), 0);
}

TEST(ColumnTreeHitColumns, TheColumnWhoseSpanHoldsThePoint) {
    const std::array<int, 3> widths = {200, 100, 100};
    EXPECT_EQ(ColumnAt(widths, 0), 0u);
    EXPECT_EQ(ColumnAt(widths, 199), 0u);
    EXPECT_EQ(ColumnAt(widths, 200), 1u);
    EXPECT_EQ(ColumnAt(widths, 399), 2u);
    EXPECT_FALSE(ColumnAt(widths, 400)) << "right of all columns";
    EXPECT_FALSE(ColumnAt(widths, -1));
    EXPECT_EQ(ColumnLeft(widths, 2), 300);
    const std::array<int, 3> hidden = {200, 0, 100};
    EXPECT_EQ(ColumnAt(hidden, 200), 2u) << "a column of width 0 is never hit";
}

TEST(ColumnTreeResizing, ColumnZeroKeepsItsMinimumWidth) {
    EXPECT_FALSE(MayResizeColumn(0, 99));
    EXPECT_TRUE(MayResizeColumn(0, 100));
    EXPECT_TRUE(MayResizeColumn(1, 0));
}

TEST(ColumnTreeFitting, AColumnHoldsItsWidestTextAndTitleAndKeepsItsMinimum) {
    using copperfold::FittingColumnWidth;
    EXPECT_EQ(FittingColumnWidth(100, 40, 30, 9), 100) << "short texts keep the minimum";
    // The cell text runs from the indent + 1 to 3 short of the edge, plus a little air.
    EXPECT_EQ(FittingColumnWidth(100, 112, 30, 9), 112 + 9 + 1 + 3 + copperfold::kCellTextAir);
    const auto span = ExtraColumnTextSpan(0, FittingColumnWidth(100, 112, 30, 9), 9);
    ASSERT_TRUE(span);
    EXPECT_GE(span->right - span->left, 112) << "the text fits the span it is drawn in";
    EXPECT_EQ(FittingColumnWidth(100, 40, 150, 9), 150 + copperfold::kHeaderTextMargins) << "a long title";
}

TEST(ColumnTreeAlignment, FormatBitsOfTheExtraColumns) {
    EXPECT_EQ(AlignmentOfColumn(1, 1), ColumnAlignment::Right);
    EXPECT_EQ(AlignmentOfColumn(1, 3), ColumnAlignment::Right) << "right wins over centre";
    EXPECT_EQ(AlignmentOfColumn(2, 2), ColumnAlignment::Centre);
    EXPECT_EQ(AlignmentOfColumn(2, 0), ColumnAlignment::Left);
    EXPECT_EQ(AlignmentOfColumn(0, 0x801), ColumnAlignment::Left) << "column 0 is always left";
    EXPECT_EQ(ColumnTextIndent(6), 9);
    EXPECT_EQ(ColumnTextIndent(5), 6);
}

TEST(ColumnTreeTextSpans, ExtraColumnsAndTheLabel) {
    EXPECT_EQ(ExtraColumnTextSpan(200, 100, 9), (TextSpan{210, 297}));
    EXPECT_FALSE(ExtraColumnTextSpan(200, 13, 9)) << "a column too narrow for any text";
    EXPECT_EQ(LabelSpan(40, 50, 200), (TextSpan{40, 94}));
    EXPECT_EQ(LabelSpan(40, 500, 200), (TextSpan{40, 196})) << "cut at column 0's edge";
    EXPECT_FALSE(LabelSpan(220, 10, 200)) << "a label indented beyond column 0";
}

}  // namespace
