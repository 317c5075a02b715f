#pragma once
// CColumnTreeCtrl: a tree with a header of columns. Column 0 is the tree itself (indentation,
// expand buttons, check boxes, icons and the item's first text); columns 1 and up are further
// texts drawn beside each row. An item's label holds all its columns, each followed by a tab
// (column_text.h); GetItemText and SetItemText read and write one column of it.
//
// Children: the inner tree (id 2), the header (id 1), a corner header above the tree's
// vertical scroll bar (id 4) and a horizontal scroll bar along the bottom (id 3). The columns
// scroll sideways as one piece. Every ordinary tree operation goes to the inner tree directly
// (Tree()); its notifications reach the parent as the column tree's own, with the column
// tree's window and id in the header.

#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/window.h"
#include "custom_tree_child_ctrl.h"

class CColumnTreeCtrl : public win32::Window {
public:
    static constexpr int kHeaderId = 1;
    static constexpr int kTreeId = 2;
    static constexpr int kScrollBarId = 3;
    static constexpr int kCornerHeaderId = 4;

    CColumnTreeCtrl() = default;
    ~CColumnTreeCtrl() override;

    // Creates the control as a child of `parent`.
    bool Create(HWND parent, const RECT& rect, int id, DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                DWORD exStyle = WS_EX_CLIENTEDGE);
    // Takes the place of a placeholder control of a dialog or form: its id, rectangle, place in
    // the tab order and its visibility, tab stop and border. The placeholder is destroyed.
    // Nothing happens when the control already exists.
    bool BindPlaceholder(HWND placeholder);

    HWND Tree() const { return tree.Handle(); }
    HWND Header() const { return header; }
    HWND CornerHeader() const { return cornerHeader; }
    HWND ScrollBar() const { return scrollBar; }
    int Id() const;

    // Inserts a header column; format bit 0 right-aligns the texts of a column 1 and up, else
    // bit 1 centres them. Returns the column's index, or -1.
    int InsertColumn(int index, std::wstring_view text, int format, int width);
    int ColumnCount() const { return static_cast<int>(columnWidths.size()); }
    // The width of a text in the rows' font, in pixels (the font follows the display's DPI).
    int TextWidth(std::wstring_view text) const;
    // Widens a column 1 and up so that the widest of `cellTexts` and the column's title show
    // whole at the current fonts; never narrower than `minimum`.
    void FitColumn(int column, int minimum, const std::vector<std::wstring>& cellTexts);
    int ColumnWidth(int column) const;
    int ScrollOffset() const { return scrollOffset; }
    int HeaderHeight() const { return headerHeight; }
    int TextIndent() const { return textIndent; }

    // Inserts a row whose columns hold `fields` (column 0 first) under `parent`, after `after`
    // (or TVI_LAST, TVI_FIRST, TVI_SORT). `children` is the row's child count for its expand
    // button (I_CHILDRENCALLBACK: asked for when shown); left unset without it. Null on failure.
    HTREEITEM InsertRow(HTREEITEM parent, HTREEITEM after, std::initializer_list<std::wstring_view> fields, int image,
                        int selectedImage, std::optional<int> children = std::nullopt);
    std::wstring GetItemText(HTREEITEM item, int column) const;
    bool SetItemText(HTREEITEM item, int column, std::wstring_view text);
    // Gives a row all its columns at once (column 0 first); one change of the item instead of
    // one per column. Nothing is changed when the row already reads so.
    bool SetRow(HTREEITEM item, std::initializer_list<std::wstring_view> fields);

    struct Hit {
        HTREEITEM item = nullptr;
        int column = 0;
        UINT flags = 0;  // TVHT_*: TVHT_ONITEMLABEL on a column's text, TVHT_NOWHERE right of all columns
    };
    // What lies under a point of the control's client area.
    Hit HitTest(POINT point) const;

    // Reads the header's column widths again and lays the children out.
    void UpdateColumns();
    void RepositionControls();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool CreateChildren();
    void MeasureHeader();
    void ApplyFont(HFONT font);
    void OnHorizontalScroll(int request);
    LRESULT OnNotify(NMHDR* header);
    LRESULT OnHeaderNotify(NMHDR* header);
    LRESULT OnTreeNotify(NMHDR* header);
    LRESULT ForwardNotify(NMHDR* header);
    void PaintCorner();

    // Custom drawing of the rows (column_tree_draw.cpp).
    LRESULT OnCustomDraw(NMTVCUSTOMDRAW* draw);
    void DrawRow(const NMTVCUSTOMDRAW& draw);
    HFONT HotFont();

    CCustomTreeChildCtrl tree;
    HWND header = nullptr;
    HWND cornerHeader = nullptr;
    HWND scrollBar = nullptr;
    int headerHeight = 0;
    int totalWidth = 0;
    int scrollOffset = 0;
    int textIndent = 9;
    std::vector<int> columnWidths;
    std::vector<int> columnFormats;
    bool scrollBarShown = false;
    // The colours the tree chose for the item it is drawing (captured before it draws).
    COLORREF itemTextColour = 0;
    COLORREF itemBackColour = 0;
    win32::UniqueGdiObject hotFont;  // an underlined copy of the tree's font
    HFONT hotFontSource = nullptr;
};
