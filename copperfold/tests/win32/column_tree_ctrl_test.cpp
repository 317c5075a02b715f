// The column tree on a virtual display: its columns and item texts, the layout of its children
// as columns grow and rows fill it, sideways scrolling, hit tests, the minimum width of
// column 0, the forwarding of the tree's notifications under its own id, and what it draws.
#include "copperfold/win32/column_tree_ctrl.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "copperfold/core/column_text.h"

namespace {

constexpr int kJobListId = 1043;

// The form the control sits on: records the notifications it receives and answers
// TVN_ITEMEXPANDING with `refuseExpanding`.
class Form {
public:
    Form() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Form::Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"CopperfoldTestForm";
        windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowExW(0, windowClass.lpszClassName, L"Form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 400,
                                   nullptr, nullptr, windowClass.hInstance, nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Form() { ::DestroyWindow(window); }
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    struct Notice {
        HWND from;
        UINT_PTR id;
        UINT code;
    };
    std::vector<Notice> notices;
    bool refuseExpanding = false;
    HWND window = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            self->notices.push_back({header->hwndFrom, header->idFrom, header->code});
            if (header->code == TVN_ITEMEXPANDINGW) return self->refuseExpanding ? TRUE : FALSE;
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
}

HTREEITEM Insert(HWND tree, HTREEITEM parent, const std::wstring& label) {
    std::wstring text = label;
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = text.data();
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

RECT WindowRectIn(HWND window, HWND parent) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class ColumnTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(control.Create(form.window, RECT{10, 10, 510, 310}, kJobListId));
        EXPECT_EQ(control.InsertColumn(0, L"Source Folder", 0x800, 200), 0);
        EXPECT_EQ(control.InsertColumn(1, L"Size", 1, 100), 1);
        EXPECT_EQ(control.InsertColumn(2, L"Type", 2, 100), 2);
        Pump();
    }
    HWND Tree() const { return control.Tree(); }

