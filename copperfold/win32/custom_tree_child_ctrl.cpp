#include "custom_tree_child_ctrl.h"

#include <windowsx.h>

#include <algorithm>

#include "copperfold/core/column_text.h"
#include "gdi_scope.h"


std::wstring TreeItemLabel(HWND tree, HTREEITEM item) {
    // Labels have no length query: read into a buffer that grows until the label fits.
    for (int capacity = 512;; capacity *= 4) {
        std::wstring text(static_cast<size_t>(capacity), L'\0');
        TVITEMW query{};
        query.mask = TVIF_TEXT | TVIF_HANDLE;
        query.hItem = item;
        query.pszText = text.data();
        query.cchTextMax = capacity;
        if (!::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query))) return {};
        const size_t length = std::wstring_view(query.pszText).size();
        if (length + 1 < static_cast<size_t>(capacity) || capacity >= (1 << 20)) {
            return std::wstring(query.pszText, length);
        }
    }
}

CCustomTreeChildCtrl::~CCustomTreeChildCtrl() { Detach(); }

// The tree's messages come here through its window procedure, not through the common
// controls' subclass chain: that chain finds its data in a window property on every message,
// which under Wine is a round trip to the server and made each tree operation cost a tenth of
// a millisecond. The tree's user data holds this object (the tree is ours and uses none).
bool CCustomTreeChildCtrl::Attach(HWND tree, HWND ownerWindow) {
    if (hwnd || !tree || ::GetWindowLongPtrW(tree, GWLP_USERDATA)) return false;
    ::SetWindowLongPtrW(tree, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CCustomTreeChildCtrl::Procedure)));
    if (!original) {
        ::SetWindowLongPtrW(tree, GWLP_USERDATA, 0);
        return false;
    }
    hwnd = tree;
    owner = ownerWindow;
    verticalBarShown = ShowsVerticalBar();
    return true;
}

void CCustomTreeChildCtrl::Detach() {
    if (!hwnd) return;
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd = nullptr;
}

LRESULT CCustomTreeChildCtrl::CallOriginal(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
}

bool CCustomTreeChildCtrl::ShowsVerticalBar() const {
    return hwnd && (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VSCROLL) != 0;
}

LRESULT CALLBACK CCustomTreeChildCtrl::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = reinterpret_cast<CCustomTreeChildCtrl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!control || control->hwnd != window) return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const WNDPROC treeProcedure = control->original;
        control->Detach();
        return ::CallWindowProcW(treeProcedure, window, message, wParam, lParam);
    }
    try {
        return control->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return control->CallOriginal(message, wParam, lParam);
    }
}

LRESULT CCustomTreeChildCtrl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        if (wParam) break;  // a caller's device context: paint straight into it
        Paint();
        return 0;
    case WM_SETREDRAW:
        redrawing = wParam != FALSE;
        break;
    case WM_ERASEBKGND:
        return 1;  // the off-screen picture covers everything
    case WM_KEYDOWN:
        ::InvalidateRect(hwnd, nullptr, FALSE);
        if (wParam == VK_SPACE && ToggleSelectedCheckBox()) return 0;
        break;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        // Shift+F10 asks for the context menu, as the menu key does. Not every platform's
        // default handling turns it into WM_CONTEXTMENU (Wine does not), so the tree does it on
        // the press and keeps both halves from the default, which would otherwise also enter the
        // menu bar on the release (or open the menu a second time).
        if (wParam == VK_F10 && (::GetKeyState(VK_SHIFT) & 0x8000)) {
            if (message == WM_SYSKEYDOWN && !(lParam & (1 << 30))) {  // not the key's auto-repeat
                ::SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), -1);
            }
            return 0;
        }
        break;
    case WM_CHAR:
        // The space that ticked a check box is not also a search for an item named " ".
        if (wParam == L' ' && (::GetWindowLongPtrW(hwnd, GWL_STYLE) & TVS_CHECKBOXES)) return 0;
        break;
    case WM_TIMER:
        // The tree's own timers (label editing, hover) serve nothing here; killed, so a
        // repeating one cannot keep waking the program.
        ::KillTimer(hwnd, wParam);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return MousePress(message, wParam, lParam);
    case WM_MOUSEMOVE:
        if (!OnVisiblePart({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
            // Off the visible part: as far as hot tracking goes, the mouse is on no item.
            lParam = MAKELPARAM(static_cast<WORD>(-1), static_cast<WORD>(-1));
        }
        break;
    case WM_SIZE: {
        const LRESULT result = CallOriginal(message, wParam, lParam);
        const bool shown = ShowsVerticalBar();
        if (shown != verticalBarShown) {
            verticalBarShown = shown;
            ::PostMessageW(owner, kVerticalBarChanged, 0, 0);
        }
        return result;
    }
    default:
        break;
    }
    return CallOriginal(message, wParam, lParam);
}

