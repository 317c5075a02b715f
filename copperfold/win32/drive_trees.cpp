// The drive trees of CCopperfoldView: the device scan, the drive roots, lazy listing of
// folders, and the trees following drives and folder changes.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include "common/win32/unique_handle.h"
#include "copperfold/core/column_text.h"
#include "copperfold/core/directory_change.h"
#include "copperfold/core/drive_tree_text.h"
#include "copperfold/core/preflight.h"
#include "copperfold_view.h"
#include "copperfold_view_resource.h"

namespace {

constexpr UINT kExpandedMarks = TVIS_EXPANDED | TVIS_EXPANDEDONCE;

// Paths too long for the plain form of the file functions get the extended-length prefix, so
// a deep folder is listed in full rather than cut short.
std::wstring FileApiPath(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || path.starts_with(L"\\\\?\\")) return path;
    return L"\\\\?\\" + path;
}

bool IsDotEntry(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (std::wstring_view(data.cFileName) == L"." || std::wstring_view(data.cFileName) == L"..");
}

bool IsDirectory(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

std::wstring DateText(const FILETIME& written) {
    FILETIME local{};
    SYSTEMTIME fields{};
    if (!::FileTimeToLocalFileTime(&written, &local) || !::FileTimeToSystemTime(&local, &fields)) return {};
    return copperfold::FormatFileDate(
        {fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond});
}

std::wstring SizeText(const WIN32_FIND_DATAW& data) {
    if (IsDirectory(data)) return {};
    return copperfold::FormatFileSize((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

void SetChildCount(HWND tree, HTREEITEM item, int count) {
    TVITEMW info{};
    info.mask = TVIF_CHILDREN | TVIF_HANDLE;
    info.hItem = item;
    info.cChildren = count;
    TreeView_SetItem(tree, &info);
}

void SetIcon(HWND tree, HTREEITEM item, int icon) {
    TVITEMW info{};
    info.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    info.hItem = item;
    info.iImage = icon;
    info.iSelectedImage = icon;
    TreeView_SetItem(tree, &info);
}

void ClearExpandedMarks(HWND tree, HTREEITEM item) { TreeView_SetItemState(tree, item, 0, kExpandedMarks); }

// The entry data of one file or folder. Asked for by name rather than found by a search, which
// under Wine reads through the whole folder (milliseconds in a folder of ten thousand entries).
bool LookUp(const std::wstring& path, WIN32_FIND_DATAW& data) {
    WIN32_FILE_ATTRIBUTE_DATA found{};
    if (!::GetFileAttributesExW(FileApiPath(path).c_str(), GetFileExInfoStandard, &found)) return false;
    data = {};
    data.dwFileAttributes = found.dwFileAttributes;
    data.ftCreationTime = found.ftCreationTime;
    data.ftLastAccessTime = found.ftLastAccessTime;
    data.ftLastWriteTime = found.ftLastWriteTime;
    data.nFileSizeHigh = found.nFileSizeHigh;
    data.nFileSizeLow = found.nFileSizeLow;
    return true;
}

// Calls `visit` for every entry of the folder that the trees show (no dot entries, nothing
// hidden). False when the folder cannot be enumerated.
template <typename Visit>
bool ForEachVisibleEntry(std::wstring folder, Visit visit) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    WIN32_FIND_DATAW data{};
    const win32::UniqueFind search(::FindFirstFileW(FileApiPath(folder + L"*.*").c_str(), &data));
    if (!search) return false;
    do {
        if (IsDotEntry(data) || (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) continue;
        if (!visit(data)) break;
    } while (::FindNextFileW(search.get(), &data));
    return true;
}

int DriveTypeIcon(UINT type, int otherwise) {
    switch (type) {
    case DRIVE_REMOVABLE: return CCopperfoldView::kRemovableIcon;
    case DRIVE_FIXED: return CCopperfoldView::kFixedDriveIcon;
    case DRIVE_REMOTE: return CCopperfoldView::kRemoteIcon;
    case DRIVE_CDROM: return CCopperfoldView::kCdRomIcon;
    case DRIVE_RAMDISK: return CCopperfoldView::kRamDiskIcon;
    default: return otherwise;
    }
}

// Switches a tree's redrawing off for a batch of changes and on again afterwards, unless a
// burst of watcher changes holds the tree's layout (then its release redraws).
class RedrawPause {
public:
    explicit RedrawPause(HWND paused) : window(paused) { ::SendMessageW(window, WM_SETREDRAW, FALSE, 0); }
    ~RedrawPause() {
        if (CCopperfoldView::LayoutHeld(window)) return;  // the held layout's release redraws
        ::SendMessageW(window, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(window, nullptr, TRUE);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    HWND window;
};

}  // namespace

void CCopperfoldView::ScanDevices() {
    auto list = std::make_unique<copperfold::DeviceList>();
    if (services.scanDevices) services.scanDevices(*list);
    copperfold::BuildDeviceTable(*list, services.document.deviceTable);
    InvalidateDeviceHandles();
    if (!services.deviceAccess) {
        unreadableDrives = copperfold::UnansweredDeviceLetters(*list) &
                           ~copperfold::DeviceLetterMask(services.document.deviceTable);
    }
}

void CCopperfoldView::ShowDeviceAccessNote() {
    if (deviceAccessNoted || unreadableDrives == 0) return;
    deviceAccessNoted = true;
    std::wstring drives;
    for (int n = 0; n < 26; ++n) {
        if (!(unreadableDrives & (1u << n))) continue;
        if (!drives.empty()) drives += L", ";
        drives += copperfold::DriveRoot(n).substr(0, 2);
    }
    const std::wstring text = copperfold::FilledText(Translate(kNoDeviceAccessText), {drives});
    ::MessageBoxW(form, text.c_str(), Translate(L"Prompt Message").c_str(), MB_OK | MB_ICONINFORMATION);
}

void CCopperfoldView::FillDriveTree(CColumnTreeCtrl& tree, bool deviceOnly) {
    std::uint32_t drives = ::GetLogicalDrives();
    const std::uint32_t deviceDrives = copperfold::DeviceLetterMask(services.document.deviceTable);
    drives = deviceOnly ? drives & deviceDrives : drives & ~deviceDrives & ~unreadableDrives;
    std::vector<std::wstring> roots;
    {
        const RedrawPause pause(tree.Tree());
        for (int n = 1; n < 26; ++n) {  // drive A is never listed here
            if (!(drives & (1u << n))) continue;
            std::wstring root = copperfold::DriveRoot(n);
            const UINT type = ::GetDriveTypeW(root.c_str());
            if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) continue;
            const int icon = DriveTypeIcon(type, kFixedDriveIcon);
            tree.InsertRow(TVI_ROOT, TVI_LAST, {root, L"", L""}, icon, icon, I_CHILDRENCALLBACK);
            roots.push_back(std::move(root));
        }
    }
    for (const std::wstring& root : roots) watcher.AddDirectory(root);
    Repaint();
}

std::wstring CCopperfoldView::ItemPath(const CColumnTreeCtrl& tree, HTREEITEM item) const {
    std::vector<std::wstring> texts;
    for (HTREEITEM at = item; at; at = TreeView_GetParent(tree.Tree(), at)) texts.push_back(tree.GetItemText(at, 0));
    std::reverse(texts.begin(), texts.end());
    return copperfold::JoinItemPath(texts);
}

CCopperfoldView::FolderContents CCopperfoldView::FolderState(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    if (path.size() > 3) {
        WIN32_FIND_DATAW data{};
        if (!LookUp(path.substr(0, path.size() - 1), data)) return FolderContents::Missing;
    }
    bool visible = false;
    ForEachVisibleEntry(path, [&](const WIN32_FIND_DATAW&) {
        visible = true;
        return false;
    });
    return visible ? FolderContents::HasVisibleEntry : FolderContents::Empty;
}

CColumnTreeCtrl* CCopperfoldView::TreeOfNotification(const NMHDR& header) {
    if (header.idFrom == IDC_LOCAL_TREE && header.hwndFrom == localTree.Handle()) return &localTree;
    if (header.idFrom == IDC_DEVICE_TREE && header.hwndFrom == deviceTree.Handle()) return &deviceTree;
    return nullptr;
}

void CCopperfoldView::ClearChildren(CColumnTreeCtrl& tree, HTREEITEM item) {
    const HWND inner = tree.Tree();
    while (const HTREEITEM child = TreeView_GetChild(inner, item)) TreeView_DeleteItem(inner, child);
    ClearExpandedMarks(inner, item);
}

void CCopperfoldView::OnGetDisplayInfo(CColumnTreeCtrl& tree, NMTVDISPINFOW& info) {
    if (!(info.item.mask & TVIF_CHILDREN)) return;
    switch (FolderState(ItemPath(tree, info.item.hItem))) {
    case FolderContents::Empty:
        if (TreeView_GetChild(tree.Tree(), info.item.hItem)) ClearChildren(tree, info.item.hItem);
        ClearExpandedMarks(tree.Tree(), info.item.hItem);
        info.item.cChildren = 0;
        break;
    case FolderContents::HasVisibleEntry:
        info.item.cChildren = 1;
        break;
    case FolderContents::Missing:
        break;  // left unanswered: the next expansion removes the item
    }
}

void CCopperfoldView::OnItemExpanding(CColumnTreeCtrl& tree, const NMTREEVIEWW& change) {
    if (!(change.action & TVE_EXPAND)) return;
    const HTREEITEM item = change.itemNew.hItem;
    const std::wstring path = ItemPath(tree, item);
    switch (FolderState(path)) {
    case FolderContents::Missing:
        TreeView_DeleteItem(tree.Tree(), item);  // with its children: the folder or drive is gone
        break;
    case FolderContents::HasVisibleEntry:
        if (!TreeView_GetChild(tree.Tree(), item)) ListFolder(tree, item, path);
        break;
    case FolderContents::Empty:
        if (TreeView_GetChild(tree.Tree(), item)) ClearChildren(tree, item);
        SetChildCount(tree.Tree(), item, 0);
        break;
    }
}

HTREEITEM CCopperfoldView::FindChild(CColumnTreeCtrl& tree, HTREEITEM parent, std::wstring_view name) {
    ChildIndex& index = IndexOf(tree);
    if (!index.Knows(parent)) {
        index.Begin(parent);
        for (HTREEITEM child = TreeView_GetChild(tree.Tree(), parent); child;
             child = TreeView_GetNextSibling(tree.Tree(), child)) {
            index.Add(parent, tree.GetItemText(child, 0), child);
        }
    }
    return index.Find(parent, name);
}

HTREEITEM CCopperfoldView::InsertChild(CColumnTreeCtrl& tree, HTREEITEM parent, std::wstring_view name,
                                       const WIN32_FIND_DATAW* data, HTREEITEM after) {
    // A name without entry data is a file with no size or date.
    const bool folder = data && IsDirectory(*data);
    const HTREEITEM child =
        data ? tree.InsertRow(parent, after, {name, SizeText(*data), DateText(data->ftLastWriteTime)},
                              folder ? kFolderIcon : kFileIcon, folder ? kOpenFolderIcon : kFileIcon,
                              folder ? I_CHILDRENCALLBACK : 0)
             : tree.InsertRow(parent, after, {name, L"", L""}, kFileIcon, kFileIcon, 0);
    if (child) IndexOf(tree).Add(parent, name, child);
    return child;
}

void CCopperfoldView::ListFolder(CColumnTreeCtrl& tree, HTREEITEM item, std::wstring path) {
    // The entries sorted here by their sort keys (one key per name, then plain byte
    // comparisons) and inserted in that order in one batch with redrawing off: a folder of many
    // thousand entries opens without the tree comparing labels with each other.
    const HWND inner = tree.Tree();
    IndexOf(tree).Begin(item);
    struct Listed {
        std::string key;
        WIN32_FIND_DATAW data;
    };
    std::vector<Listed> entries;
    ForEachVisibleEntry(std::move(path), [&](const WIN32_FIND_DATAW& data) {
        entries.push_back({TreeSortKey(data.cFileName), data});
        return true;
    });
    std::sort(entries.begin(), entries.end(), [](const Listed& a, const Listed& b) { return a.key < b.key; });
    const RedrawPause pause(inner);
    for (const Listed& entry : entries) InsertChild(tree, item, entry.data.cFileName, &entry.data, TVI_LAST);
}

void CCopperfoldView::RelistFolder(CColumnTreeCtrl& tree, HTREEITEM item) {
    const HWND inner = tree.Tree();
    const std::wstring path = ItemPath(tree, item);
    if (FolderState(path) == FolderContents::Missing) {
        if (TreeView_GetParent(inner, item)) {
            TreeView_DeleteItem(inner, item);
        } else {
            ClearChildren(tree, item);  // a root stays until its drive is removed
            SetChildCount(inner, item, I_CHILDRENCALLBACK);
        }
        return;
    }
    std::map<std::wstring, WIN32_FIND_DATAW> present;
    ForEachVisibleEntry(path, [&](const WIN32_FIND_DATAW& data) {
        present.emplace(data.cFileName, data);
        return true;
    });
    bool inserted = false;
    {
        const RedrawPause pause(inner);
        HTREEITEM child = TreeView_GetChild(inner, item);
        while (child) {
            const HTREEITEM next = TreeView_GetNextSibling(inner, child);
            const auto entry = present.find(tree.GetItemText(child, 0));
            if (entry == present.end()) {
                TreeView_DeleteItem(inner, child);
            } else {
                tree.SetRow(child, {entry->first, SizeText(entry->second), DateText(entry->second.ftLastWriteTime)});
                if (TreeView_GetChild(inner, child)) RelistFolder(tree, child);
                present.erase(entry);
            }
            child = next;
        }
        for (const auto& [name, data] : present) {
            InsertChild(tree, item, name, &data, TVI_LAST);
            inserted = true;
        }
        if (inserted) TreeView_SortChildren(inner, item, FALSE);
    }
    if (!TreeView_GetChild(inner, item)) {
        ClearExpandedMarks(inner, item);
        SetChildCount(inner, item, 1);
    }
}

void CCopperfoldView::ChangeWatchedFolders(const std::wstring& root, bool arrived) {
    // The thread works on a copy of the list: stop it (which drops change messages still
    // queued for this window, whose records belonged to it), change the list, start again.
    watcher.Stop();
    if (arrived) {
        watcher.AddDirectory(root);
    } else {
        watcher.RemoveDirectory(root);
    }
    if (!watcher.IsRunning() && !watcher.HasThread() && !watcher.Directories().empty() &&
        !watcher.Directories().front().empty()) {
        watcher.Start();
    }
}

void CCopperfoldView::VolumesArrived(std::uint32_t unitMask) {
    unitMask &= ::GetLogicalDrives();
    for (int n = 0; n < 26; ++n) {
        if (!(unitMask & (1u << n))) continue;
        const wchar_t letter = static_cast<wchar_t>(L'A' + n);
        CColumnTreeCtrl& tree = copperfold::IsDeviceLetter(services.document.deviceTable, letter) ? deviceTree : localTree;
        const HWND inner = tree.Tree();
        const std::wstring root = copperfold::DriveRoot(n);
        ChangeWatchedFolders(root, true);

        HTREEITEM driveItem = nullptr;
        HTREEITEM greater = nullptr;
        for (HTREEITEM at = TreeView_GetRoot(inner); at; at = TreeView_GetNextSibling(inner, at)) {
            const std::wstring text = tree.GetItemText(at, 0);
            if (text.empty()) continue;
            if (text.front() == letter) {
                driveItem = at;
                break;
            }
            if (text.front() > letter) {
                greater = at;
                break;
            }
        }
        if (!driveItem) {
            HTREEITEM after = TVI_LAST;
            if (greater) {
                const HTREEITEM before = TreeView_GetPrevSibling(inner, greater);
                after = before ? before : TVI_FIRST;
            }
            driveItem = tree.InsertRow(TVI_ROOT, after, {root, L"", L""}, kFolderIcon, kFolderIcon);
        }
        if (!driveItem) continue;
        SetChildCount(inner, driveItem, 1);
        TVITEMW current{};
        current.mask = TVIF_IMAGE | TVIF_HANDLE;
        current.hItem = driveItem;
        TreeView_GetItem(inner, &current);
        SetIcon(inner, driveItem, DriveTypeIcon(::GetDriveTypeW(root.c_str()), current.iImage));
    }
    Repaint();
}

void CCopperfoldView::VolumesRemoved(std::uint32_t unitMask) {
    bool anyDevice = false;
    for (int n = 0; n < 26; ++n) {
        if ((unitMask & (1u << n)) &&
            copperfold::IsDeviceLetter(services.document.deviceTable, static_cast<wchar_t>(L'A' + n))) {
            anyDevice = true;
        }
    }
    const auto removeFrom = [&](CColumnTreeCtrl& tree) {
        bool allFound = true;
        for (int n = 0; n < 26; ++n) {
            if (!(unitMask & (1u << n))) continue;
            const std::wstring root = copperfold::DriveRoot(n);
            ChangeWatchedFolders(root, false);
            HTREEITEM found = nullptr;
            for (HTREEITEM at = TreeView_GetRoot(tree.Tree()); at && !found; at = TreeView_GetNextSibling(tree.Tree(), at)) {
                if (tree.GetItemText(at, 0) == root) found = at;
            }
            if (found) {
                TreeView_DeleteItem(tree.Tree(), found);
            } else {
                allFound = false;
            }
        }
        return allFound;
    };
    if (!removeFrom(anyDevice ? deviceTree : localTree)) removeFrom(anyDevice ? localTree : deviceTree);
    Repaint();
}

void CCopperfoldView::OnFolderChanged(const CNotifyDirCheck::ChangeRecord& change) {
    if (change.path.empty()) return;
    const wchar_t letter = change.path.front();
    if (letter < L'A' || letter > L'Z') return;  // a drive without a root in the tree is skipped below
    CColumnTreeCtrl& tree = copperfold::IsDeviceLetter(services.document.deviceTable, letter) ? deviceTree : localTree;
    HoldLayout(tree);
    ApplyChange(tree, change.path, change.action);
}

void CCopperfoldView::ApplyChangeNow(CColumnTreeCtrl& tree, const std::wstring& path, std::uint32_t action) {
    const HWND inner = tree.Tree();
    const std::wstring rootText = path.substr(0, 3);
    HTREEITEM root = nullptr;
    for (HTREEITEM at = TreeView_GetRoot(inner); at && !root; at = TreeView_GetNextSibling(inner, at)) {
        if (tree.GetItemText(at, 0) == rootText) root = at;
    }
    if (!root) return;
    if (!TreeView_GetChild(inner, root)) {
        if (TreeView_GetItemState(inner, root, TVIS_EXPANDED) & TVIS_EXPANDED) ClearExpandedMarks(inner, root);
        if (action == copperfold::kActionAdded || action == copperfold::kActionChangesLost) SetChildCount(inner, root, 1);
        return;
    }
    if (action == copperfold::kActionChangesLost) {
        // The folder's changes since the last record are lost: read again what the tree shows
        // of it. The record names the watched folder, a drive root here.
        RelistFolder(tree, root);
    } else {
        // A removal needs no entry data; everything else shows the entry as it is now.
        WIN32_FIND_DATAW data{};
        const bool removal = action == copperfold::kActionRemoved || action == copperfold::kActionRenamedOldName;
        const bool found = !removal && LookUp(path, data);
        if (!found && action == copperfold::kActionModified) return;
        ApplyChangeBelow(tree, root, std::wstring_view(path).substr(3), found ? &data : nullptr, action);
    }
    ::InvalidateRect(tree.Handle(), nullptr, TRUE);
}

void CCopperfoldView::HoldLayout(CColumnTreeCtrl& tree) {
    const HWND inner = tree.Tree();
    const LONG_PTR style = ::GetWindowLongPtrW(inner, GWL_STYLE);
    if (style & TVS_NOSCROLL) return;  // held already; the timer is running
    if (!LayoutHeld(localTree.Tree()) && !LayoutHeld(deviceTree.Tree())) layoutHeldSince = std::chrono::steady_clock::now();
    ::SendMessageW(inner, WM_SETREDRAW, FALSE, 0);
    ::SetWindowLongPtrW(inner, GWL_STYLE, style | TVS_NOSCROLL);
    ::SetTimer(form, kLayoutTimer, kLayoutDelayMs, nullptr);
}

bool CCopperfoldView::LayoutHeld(HWND inner) { return (::GetWindowLongPtrW(inner, GWL_STYLE) & TVS_NOSCROLL) != 0; }

void CCopperfoldView::ReleaseLayout() {
    ::KillTimer(form, kLayoutTimer);
    lastRelease = std::chrono::steady_clock::now();
    FlushChanges();
    for (CColumnTreeCtrl* tree : {&localTree, &deviceTree}) {
        const HWND inner = tree->Tree();
        if (!inner || !LayoutHeld(inner)) continue;
        ::SetWindowLongPtrW(inner, GWL_STYLE, ::GetWindowLongPtrW(inner, GWL_STYLE) & ~TVS_NOSCROLL);
        ::SendMessageW(inner, WM_SETREDRAW, TRUE, 0);  // measures the rows again and sets the scroll bars
        // Painted now: while the watcher's messages keep coming, a paint left to the message
        // queue would wait behind them, and the tree would stay as it was for the whole burst.
        ::RedrawWindow(inner, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME);
    }
    // What the time allowed for one batch left over goes into the next, which follows at once
    // when nothing else is waiting (and, while changes stream in, with the next of them).
    if (queuedChanges.empty()) return;
    for (const QueuedChange& change : queuedChanges) HoldLayout(*change.tree);
    ::SetTimer(form, kLayoutTimer, kNextBatchDelayMs, nullptr);
}

void CCopperfoldView::ApplyChangeBelow(CColumnTreeCtrl& tree, HTREEITEM item, std::wstring_view rel,
                                       const WIN32_FIND_DATAW* data, std::uint32_t action) {
    const HWND inner = tree.Tree();
    for (std::size_t slash = rel.find(L'\\'); slash != std::wstring_view::npos; slash = rel.find(L'\\')) {
        item = FindChild(tree, item, rel.substr(0, slash));
        if (!item) return;
        rel.remove_prefix(slash + 1);
    }
    if (rel.empty()) return;
    const bool listed = TreeView_GetChild(inner, item) != nullptr;
    switch (action) {
    case copperfold::kActionAdded:
    case copperfold::kActionRenamedNewName:
        if (!listed) {
            SetChildCount(inner, item, 1);
            ClearExpandedMarks(inner, item);
        } else if (const HTREEITEM existing = FindChild(tree, item, rel)) {
            // Already shown (read again after lost changes): refresh it instead of a second row.
            if (data) {
                tree.SetRow(existing, {rel, SizeText(*data), DateText(data->ftLastWriteTime)});
            }
        } else {
            InsertChild(tree, item, rel, data, SortedPlace(tree, item, rel));
        }
        break;
    case copperfold::kActionRemoved:
    case copperfold::kActionRenamedOldName:
        if (const HTREEITEM child = listed ? FindChild(tree, item, rel) : nullptr) TreeView_DeleteItem(inner, child);
        if (!TreeView_GetChild(inner, item)) {
            ClearExpandedMarks(inner, item);
            SetChildCount(inner, item, 1);
        }
        break;
    default:
        if (const HTREEITEM child = listed ? FindChild(tree, item, rel) : nullptr; child && data) {
            tree.SetRow(child, {rel, SizeText(*data), DateText(data->ftLastWriteTime)});
        }
        break;
    }
}

void CCopperfoldView::Repaint() {
    ::InvalidateRect(form, nullptr, TRUE);
    ::UpdateWindow(form);
}

std::string CCopperfoldView::TreeSortKey(std::wstring_view name) {
    // A name as the tree compares labels: case ignored, followed by the tab that ends column 0.
    std::wstring label(name);
    label += L'\t';
    constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const int size = ::LCMapStringW(LOCALE_USER_DEFAULT, kFlags, label.c_str(), static_cast<int>(label.size()), nullptr, 0);
    if (size <= 0) return std::string(reinterpret_cast<const char*>(label.data()), label.size() * sizeof(wchar_t));
    std::string key(static_cast<std::size_t>(size), '\0');
    ::LCMapStringW(LOCALE_USER_DEFAULT, kFlags, label.c_str(), static_cast<int>(label.size()),
                   reinterpret_cast<LPWSTR>(key.data()), size);
    while (!key.empty() && key.back() == '\0') key.pop_back();
    return key;
}

HTREEITEM CCopperfoldView::SortedPlace(CColumnTreeCtrl& tree, HTREEITEM parent, std::wstring_view name) {
    // Without a place from the index the tree compares the new label with every sibling.
    const std::optional<HTREEITEM> place = IndexOf(tree).SortedPlace(parent, name);
    if (!place) return TVI_SORT;
    return *place ? *place : TVI_FIRST;
}

void CCopperfoldView::ApplyChange(CColumnTreeCtrl& tree, const std::wstring& path, std::uint32_t action) {
    if (action == copperfold::kActionChangesLost) {
        // The folder is read again as it is now, which covers the changes still queued in it (a
        // queued removal applied after the reading could drop an entry that is back).
        std::erase_if(queuedChanges, [&](const QueuedChange& queued) {
            return queued.tree == &tree && queued.path.size() >= path.size() &&
                   std::wstring_view(queued.path).substr(0, path.size()) == path;
        });
        ApplyChangeNow(tree, path, action);
        return;
    }
    HoldLayout(tree);
    queuedChanges.push_back({&tree, path, action});
    // The timer may wait behind the watcher's messages: a steady stream applies its batches here,
    // kLayoutDelayMs after the last batch began (or after the first change of this one).
    const auto now = std::chrono::steady_clock::now();
    const auto interval = std::chrono::milliseconds(kLayoutDelayMs);
    if (now - layoutHeldSince >= interval || (now - lastRelease >= interval && now - layoutHeldSince >= interval / 4)) {
        ReleaseLayout();
    }
}

void CCopperfoldView::FlushChanges() {
    if (queuedChanges.empty()) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBatchBudgetMs);
    std::vector<QueuedChange> batch = std::move(queuedChanges);
    queuedChanges.clear();
    // The changes by folder, folders in the order of their first change.
    std::vector<std::pair<std::wstring, std::vector<std::size_t>>> folders;
    std::map<std::pair<const CColumnTreeCtrl*, std::wstring>, std::size_t> folderOf;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const std::wstring& path = batch[i].path;
        const std::size_t slash = path.rfind(L'\\');
        std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash <= 2 ? 3 : slash);
        const auto [at, added] = folderOf.try_emplace({batch[i].tree, folder}, folders.size());
        if (added) folders.push_back({std::move(folder), {}});
        folders[at->second].second.push_back(i);
    }
    std::vector<bool> applied(batch.size(), false);
    for (const auto& [folder, indices] : folders) {
        if (std::chrono::steady_clock::now() >= deadline) break;
        ApplyFolderChanges(batch, indices, folder, applied, deadline);
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (!applied[i]) queuedChanges.push_back(std::move(batch[i]));
    }
}

void CCopperfoldView::ApplyFolderChanges(std::vector<QueuedChange>& batch, const std::vector<std::size_t>& indices,
                                         const std::wstring& folder, std::vector<bool>& applied,
                                         std::chrono::steady_clock::time_point deadline) {
    CColumnTreeCtrl& tree = *batch[indices.front()].tree;
    const HWND inner = tree.Tree();
    const auto markAll = [&] {
        for (const std::size_t i : indices) applied[i] = true;
    };
    // The folder's row: its drive's root, then each name below it.
    HTREEITEM item = nullptr;
    if (folder.size() >= 3) {
        const std::wstring rootText = folder.substr(0, 3);
        for (HTREEITEM at = TreeView_GetRoot(inner); at && !item; at = TreeView_GetNextSibling(inner, at)) {
            if (tree.GetItemText(at, 0) == rootText) item = at;
        }
    }
    if (!item) return markAll();  // not a drive of this tree
    if (!TreeView_GetChild(inner, item)) {
        // The drive is not listed: only its expand button follows.
        for (const std::size_t i : indices) ApplyChangeNow(tree, batch[i].path, batch[i].action);
        return markAll();
    }
    for (std::wstring_view rest = std::wstring_view(folder).substr(3); !rest.empty();) {
        const std::size_t slash = rest.find(L'\\');
        item = FindChild(tree, item, rest.substr(0, slash));
        if (!item) return markAll();  // a folder the tree does not show
        rest = slash == std::wstring_view::npos ? std::wstring_view() : rest.substr(slash + 1);
    }

    // The entries' data: one listing of the folder for many changes, else a lookup per name.
    std::unordered_map<std::wstring, WIN32_FIND_DATAW> listing;
    // A lookup by an exact name costs about what a listing costs per entry (in a folder of
    // 8,000 entries under Wine, 12 us against 10 us): a listing pays when the changes are about
    // as many as the entries.
    const bool listOnce = indices.size() >= kListFolderAtChanges &&
                          indices.size() * 2 >= IndexOf(tree).ChildCount(item) && TreeView_GetChild(inner, item);
    if (listOnce) {
        std::wstring pattern = folder;
        if (pattern.back() != L'\\') pattern += L'\\';
        WIN32_FIND_DATAW data{};
        const win32::UniqueFind search(::FindFirstFileW(FileApiPath(pattern + L"*.*").c_str(), &data));
        if (search) {
            do {
                if (!IsDotEntry(data)) listing.emplace(data.cFileName, data);
            } while (::FindNextFileW(search.get(), &data));
        }
    }
    const std::size_t nameStart = folder.back() == L'\\' ? folder.size() : folder.size() + 1;
    for (std::size_t n = 0; n < indices.size(); ++n) {
        // Checked now and then: the clock is a call of its own.
        if (n % 64 == 63 && std::chrono::steady_clock::now() >= deadline) return;
        const QueuedChange& change = batch[indices[n]];
        applied[indices[n]] = true;
        if (change.path.size() <= nameStart) continue;
        const std::wstring_view name = std::wstring_view(change.path).substr(nameStart);
        const bool removal =
            change.action == copperfold::kActionRemoved || change.action == copperfold::kActionRenamedOldName;
        WIN32_FIND_DATAW data{};
        bool found = false;
        if (!removal) {
            if (listOnce) {
                if (const auto entry = listing.find(std::wstring(name)); entry != listing.end()) {
                    data = entry->second;
                    found = true;
                }
            } else {
                found = LookUp(change.path, data);
            }
        }
        if (!found && change.action == copperfold::kActionModified) continue;
        ApplyChangeBelow(tree, item, name, found ? &data : nullptr, change.action);
    }
    ::InvalidateRect(tree.Handle(), nullptr, TRUE);
}