    Form form;
    CColumnTreeCtrl control;
};

TEST_F(ColumnTreeTest, ChildrenColumnsAndHeader) {
    EXPECT_EQ(::GetDlgCtrlID(control.Tree()), 2);
    EXPECT_EQ(::GetDlgCtrlID(control.Header()), 1);
    EXPECT_EQ(::GetDlgCtrlID(control.ScrollBar()), 3);
    EXPECT_EQ(::GetDlgCtrlID(control.CornerHeader()), 4);
    EXPECT_EQ(Header_GetItemCount(control.Header()), 3);
    EXPECT_EQ(Header_GetItemCount(control.CornerHeader()), 3) << "one empty cell per column";
    EXPECT_EQ(control.ColumnCount(), 3);
    EXPECT_EQ(control.ColumnWidth(1), 100);
    EXPECT_GT(control.HeaderHeight(), 0);
    EXPECT_EQ(WindowRectIn(Tree(), control.Handle()).top, control.HeaderHeight()) << "the tree starts below the header";
    EXPECT_FALSE(::IsWindowVisible(control.ScrollBar())) << "400 pixels of columns fit in 500";
    EXPECT_EQ(::GetWindowLongPtrW(Tree(), GWL_STYLE) & (TVS_NOHSCROLL | TVS_NOTOOLTIPS), TVS_NOHSCROLL | TVS_NOTOOLTIPS);
}

TEST_F(ColumnTreeTest, ItemTextsAreTabSeparatedColumns) {
    const HTREEITEM plain = Insert(Tree(), TVI_ROOT, L"C:\\Data");
    EXPECT_EQ(control.GetItemText(plain, 0), L"C:\\Data");
    EXPECT_EQ(control.GetItemText(plain, 2), L"") << "a label with one field";
    ASSERT_TRUE(control.SetItemText(plain, 2, L"Backup"));
    EXPECT_EQ(control.GetItemText(plain, 0), L"C:\\Data");
    EXPECT_EQ(control.GetItemText(plain, 2), L"Backup");
    ASSERT_TRUE(control.SetItemText(plain, 1, L"E:\\Backup"));
    wchar_t label[256] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = plain;
    item.pszText = label;
    item.cchTextMax = 256;
    TreeView_GetItem(Tree(), &item);
    EXPECT_EQ(std::wstring(label), L"C:\\Data\tE:\\Backup\tBackup\t");

    const std::wstring longText(3000, L'n');  // longer than the first read of a label
    ASSERT_TRUE(control.SetItemText(plain, 0, longText));
    EXPECT_EQ(control.GetItemText(plain, 0), longText);
    EXPECT_EQ(control.GetItemText(plain, 2), L"Backup");
}

TEST_F(ColumnTreeTest, TreeNotificationsReachTheParentUnderTheControlsId) {
    const HTREEITEM root = Insert(Tree(), TVI_ROOT, L"E:\\");
    Insert(Tree(), root, L"Photos");
    form.notices.clear();
    TreeView_SelectItem(Tree(), root);
    ASSERT_FALSE(form.notices.empty());
    for (const auto& notice : form.notices) {
        EXPECT_EQ(notice.id, static_cast<UINT_PTR>(kJobListId));
        EXPECT_EQ(notice.from, control.Handle());
    }
    form.refuseExpanding = true;
    TreeView_Expand(Tree(), root, TVE_EXPAND);
    EXPECT_FALSE(TreeView_GetItemState(Tree(), root, TVIS_EXPANDED) & TVIS_EXPANDED) << "the parent's answer counts";
    form.refuseExpanding = false;
    TreeView_Expand(Tree(), root, TVE_EXPAND);
    EXPECT_TRUE(TreeView_GetItemState(Tree(), root, TVIS_EXPANDED) & TVIS_EXPANDED);
}

TEST_F(ColumnTreeTest, ColumnZeroCannotBeMadeNarrowerThan100) {
    HDITEMW width{};
    width.mask = HDI_WIDTH;
    width.cxy = 60;
    Header_SetItem(control.Header(), 0, &width);
    EXPECT_EQ(control.ColumnWidth(0), 200);
    width.cxy = 120;
    Header_SetItem(control.Header(), 0, &width);
    EXPECT_EQ(control.ColumnWidth(0), 120);

    // The same by dragging the divider between columns 0 and 1 with the mouse.
    const LPARAM onDivider = MAKELPARAM(120, 5);
    ::SendMessageW(control.Header(), WM_LBUTTONDOWN, MK_LBUTTON, onDivider);
    ::SendMessageW(control.Header(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 5));
    ::SendMessageW(control.Header(), WM_LBUTTONUP, 0, MAKELPARAM(40, 5));
    EXPECT_GE(control.ColumnWidth(0), 100);
    HDITEMW shown{};
    shown.mask = HDI_WIDTH;
    Header_GetItem(control.Header(), 0, &shown);
    EXPECT_EQ(shown.cxy, control.ColumnWidth(0)) << "the header shows the width the columns have";
    ::SendMessageW(control.Header(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(control.ColumnWidth(0), 5));
    ::SendMessageW(control.Header(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 5));
    ::SendMessageW(control.Header(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 5));
    ::SendMessageW(control.Header(), WM_LBUTTONUP, 0, MAKELPARAM(300, 5));
    EXPECT_EQ(control.ColumnWidth(0), 300) << "a drag to the right widens column 0";
    width.cxy = 5;
    Header_SetItem(control.Header(), 1, &width);
    EXPECT_EQ(control.ColumnWidth(1), 5) << "the other columns may be narrow";
}

TEST_F(ColumnTreeTest, WideColumnsScrollSidewaysAsOnePiece) {
    HDITEMW width{};
    width.mask = HDI_WIDTH;
    width.cxy = 450;
    Header_SetItem(control.Header(), 0, &width);  // 650 pixels of columns in a 500-pixel control
    Pump();
    EXPECT_TRUE(::IsWindowVisible(control.ScrollBar()));
    const int treeHeight = WindowRectIn(Tree(), control.Handle()).bottom;
    EXPECT_EQ(treeHeight, WindowRectIn(control.ScrollBar(), control.Handle()).top) << "the tree ends above the bar";

    ::SendMessageW(control.Handle(), WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(control.ScrollBar()));
    EXPECT_EQ(control.ScrollOffset(), 15);
    EXPECT_EQ(WindowRectIn(Tree(), control.Handle()).left, -15);
    EXPECT_EQ(WindowRectIn(control.Header(), control.Handle()).left, -15);
    ::SendMessageW(control.Handle(), WM_HSCROLL, SB_RIGHT, reinterpret_cast<LPARAM>(control.ScrollBar()));
    RECT client{};
    ::GetClientRect(control.Handle(), &client);
    EXPECT_EQ(control.ScrollOffset(), 650 - client.right);
    ::SendMessageW(control.Handle(), WM_HSCROLL, SB_LEFT, reinterpret_cast<LPARAM>(control.ScrollBar()));
    EXPECT_EQ(control.ScrollOffset(), 0);

    width.cxy = 150;
    Header_SetItem(control.Header(), 0, &width);
    Pump();
    EXPECT_FALSE(::IsWindowVisible(control.ScrollBar())) << "narrower columns fit again";
}

TEST_F(ColumnTreeTest, RowsThatFillTheControlBringTheCornerHeader) {
    EXPECT_FALSE(::IsWindowVisible(control.CornerHeader()));
    for (int i = 0; i < 60; ++i) Insert(Tree(), TVI_ROOT, L"row " + std::to_wstring(i));
    Pump();  // the tree's new scroll bar is reported by a posted message
    ASSERT_TRUE(::GetWindowLongPtrW(Tree(), GWL_STYLE) & WS_VSCROLL);
    EXPECT_TRUE(::IsWindowVisible(control.CornerHeader()));
    RECT client{};
    ::GetClientRect(control.Handle(), &client);
    const RECT corner = WindowRectIn(control.CornerHeader(), control.Handle());
    EXPECT_EQ(corner.right, client.right);
    EXPECT_EQ(WindowRectIn(control.Header(), control.Handle()).right, corner.left) << "the header stops at the corner";
}

TEST_F(ColumnTreeTest, HitTestFindsTheColumnUnderThePoint) {
    const HTREEITEM row = Insert(Tree(), TVI_ROOT, copperfold::JoinColumnFields({L"C:\\Data", L"12K", L"Sync"}));
    RECT itemRect{};
    ASSERT_TRUE(TreeView_GetItemRect(Tree(), row, &itemRect, TRUE));
    const int y = control.HeaderHeight() + (itemRect.top + itemRect.bottom) / 2;

    auto hit = control.HitTest({itemRect.left + 2, y});
    EXPECT_EQ(hit.item, row);
    EXPECT_EQ(hit.column, 0);
    hit = control.HitTest({250, y});
    EXPECT_EQ(hit.item, row);
    EXPECT_EQ(hit.column, 1);
    EXPECT_EQ(hit.flags, static_cast<UINT>(TVHT_ONITEMLABEL));
    hit = control.HitTest({350, y});
    EXPECT_EQ(hit.column, 2);
    hit = control.HitTest({450, y});
    EXPECT_EQ(hit.item, nullptr) << "right of all columns";
    EXPECT_EQ(hit.flags, static_cast<UINT>(TVHT_NOWHERE));

    ::SendMessageW(control.Handle(), WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(control.ScrollBar()));
    EXPECT_EQ(control.ScrollOffset(), 0) << "nothing to scroll: the columns fit";
}

// The control's picture: the texts of columns 1 and 2 stand where their alignment puts them.
TEST_F(ColumnTreeTest, ColumnTextsAreDrawnInTheirColumnsAndAlignment) {
    const HTREEITEM row = Insert(Tree(), TVI_ROOT, copperfold::JoinColumnFields({L"C:\\Data", L"WWW", L"WWW"}));
    Pump();
    RECT client{}, itemRect{};
    ::GetClientRect(Tree(), &client);
    ASSERT_TRUE(TreeView_GetItemRect(Tree(), row, &itemRect, FALSE));
    const HDC screen = ::GetDC(Tree());
    const HDC canvas = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    const HGDIOBJ previous = ::SelectObject(canvas, bitmap);
    ::FillRect(canvas, &client, ::GetSysColorBrush(COLOR_WINDOW));
    ::SendMessageW(Tree(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas), PRF_CLIENT);
    const COLORREF background = ::GetSysColor(COLOR_WINDOW);
    const auto inkBetween = [&](int left, int right) {
        int ink = 0;
        for (int x = left; x < right; ++x) {
            for (int y = itemRect.top + 2; y < itemRect.bottom - 2; ++y) {
                const COLORREF pixel = ::GetPixel(canvas, x, y);
                ink += pixel != background && GetRValue(pixel) < 128;  // dark: text, not a grid line
            }
        }
        return ink;
    };
    EXPECT_GT(inkBetween(250, 299), 0) << "column 1 is right-aligned: its text ends near its right edge";
    EXPECT_EQ(inkBetween(200, 240), 0);
    EXPECT_GT(inkBetween(330, 370), 0) << "column 2 is centred";
    EXPECT_EQ(inkBetween(300, 320), 0);
    EXPECT_EQ(inkBetween(380, 400), 0);
    ::SelectObject(canvas, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(canvas);
    ::ReleaseDC(Tree(), screen);
}

void PressAt(HWND tree, int x, int y) {
    ::SendMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Presses reach the tree only on an item's visible part: with full-row selection (the job
// list) anywhere along the row, with lines (the drive trees) only on the column-0 text; the
// check box toggles without moving the selection.
TEST_F(ColumnTreeTest, MousePressesReachTheTreeOnlyOnAnItemsVisiblePart) {
    ::SetWindowLongPtrW(Tree(), GWL_STYLE, ::GetWindowLongPtrW(Tree(), GWL_STYLE) | 0x1331);
    const HTREEITEM first = Insert(Tree(), TVI_ROOT, copperfold::JoinColumnFields({L"C:\\A", L"E:\\A", L"Backup"}));
    const HTREEITEM second = Insert(Tree(), TVI_ROOT, copperfold::JoinColumnFields({L"C:\\B", L"E:\\B", L"Sync"}));
    TreeView_SelectItem(Tree(), first);
    RECT label{};
    ASSERT_TRUE(TreeView_GetItemRect(Tree(), second, &label, TRUE));
    const int y = (label.top + label.bottom) / 2;
    PressAt(Tree(), 350, y);  // column 2 of the second row
    EXPECT_EQ(TreeView_GetSelection(Tree()), second) << "full-row selection: the whole row is the item";

    int stateIconX = -1;
    for (int x = 0; x < label.left && stateIconX < 0; ++x) {
        TVHITTESTINFO hit{};
        hit.pt = {x, y};
        TreeView_HitTest(Tree(), &hit);
        if (hit.flags & TVHT_ONITEMSTATEICON) stateIconX = x + 2;
    }
    ASSERT_GE(stateIconX, 0) << "rows have check boxes";
    TreeView_SelectItem(Tree(), first);
    EXPECT_FALSE(TreeView_GetCheckState(Tree(), second) == 1);
    PressAt(Tree(), stateIconX, y);
    EXPECT_EQ(TreeView_GetCheckState(Tree(), second), 1u);
    EXPECT_EQ(TreeView_GetSelection(Tree()), first) << "a check box click leaves the selection";

    // A drive tree's style: lines, so no full-row selection; a press beside the text does nothing.
    ::SetWindowLongPtrW(Tree(), GWL_STYLE, (::GetWindowLongPtrW(Tree(), GWL_STYLE) & ~0x1331) | 0x1237);
    TreeView_SelectItem(Tree(), first);
    ASSERT_TRUE(TreeView_GetItemRect(Tree(), second, &label, TRUE));
    PressAt(Tree(), 350, (label.top + label.bottom) / 2);
    EXPECT_EQ(TreeView_GetSelection(Tree()), first);
    PressAt(Tree(), label.left + 3, (label.top + label.bottom) / 2);
    EXPECT_EQ(TreeView_GetSelection(Tree()), second) << "a press on the column-0 text selects";
}

TEST_F(ColumnTreeTest, FittedColumnsFollowTheFontTheirTextsAreDrawnIn) {
    const std::vector<std::wstring> dates = {L"2026/12/ 7 20:49:00", L"8888/88/88 88:88:88"};
    control.FitColumn(1, 100, dates);
    const int atSmallFont = control.ColumnWidth(1);
    EXPECT_GE(atSmallFont, 100);
    EXPECT_GE(atSmallFont, control.TextWidth(dates[1]) + control.TextIndent() + 4);

    // A larger font, as a display of higher DPI gives: the column grows with its text.
    win32::UniqueGdiObject large(::CreateFontW(-26, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                                               L"Tahoma"));
    ::SendMessageW(control.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(large.get()), FALSE);
    control.FitColumn(1, 100, dates);
    EXPECT_GT(control.ColumnWidth(1), atSmallFont);
    EXPECT_GE(control.ColumnWidth(1), control.TextWidth(dates[1]) + control.TextIndent() + 4);
    EXPECT_EQ(control.ColumnWidth(0), 200) << "column 0 keeps its width";
    ::SendMessageW(control.Handle(), WM_SETFONT, 0, FALSE);
}

TEST_F(ColumnTreeTest, DisablingTheControlDisablesItsChildren) {
    ::EnableWindow(control.Handle(), FALSE);
    EXPECT_FALSE(::IsWindowEnabled(control.Tree()));
    EXPECT_FALSE(::IsWindowEnabled(control.Header()));
    ::EnableWindow(control.Handle(), TRUE);
    EXPECT_TRUE(::IsWindowEnabled(control.Tree()));
}

TEST(ColumnTreePlaceholder, TakesThePlaceholdersIdRectangleAndPlace) {
    Form form;
    const HWND placeholder = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 20, 30, 300, 200,
                                               form.window, reinterpret_cast<HMENU>(1042), nullptr, nullptr);
    CColumnTreeCtrl control;
    ASSERT_TRUE(control.BindPlaceholder(placeholder));
    EXPECT_FALSE(::IsWindow(placeholder));
    EXPECT_EQ(::GetDlgItem(form.window, 1042), control.Handle());
    const RECT rect = WindowRectIn(control.Handle(), form.window);
    EXPECT_EQ(rect.left, 20);
    EXPECT_EQ(rect.top, 30);
    EXPECT_EQ(rect.right, 320);
    EXPECT_TRUE(control.Tree());
    EXPECT_FALSE(control.BindPlaceholder(placeholder)) << "bound once";
}

}  // namespace