bool CCustomTreeChildCtrl::ToggleSelectedCheckBox() {
    if (!(::GetWindowLongPtrW(hwnd, GWL_STYLE) & TVS_CHECKBOXES)) return false;
    const HTREEITEM selected = TreeView_GetSelection(hwnd);
    if (!selected) return true;
    TreeView_SetCheckState(hwnd, selected, TreeView_GetCheckState(hwnd, selected) != 1);
    return true;
}

void CCustomTreeChildCtrl::Paint() {
    win32::PaintScope paint(hwnd);
    // While its redrawing is off the tree draws nothing: the screen keeps the last picture
    // rather than an empty one, and switching redrawing on repaints the whole tree.
    if (!redrawing) return;
    RECT client{};
    ::GetClientRect(hwnd, &client);
    const int width = std::max<int>(1, client.right), height = std::max<int>(1, client.bottom);
    win32::MemoryCanvas canvas(paint.Dc(), width, height);
    if (!canvas.IsValid()) {  // out of memory for the picture: paint directly
        CallOriginal(WM_PAINT, reinterpret_cast<WPARAM>(paint.Dc()), 0);
        return;
    }
    const COLORREF background = TreeView_GetBkColor(hwnd);
    const bool enabled = ::IsWindowEnabled(hwnd) != FALSE;
    win32::UniqueGdiObject brush(::CreateSolidBrush(
        enabled && background != static_cast<COLORREF>(-1) ? background : ::GetSysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE)));
    ::FillRect(canvas.Dc(), &client, static_cast<HBRUSH>(brush.get()));
    CallOriginal(WM_PAINT, reinterpret_cast<WPARAM>(canvas.Dc()), 0);
    const RECT& area = paint.Area();
    ::BitBlt(paint.Dc(), area.left, area.top, area.right - area.left, area.bottom - area.top, canvas.Dc(), area.left,
             area.top, SRCCOPY);
}

int CCustomTreeChildCtrl::ColumnZeroTextWidth(HTREEITEM item) const {
    const std::wstring label = TreeItemLabel(hwnd, item);
    const std::wstring_view text = copperfold::ColumnField(label, 0);
    win32::WindowDc dc(hwnd);
    win32::SelectScope font(dc.Dc(), reinterpret_cast<HGDIOBJ>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(dc.Dc(), text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

bool CCustomTreeChildCtrl::OnVisiblePart(POINT point) const {
    TVHITTESTINFO hit{};
    hit.pt = point;
    if (!TreeView_HitTest(hwnd, &hit) || !hit.hItem) return false;
    if (hit.flags & (TVHT_ONITEMICON | TVHT_ONITEMBUTTON | TVHT_ONITEMSTATEICON)) return true;
    if (!(hit.flags & (TVHT_ONITEMLABEL | TVHT_ONITEMRIGHT))) return false;
    RECT label{};
    if (!TreeView_GetItemRect(hwnd, hit.hItem, &label, TRUE) || point.x < label.left) return false;
    const auto style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    if ((style & TVS_FULLROWSELECT) && !(style & TVS_HASLINES)) return true;
    return point.x < std::min<LONG>(label.left + ColumnZeroTextWidth(hit.hItem) + 6, columnZeroWidth);
}

LRESULT CCustomTreeChildCtrl::MousePress(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!OnVisiblePart(point)) {
        ::SetFocus(hwnd);
        return 0;
    }
    TVHITTESTINFO hit{};
    hit.pt = point;
    TreeView_HitTest(hwnd, &hit);
    if (hit.hItem && (hit.flags & (TVHT_ONITEMLABEL | TVHT_ONITEMRIGHT | TVHT_ONITEMICON))) {
        TreeView_SelectItem(hwnd, hit.hItem);
    }
    return CallOriginal(message, wParam, lParam);
}
