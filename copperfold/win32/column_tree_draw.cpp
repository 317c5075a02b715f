// Drawing of a column tree's rows. The tree draws each item itself (indentation, lines,
// buttons, check box, icon and its label); once it has, the row is painted over from the
// label's left edge: a grid line at every column boundary and along the bottom, column 0's
// text in the tree's colours for the item, and the texts of the other columns in theirs.
#include <algorithm>

#include "column_tree_ctrl.h"
#include "copperfold/core/column_layout.h"
#include "copperfold/core/column_text.h"
#include "gdi_scope.h"

namespace {

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    win32::UniqueGdiObject brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

UINT AlignmentFlags(copperfold::ColumnAlignment alignment) {
    switch (alignment) {
    case copperfold::ColumnAlignment::Right: return DT_RIGHT;
    case copperfold::ColumnAlignment::Centre: return DT_CENTER;
    case copperfold::ColumnAlignment::Left: break;
    }
    return DT_LEFT;
}

constexpr UINT kTextFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;

// The selection of a tree without the focus: the highlight colour paled toward the window's, so
// that it stays plain to see (the system's own choice, the button face, can be all but white).
COLORREF UnfocusedSelectionColour(COLORREF window) {
    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    const auto mix = [](int strong, int pale) { return (strong * 2 + pale * 3) / 5; };
    return RGB(mix(GetRValue(highlight), GetRValue(window)), mix(GetGValue(highlight), GetGValue(window)),
               mix(GetBValue(highlight), GetBValue(window)));
}

}  // namespace

LRESULT CColumnTreeCtrl::OnCustomDraw(NMTVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        itemTextColour = draw->clrText;
        itemBackColour = draw->clrTextBk;
        return CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT:
        DrawRow(*draw);
        return CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

HFONT CColumnTreeCtrl::HotFont() {
    const auto treeFont = reinterpret_cast<HFONT>(::SendMessageW(Tree(), WM_GETFONT, 0, 0));
    if (!hotFont || hotFontSource != treeFont) {
        LOGFONTW description{};
        const HGDIOBJ source = treeFont ? static_cast<HGDIOBJ>(treeFont) : ::GetStockObject(DEFAULT_GUI_FONT);
        ::GetObjectW(source, sizeof description, &description);
        description.lfUnderline = TRUE;
        hotFont.reset(::CreateFontIndirectW(&description));
        hotFontSource = treeFont;
    }
    return static_cast<HFONT>(hotFont.get());
}

void CColumnTreeCtrl::DrawRow(const NMTVCUSTOMDRAW& draw) {
    const HDC dc = draw.nmcd.hdc;
    const auto item = reinterpret_cast<HTREEITEM>(draw.nmcd.dwItemSpec);
    RECT label{};
    if (!item || columnWidths.empty() || !TreeView_GetItemRect(Tree(), item, &label, TRUE)) return;
    const RECT& row = draw.nmcd.rc;
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(Tree(), GWL_STYLE));
    const bool enabled = ::IsWindowEnabled(Handle()) != FALSE;
    // The tree itself ignores full-row selection when it draws lines; so does the row here.
    const bool fullRow = (style & TVS_FULLROWSELECT) && !(style & TVS_HASLINES);
    const COLORREF window = ::GetSysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE);
    const int rowRight = std::max<int>(row.right, totalWidth);

    // 1. A clean row right of the tree's own drawing, with its grid lines.
    Fill(dc, RECT{label.left, row.top, rowRight, row.bottom}, window);
    win32::UniqueGdiObject gridPen(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_3DLIGHT)));
    {
        win32::SelectScope pen(dc, gridPen.get());
        int edge = 0;
        for (const int width : columnWidths) {
            edge += width;
            ::MoveToEx(dc, edge - 1, row.top, nullptr);
            ::LineTo(dc, edge - 1, row.bottom);
        }
        ::MoveToEx(dc, label.left, row.bottom - 1, nullptr);
        ::LineTo(dc, edge, row.bottom - 1);
    }

    const std::wstring text = TreeItemLabel(Tree(), item);
    const auto treeFont = reinterpret_cast<HFONT>(::SendMessageW(Tree(), WM_GETFONT, 0, 0));
    const HGDIOBJ plainFont = treeFont ? static_cast<HGDIOBJ>(treeFont) : ::GetStockObject(DEFAULT_GUI_FONT);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = ::GetTextColor(dc);
    const bool hasFocus = ::GetFocus() == Tree();
    COLORREF backColour = itemBackColour;
    COLORREF textColour = itemTextColour;
    if (!hasFocus && (style & TVS_SHOWSELALWAYS) && (TreeView_GetItemState(Tree(), item, TVIS_SELECTED) & TVIS_SELECTED)) {
        // The selection stays visible when another control has the keyboard.
        backColour = UnfocusedSelectionColour(window);
        textColour = ::GetSysColor(COLOR_WINDOWTEXT);
    }
    const bool marked = backColour != window && backColour != CLR_NONE && backColour != CLR_DEFAULT;

    // 2. Column 0: the label area, in the item's colours when they are not the plain ones.
    {
        const bool hot = (style & TVS_TRACKSELECT) && (draw.nmcd.uItemState & CDIS_HOT);
        win32::SelectScope font(dc, hot ? HotFont() : plainFont);
        const std::wstring_view first = copperfold::ColumnField(text, 0);
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, first.data(), static_cast<int>(first.size()), &extent);
        if (const auto span = copperfold::LabelSpan(label.left, extent.cx, columnWidths.front())) {
            const RECT area{span->left, row.top, span->right, row.bottom - 1};
            const RECT marking = fullRow ? RECT{area.left, area.top, totalWidth - 1, area.bottom} : area;
            if (marked) Fill(dc, marking, backColour);
            if (hasFocus && (draw.nmcd.uItemState & CDIS_FOCUS)) ::DrawFocusRect(dc, &marking);
            RECT textArea = area;
            ::InflateRect(&textArea, -2, -1);
            ::SetTextColor(dc, enabled ? textColour : ::GetSysColor(COLOR_GRAYTEXT));
            ::DrawTextW(dc, first.data(), static_cast<int>(first.size()), &textArea, kTextFlags | DT_LEFT);
        }
    }

    // 3. Columns 1 and up, each in its own span and alignment.
    win32::SelectScope font(dc, plainFont);
    ::SetTextColor(dc, !enabled ? ::GetSysColor(COLOR_GRAYTEXT) : fullRow ? textColour : ::GetSysColor(COLOR_MENUTEXT));
    for (size_t column = 1; column < columnWidths.size(); ++column) {
        const int left = copperfold::ColumnLeft(columnWidths, column);
        const auto span = copperfold::ExtraColumnTextSpan(left, columnWidths[column], textIndent);
        if (!span) continue;
        const std::wstring_view field = copperfold::ColumnField(text, column);
        RECT area{span->left, row.top + 1, span->right, row.bottom - 1};
        const int format = column < columnFormats.size() ? columnFormats[column] : 0;
        const UINT align = AlignmentFlags(copperfold::AlignmentOfColumn(column, format));
        ::DrawTextW(dc, field.data(), static_cast<int>(field.size()), &area, kTextFlags | align);
    }
    ::SetTextColor(dc, oldColour);
    ::SetBkMode(dc, oldMode);
}
