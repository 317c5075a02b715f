#include "column_layout.h"

#include <algorithm>

namespace copperfold {

int ClampScrollOffset(int offset, int fullWidth, int clientWidth) {
    return std::clamp(offset, 0, std::max(0, fullWidth - clientWidth));
}

ColumnTreeLayout ComputeColumnTreeLayout(const ColumnTreeMetrics& m, int scrollOffset) {
    ColumnTreeLayout layout;
    const int verticalBar = m.treeShowsVerticalBar ? m.verticalBarWidth : 0;
    layout.fullWidth = m.totalColumnWidth + verticalBar;
    layout.scrollOffset = ClampScrollOffset(scrollOffset, layout.fullWidth, m.clientWidth);

    const bool scrolls = m.clientWidth < layout.fullWidth;
    const int shift = scrolls ? layout.scrollOffset : 0;
    const int visible = m.clientWidth + shift;
    layout.scrollBarVisible = layout.fullWidth > m.clientWidth && m.clientHeight >= m.headerHeight + m.horizontalBarHeight;
    layout.cornerVisible = m.treeShowsVerticalBar;

    layout.header = {-shift, 0, visible - verticalBar, m.headerHeight};
    layout.corner = {m.clientWidth - m.verticalBarWidth, 0, m.verticalBarWidth, m.headerHeight};
    layout.tree = {-shift, m.headerHeight, visible,
                   m.clientHeight - m.headerHeight - (layout.scrollBarVisible ? m.horizontalBarHeight : 0)};
    layout.scrollBar = {0, m.clientHeight - m.horizontalBarHeight, m.clientWidth - verticalBar, m.horizontalBarHeight};
    return layout;
}

int ScrolledOffset(ScrollRequest request, int offset, int thumb, int fullWidth, int clientWidth) {
    int target = offset;
    switch (request) {
    case ScrollRequest::LineLeft: target = offset - kScrollLineStep; break;
    case ScrollRequest::LineRight: target = offset + kScrollLineStep; break;
    case ScrollRequest::PageLeft: target = offset - clientWidth; break;
    case ScrollRequest::PageRight: target = offset + clientWidth; break;
    case ScrollRequest::Track: target = thumb; break;
    case ScrollRequest::Leftmost: target = 0; break;
    case ScrollRequest::Rightmost: target = fullWidth - clientWidth; break;
    case ScrollRequest::Other: break;
    }
    return ClampScrollOffset(target, fullWidth, clientWidth);
}

std::optional<std::size_t> ColumnAt(std::span<const int> widths, int x) {
    if (x < 0) return std::nullopt;
    int left = 0;
    for (std::size_t column = 0; column < widths.size(); ++column) {
        const int right = left + std::max(0, widths[column]);
        if (x < right) return column;
        left = right;
    }
    return std::nullopt;
}

int ColumnLeft(std::span<const int> widths, std::size_t column) {
    int left = 0;
    for (std::size_t i = 0; i < column && i < widths.size(); ++i) left += std::max(0, widths[i]);
    return left;
}

std::optional<TextSpan> ExtraColumnTextSpan(int columnLeft, int columnWidth, int textIndent) {
    const TextSpan span{columnLeft + textIndent + 1, columnLeft + columnWidth - 3};
    if (span.right <= span.left) return std::nullopt;
    return span;
}

std::optional<TextSpan> LabelSpan(int labelLeft, int textWidth, int columnZeroWidth) {
    const TextSpan span{labelLeft, std::min(labelLeft + textWidth + 4, columnZeroWidth - 4)};
    if (span.right <= span.left) return std::nullopt;
    return span;
}

}  // namespace copperfold
