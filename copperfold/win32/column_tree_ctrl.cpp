#include "column_tree_ctrl.h"

#include <shlwapi.h>

#include <algorithm>

#include "copperfold/core/column_layout.h"
#include "copperfold/core/column_text.h"
#include "common/win32/window.h"
#include "gdi_scope.h"

namespace {

constexpr wchar_t kClassName[] = L"CopperfoldColumnTree";

// The major version of the common-controls library in use, through its version entry point.
unsigned CommonControlsMajorVersion() {
    const HMODULE library = ::GetModuleHandleW(L"comctl32.dll");
    if (!library) return 5;
    using VersionEntry = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
    const auto entry = reinterpret_cast<VersionEntry>(reinterpret_cast<void*>(::GetProcAddress(library, "DllGetVersion")));
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (!entry || FAILED(entry(&info))) return 5;
    return info.dwMajorVersion;
}

copperfold::ScrollRequest RequestOf(int code) {
    using copperfold::ScrollRequest;
    switch (code) {
    case SB_LINELEFT: return ScrollRequest::LineLeft;
    case SB_LINERIGHT: return ScrollRequest::LineRight;
    case SB_PAGELEFT: return ScrollRequest::PageLeft;
    case SB_PAGERIGHT: return ScrollRequest::PageRight;
    case SB_THUMBTRACK: return ScrollRequest::Track;
    case SB_LEFT: return ScrollRequest::Leftmost;
    case SB_RIGHT: return ScrollRequest::Rightmost;
    default: return ScrollRequest::Other;
    }
}

void Place(HWND window, const copperfold::LayoutRect& rect) {
    ::SetWindowPos(window, nullptr, rect.x, rect.y, std::max(0, rect.width), std::max(0, rect.height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CColumnTreeCtrl::~CColumnTreeCtrl() {
    if (Handle()) ::DestroyWindow(Handle());  // while this class's handlers still run
}

int CColumnTreeCtrl::Id() const { return Handle() ? ::GetDlgCtrlID(Handle()) : 0; }

bool CColumnTreeCtrl::Create(HWND parent, const RECT& rect, int id, DWORD style, DWORD exStyle) {
    if (Handle()) return false;
    return Window::Create(kClassName, L"", style | WS_CHILD | WS_CLIPCHILDREN, exStyle | WS_EX_CONTROLPARENT, rect.left,
                          rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

bool CColumnTreeCtrl::BindPlaceholder(HWND placeholder) {
    if (Handle() || !placeholder) return false;
    const HWND parent = ::GetParent(placeholder);
    RECT rect{};
    ::GetWindowRect(placeholder, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    const auto placeholderStyle = static_cast<DWORD>(::GetWindowLongPtrW(placeholder, GWL_STYLE));
    const auto placeholderExStyle = static_cast<DWORD>(::GetWindowLongPtrW(placeholder, GWL_EXSTYLE));
    const DWORD style = WS_CHILD | (placeholderStyle & (WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_DISABLED));
    const DWORD exStyle = placeholderExStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
    if (!Create(parent, rect, ::GetDlgCtrlID(placeholder), style, exStyle)) return false;
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0));
    if (font) ApplyFont(font);
    ::SetWindowPos(Handle(), placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::DestroyWindow(placeholder);
    return true;
}

bool CColumnTreeCtrl::CreateChildren() {
    if (Tree()) return true;
    RECT client{};
    ::GetClientRect(Handle(), &client);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto child = [&](const wchar_t* windowClass, DWORD style, int id) {
        return ::CreateWindowExW(0, windowClass, L"", style, 0, 0, client.right, client.bottom, Handle(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    const HWND innerTree = child(WC_TREEVIEWW, WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_NOHSCROLL | TVS_NOTOOLTIPS, kTreeId);
    header = child(WC_HEADERW, WS_CHILD | WS_VISIBLE | HDS_BUTTONS | HDS_FULLDRAG, kHeaderId);
    cornerHeader = child(WC_HEADERW, WS_CHILD, kCornerHeaderId);
    scrollBar = child(L"SCROLLBAR", WS_CHILD | SBS_HORZ | SBS_BOTTOMALIGN, kScrollBarId);
    if (!innerTree || !header || !cornerHeader || !scrollBar || !tree.Attach(innerTree, Handle())) return false;

    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(innerTree, WM_GETFONT, 0, 0));
    ::SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageW(cornerHeader, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    textIndent = copperfold::ColumnTextIndent(CommonControlsMajorVersion());
    MeasureHeader();
    scrollOffset = 0;
    UpdateColumns();
    return true;
}

void CColumnTreeCtrl::MeasureHeader() {
    RECT area{0, 0, 10000, 10000};
    WINDOWPOS position{};
    HDLAYOUT layout{&area, &position};
    headerHeight = Header_Layout(header, &layout) ? position.cy : 0;
}

void CColumnTreeCtrl::ApplyFont(HFONT font) {
    for (const HWND child : {Tree(), header, cornerHeader}) {
        if (child) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (header) MeasureHeader();
    RepositionControls();
}

int CColumnTreeCtrl::InsertColumn(int index, std::wstring_view text, int format, int width) {
    if (!header) return -1;
    std::wstring title(text);
    HDITEMW item{};
    item.mask = HDI_WIDTH | HDI_TEXT | HDI_FORMAT;
    item.cxy = width;
    item.pszText = title.data();
    // The header has no image list: of the format it takes the alignment and shows the text.
    item.fmt = (format & ~HDF_IMAGE) | HDF_STRING;
    const int inserted = static_cast<int>(::SendMessageW(header, HDM_INSERTITEMW, static_cast<WPARAM>(std::max(0, index)),
                                                         reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0) return -1;
    columnFormats.insert(columnFormats.begin() + std::min<std::ptrdiff_t>(inserted, std::ssize(columnFormats)), format);
    if (Header_GetItemCount(header) > 0) {
        HDITEMW corner{};
        corner.mask = HDI_WIDTH;
        corner.cxy = ::GetSystemMetrics(SM_CXVSCROLL) + 5;
        ::SendMessageW(cornerHeader, HDM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&corner));
    }
    UpdateColumns();
    return inserted;
}

namespace {

int MeasuredWidth(HWND window, HFONT font, std::wstring_view text) {
    win32::WindowDc dc(window);
    win32::SelectScope selected(dc.Dc(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    ::GetTextExtentPoint32W(dc.Dc(), text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

}  // namespace

int CColumnTreeCtrl::TextWidth(std::wstring_view text) const {
    return MeasuredWidth(Tree(), reinterpret_cast<HFONT>(::SendMessageW(Tree(), WM_GETFONT, 0, 0)), text);
}

void CColumnTreeCtrl::FitColumn(int column, int minimum, const std::vector<std::wstring>& cellTexts) {
    if (column < 1 || column >= ColumnCount()) return;
    int widestCell = 0;
    for (const std::wstring& text : cellTexts) widestCell = std::max(widestCell, TextWidth(text));
    wchar_t title[256] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = title;
    item.cchTextMax = static_cast<int>(std::size(title));
    Header_GetItem(header, column, &item);
    const int titleWidth = MeasuredWidth(header, reinterpret_cast<HFONT>(::SendMessageW(header, WM_GETFONT, 0, 0)), title);
    HDITEMW resize{};
    resize.mask = HDI_WIDTH;
    resize.cxy = copperfold::FittingColumnWidth(minimum, widestCell, titleWidth, textIndent);
    Header_SetItem(header, column, &resize);
    UpdateColumns();
}

int CColumnTreeCtrl::ColumnWidth(int column) const {
    return column >= 0 && column < ColumnCount() ? columnWidths[static_cast<size_t>(column)] : 0;
}

void CColumnTreeCtrl::UpdateColumns() {
    if (!header) return;
    const int count = Header_GetItemCount(header);
    columnWidths.assign(static_cast<size_t>(std::max(0, count)), 0);
    totalWidth = 0;
    for (int i = 0; i < count; ++i) {
        HDITEMW item{};
        item.mask = HDI_WIDTH;
        Header_GetItem(header, i, &item);
        columnWidths[static_cast<size_t>(i)] = item.cxy;
        totalWidth += item.cxy;
    }
    tree.SetColumnZeroWidth(columnWidths.empty() ? 0 : columnWidths.front());
    RepositionControls();
}

void CColumnTreeCtrl::RepositionControls() {
    if (!Tree()) return;
    RECT client{};
    ::GetClientRect(Handle(), &client);
    copperfold::ColumnTreeMetrics metrics;
    metrics.clientWidth = client.right;
    metrics.clientHeight = client.bottom;
    metrics.headerHeight = headerHeight;
    metrics.verticalBarWidth = ::GetSystemMetrics(SM_CXVSCROLL);
    metrics.horizontalBarHeight = ::GetSystemMetrics(SM_CYHSCROLL);
    metrics.treeShowsVerticalBar = tree.ShowsVerticalBar();
    metrics.totalColumnWidth = totalWidth;
    const copperfold::ColumnTreeLayout layout = copperfold::ComputeColumnTreeLayout(metrics, scrollOffset);

    scrollOffset = layout.scrollOffset;
    tree.SetScrollOffset(scrollOffset);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = std::max(0, layout.fullWidth - 1);  // positions then run 0 .. full - W, as the offset does
    info.nPage = static_cast<UINT>(std::max(0, metrics.clientWidth));
    info.nPos = scrollOffset;
    ::SetScrollInfo(scrollBar, SB_CTL, &info, TRUE);

    Place(header, layout.header);
    Place(cornerHeader, layout.corner);
    Place(Tree(), layout.tree);
    Place(scrollBar, layout.scrollBar);
    ::ShowWindow(cornerHeader, layout.cornerVisible ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(scrollBar, layout.scrollBarVisible ? SW_SHOWNA : SW_HIDE);
    scrollBarShown = layout.scrollBarVisible;
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CColumnTreeCtrl::OnHorizontalScroll(int request) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    ::GetScrollInfo(scrollBar, SB_CTL, &info);
    RECT client{};
    ::GetClientRect(Handle(), &client);
    const int full = totalWidth + (tree.ShowsVerticalBar() ? ::GetSystemMetrics(SM_CXVSCROLL) : 0);
    const int offset = copperfold::ScrolledOffset(RequestOf(request), scrollOffset, info.nTrackPos, full, client.right);
    if (offset == scrollOffset) return;
    scrollOffset = offset;
    tree.SetScrollOffset(offset);
    ::SetScrollPos(scrollBar, SB_CTL, offset, TRUE);
    RepositionControls();
}

std::wstring CColumnTreeCtrl::GetItemText(HTREEITEM item, int column) const {
    if (column < 0) return {};
    return std::wstring(copperfold::ColumnField(TreeItemLabel(Tree(), item), static_cast<size_t>(column)));
}

HTREEITEM CColumnTreeCtrl::InsertRow(HTREEITEM parent, HTREEITEM after, std::initializer_list<std::wstring_view> fields,
                                     int image, int selectedImage, std::optional<int> children) {
    std::wstring label = copperfold::JoinColumnFields(fields);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | (children ? TVIF_CHILDREN : 0);
    insert.item.pszText = label.data();
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.cChildren = children.value_or(0);
    return reinterpret_cast<HTREEITEM>(::SendMessageW(Tree(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool CColumnTreeCtrl::SetItemText(HTREEITEM item, int column, std::wstring_view text) {
    if (column < 0) return false;
    std::wstring label = copperfold::ReplaceColumnField(TreeItemLabel(Tree(), item), static_cast<size_t>(column), text,
                                                        static_cast<size_t>(std::max(0, Header_GetItemCount(header))));
    TVITEMW update{};
    update.mask = TVIF_TEXT | TVIF_HANDLE;
    update.hItem = item;
    update.pszText = label.data();
    return ::SendMessageW(Tree(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&update)) != 0;
}

bool CColumnTreeCtrl::SetRow(HTREEITEM item, std::initializer_list<std::wstring_view> fields) {
    std::wstring label = copperfold::JoinColumnFields(fields);
    if (TreeItemLabel(Tree(), item) == label) return true;
    TVITEMW update{};
    update.mask = TVIF_TEXT | TVIF_HANDLE;
    update.hItem = item;
    update.pszText = label.data();
    return ::SendMessageW(Tree(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&update)) != 0;
}

CColumnTreeCtrl::Hit CColumnTreeCtrl::HitTest(POINT point) const {
    TVHITTESTINFO test{};
    test.pt = {point.x + scrollOffset, point.y - headerHeight};
    TreeView_HitTest(Tree(), &test);
    if (test.hItem && (test.flags & (TVHT_ONITEMLABEL | TVHT_ONITEMRIGHT))) {
        if (const auto column = copperfold::ColumnAt(columnWidths, test.pt.x)) {
            return {test.hItem, static_cast<int>(*column), TVHT_ONITEMLABEL};
        }
        return {nullptr, 0, TVHT_NOWHERE};
    }
    return {test.hItem, 0, test.flags};
}

LRESULT CColumnTreeCtrl::OnNotify(NMHDR* notify) {
    if (notify->hwndFrom == header) return OnHeaderNotify(notify);
    if (notify->hwndFrom == Tree()) return OnTreeNotify(notify);
    return 0;
}

LRESULT CColumnTreeCtrl::OnHeaderNotify(NMHDR* notify) {
    switch (notify->code) {
    case HDN_ITEMCHANGINGW:
    case HDN_ITEMCHANGINGA: {
        const auto* change = reinterpret_cast<NMHEADERW*>(notify);
        if (change->pitem && (change->pitem->mask & HDI_WIDTH) &&
            !copperfold::MayResizeColumn(static_cast<size_t>(change->iItem), change->pitem->cxy)) {
            return TRUE;  // refused
        }
        return FALSE;
    }
    case HDN_ITEMCHANGEDW:
    case HDN_ITEMCHANGEDA:
        UpdateColumns();
        ::InvalidateRect(Tree(), nullptr, FALSE);
        return 0;
    default:
        return 0;
    }
}

LRESULT CColumnTreeCtrl::OnTreeNotify(NMHDR* notify) {
    if (notify->code == NM_CUSTOMDRAW) return OnCustomDraw(reinterpret_cast<NMTVCUSTOMDRAW*>(notify));
    if (notify->code == TVN_ITEMEXPANDEDW || notify->code == TVN_ITEMEXPANDEDA) RepositionControls();
    return ForwardNotify(notify);
}

LRESULT CColumnTreeCtrl::ForwardNotify(NMHDR* notify) {
    const NMHDR original = *notify;
    notify->hwndFrom = Handle();
    notify->idFrom = static_cast<UINT_PTR>(Id());
    const LRESULT answer = ::SendMessageW(::GetParent(Handle()), WM_NOTIFY, notify->idFrom, reinterpret_cast<LPARAM>(notify));
    notify->hwndFrom = original.hwndFrom;
    notify->idFrom = original.idFrom;
    return answer;
}

void CColumnTreeCtrl::PaintCorner() {
    win32::PaintScope paint(Handle());
    if (!tree.ShowsVerticalBar() || !scrollBarShown) return;
    RECT client{};
    ::GetClientRect(Handle(), &client);
    const RECT corner{client.right - ::GetSystemMetrics(SM_CXVSCROLL), client.bottom - ::GetSystemMetrics(SM_CYHSCROLL),
                      client.right, client.bottom};
    ::FillRect(paint.Dc(), &corner, ::GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CColumnTreeCtrl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return CreateChildren() ? 0 : -1;
    case WM_SIZE:
        RepositionControls();
        return 0;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == scrollBar) OnHorizontalScroll(LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        if (win32::SentByAnotherThread() || lParam == 0) return 0;  // not from this control's own children
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case CCustomTreeChildCtrl::kVerticalBarChanged:
        RepositionControls();
        return 0;
    case WM_PAINT:
        PaintCorner();
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the children cover the control; the corner is painted with it
    case WM_SETFOCUS:
        if (Tree()) ::SetFocus(Tree());
        return 0;
    case WM_SETFONT:
        ApplyFont(reinterpret_cast<HFONT>(wParam));
        return 0;
    case WM_GETFONT:
        return Tree() ? ::SendMessageW(Tree(), WM_GETFONT, 0, 0) : 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE: {
        for (const HWND child : {Tree(), header, cornerHeader, scrollBar}) {
            if (child) ::SendMessageW(child, message, wParam, lParam);
        }
        const auto uiFont = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
        if (header) ::SendMessageW(header, WM_SETFONT, uiFont, FALSE);
        if (cornerHeader) ::SendMessageW(cornerHeader, WM_SETFONT, uiFont, FALSE);
        if (header) MeasureHeader();
        UpdateColumns();
        return 0;
    }
    case WM_ENABLE:
        for (const HWND child : {Tree(), header, cornerHeader, scrollBar}) {
            if (child) ::EnableWindow(child, static_cast<BOOL>(wParam));
        }
        return 0;
    default:
        break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}
