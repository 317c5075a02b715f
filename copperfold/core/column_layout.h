#pragma once
// The geometry of a column tree: a header of columns over a tree whose rows carry a text per
// column, scrolled sideways as one piece. Pure arithmetic, so the window code only applies it.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>

namespace copperfold {

struct LayoutRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const LayoutRect&) const = default;
};

inline constexpr int kColumnZeroMinimumWidth = 100;  // the narrowest the user may make column 0
inline constexpr int kScrollLineStep = 15;           // pixels per click on a scroll arrow

// Inner left margin of the texts of columns 1 and up: wider with the newer common controls.
constexpr int ColumnTextIndent(unsigned commonControlsMajorVersion) {
    return commonControlsMajorVersion > 5 ? 9 : 6;
}

struct ColumnTreeMetrics {
    int clientWidth = 0;     // W
    int clientHeight = 0;    // H
    int headerHeight = 0;
    int verticalBarWidth = 0;     // cx: width of a vertical scroll bar
    int horizontalBarHeight = 0;  // cy: height of a horizontal scroll bar
    bool treeShowsVerticalBar = false;
    int totalColumnWidth = 0;
};

struct ColumnTreeLayout {
    int fullWidth = 0;     // all columns plus the tree's vertical bar: the scroll range
    int scrollOffset = 0;  // clamped to 0 .. fullWidth - W
    bool scrollBarVisible = false;
    bool cornerVisible = false;
    LayoutRect header;
    LayoutRect corner;     // the empty header cell above the tree's vertical bar
    LayoutRect tree;
    LayoutRect scrollBar;  // along the bottom edge
};

// The scroll offset kept within 0 .. fullWidth - clientWidth (0 when everything fits).
int ClampScrollOffset(int offset, int fullWidth, int clientWidth);

// Where the header, corner header, tree and horizontal scroll bar go for a scroll offset.
ColumnTreeLayout ComputeColumnTreeLayout(const ColumnTreeMetrics& metrics, int scrollOffset);

enum class ScrollRequest { LineLeft, LineRight, PageLeft, PageRight, Track, Leftmost, Rightmost, Other };

// The new offset for a request of the horizontal scroll bar (thumb: the tracked position),
// clamped.
int ScrolledOffset(ScrollRequest request, int offset, int thumb, int fullWidth, int clientWidth);

// The column whose span holds x (x measured from the left edge of column 0); none right of
// all columns or left of column 0.
std::optional<std::size_t> ColumnAt(std::span<const int> widths, int x);

// The left edge of a column (the sum of the widths before it).
int ColumnLeft(std::span<const int> widths, std::size_t column);

// Room a column needs beside its texts: the cells draw from the indent + 1 to 3 pixels short of
// the right edge (and a little air keeps a text off the grid line); a header title has the
// header's margins on both sides.
inline constexpr int kCellTextAir = 4;
inline constexpr int kHeaderTextMargins = 16;
// The width of a column 1 and up that shows its widest cell text and its title whole, at the
// font they were measured in; never less than `minimum`.
constexpr int FittingColumnWidth(int minimum, int widestCellText, int titleText, int textIndent) {
    const int forCells = widestCellText + textIndent + 1 + 3 + kCellTextAir;
    const int forTitle = titleText + kHeaderTextMargins;
    return std::max({minimum, forCells, forTitle});
}

// Whether the user may give `column` the width `width` by dragging a header divider.
constexpr bool MayResizeColumn(std::size_t column, int width) {
    return column != 0 || width >= kColumnZeroMinimumWidth;
}

// How a column's text is aligned, from the format given when the column was inserted. Column 0
// is always left-aligned (its format only goes to the header).
enum class ColumnAlignment { Left, Right, Centre };
constexpr ColumnAlignment AlignmentOfColumn(std::size_t column, int format) {
    if (column == 0) return ColumnAlignment::Left;
    if (format & 1) return ColumnAlignment::Right;
    if (format & 2) return ColumnAlignment::Centre;
    return ColumnAlignment::Left;
}

// The horizontal span a column's text is drawn in; none when nothing of it would fit.
struct TextSpan {
    int left = 0, right = 0;
    bool operator==(const TextSpan&) const = default;
};
// Columns 1 and up: from the column's left edge plus the indent plus 1 to its right edge - 3.
std::optional<TextSpan> ExtraColumnTextSpan(int columnLeft, int columnWidth, int textIndent);
// Column 0: the label from its left edge to that edge + text width + 4, but not beyond the
// column's width - 4.
std::optional<TextSpan> LabelSpan(int labelLeft, int textWidth, int columnZeroWidth);

}  // namespace copperfold
