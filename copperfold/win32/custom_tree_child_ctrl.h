#pragma once
// CCustomTreeChildCtrl: the platform's tree control inside a column tree, with a few messages
// handled differently. Its item labels hold the texts of all columns (column_text.h), which
// the column tree draws itself, so:
//   - it paints off-screen and copies the picture in one step, never erasing separately; while
//     its redrawing is switched off it keeps the picture on the screen as it was;
//   - a key press repaints the whole tree (a row's columns depend on its state);
//   - with check boxes, Space ticks or clears the selected item's box, on every platform alike;
//   - Shift+F10 asks for the context menu (WM_CONTEXTMENU from the keyboard), on every
//     platform alike;
//   - its own timers are swallowed;
//   - a mouse press reaches the tree only on an item's visible part: its icon, expand button
//     or check box, and its column-0 text (with full-row selection, anything right of the
//     label's left edge); elsewhere the press only gives it the focus. Mouse moves likewise,
//     so hot tracking follows the column-0 text;
//   - when its vertical scroll bar comes or goes, the owner is told to lay itself out again.

#include <windows.h>
#include <commctrl.h>

#include <string>

class CCustomTreeChildCtrl {
public:
    // Posted to the owner when the tree's vertical scroll bar has appeared or gone.
    static constexpr UINT kVerticalBarChanged = WM_APP + 0x31;

    CCustomTreeChildCtrl() = default;
    ~CCustomTreeChildCtrl();
    CCustomTreeChildCtrl(const CCustomTreeChildCtrl&) = delete;
    CCustomTreeChildCtrl& operator=(const CCustomTreeChildCtrl&) = delete;

    // Takes over the messages of an existing tree control.
    bool Attach(HWND tree, HWND owner);
    HWND Handle() const { return hwnd; }

    void SetColumnZeroWidth(int width) { columnZeroWidth = width; }
    int ColumnZeroWidth() const { return columnZeroWidth; }
    void SetScrollOffset(int offset) { scrollOffset = offset; }
    int ScrollOffset() const { return scrollOffset; }
    bool ShowsVerticalBar() const;

    // Whether a point (tree client coordinates) lies on the visible part of an item.
    bool OnVisiblePart(POINT point) const;
    // The width of an item's column-0 text in the tree's font.
    int ColumnZeroTextWidth(HTREEITEM item) const;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Detach();
    LRESULT CallOriginal(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    LRESULT MousePress(UINT message, WPARAM wParam, LPARAM lParam);
    // Space with check boxes: the selected item's box changes. False without check boxes.
    bool ToggleSelectedCheckBox();

    HWND hwnd = nullptr;
    HWND owner = nullptr;
    WNDPROC original = nullptr;  // the tree's own window procedure
    int columnZeroWidth = 0;
    int scrollOffset = 0;
    bool verticalBarShown = false;
    bool redrawing = true;  // WM_SETREDRAW
};

// The full label of a tree item (all its columns).
std::wstring TreeItemLabel(HWND tree, HTREEITEM item);
