#pragma once
// CCopperfoldView: the one view of Copperfold's main window, a form (resource 101) with three
// column trees and four buttons. Top left the local drives, top right the drives of the
// maker's enclosures, each as a folder tree with sizes and dates that is listed lazily and kept
// current by the directory watcher; below, the job list with a check box per job, and the
// buttons Add, Remove, Execute and Exit.
//
// The drive trees' work (device scan, drive roots, listing, changes) is in drive_trees.cpp;
// the form, the layout and the job commands in copperfold_view.cpp; the job list's context menu
// and its commands in job_list_menu.cpp.

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "column_tree_ctrl.h"
#include "copperfold/core/child_name_index.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/device_scan.h"
#include "copperfold/core/file_system.h"
#include "copperfold/core/run_log.h"
#include "copperfold/core/settings_store.h"
#include "exec_dialog.h"
#include "notify_dir_check.h"
#include "run_gate.h"

class CCopperfoldView {
public:
    using Translator = std::function<std::wstring(std::wstring_view english, std::wstring_view fallback)>;
    // Fills a device list from a scan of the USB ports; empty when the program has no
    // device-access component (every drive is then a local drive).
    using DeviceScanner = std::function<void(copperfold::DeviceList& list)>;

    struct Services {
        CCopperfoldDoc& document;
        Translator translate;
        HANDLE writeEvent;  // the application's "WriteEvent", set after each watcher change
        copperfold::FileSystem& fileSystem;
        DeviceScanner scanDevices;
        // The process's one-run-at-a-time gate, shared with the enclosure's button; without one
        // the view only keeps its own runs apart.
        copperfold::RunGate* runGate = nullptr;
        // False when the program runs without administrator rights: the enclosure's storage
        // interfaces then refuse the scan, and the drives that did not answer are not listed as
        // local disks (the window says why, once).
        bool deviceAccess = true;
        // The program the schedules' tasks start.
        std::wstring programPath = {};
    };

    // What the window says, once, when the scan could not read the enclosure's details (a key
    // of the language sections; "%s" is the drives, "E:, F:").
    static constexpr std::wstring_view kNoDeviceAccessText =
        L"Copperfold runs without administrator rights, so it cannot read the details of the USB drive %s and "
        L"cannot tell whether it belongs to an enclosure: those need administrator rights. The drive is not listed "
        L"among the local disks. Start Copperfold as an administrator to back up onto the enclosure (Dockline "
        L"starts it so when you press the enclosure's button).";

    // Icons of the trees' image list.
    static constexpr int kFolderIcon = 0, kOpenFolderIcon = 1, kFixedDriveIcon = 5, kCdRomIcon = 6,
                         kRemovableIcon = 7, kRemoteIcon = 8, kRamDiskIcon = 9, kFileIcon = 11;

    explicit CCopperfoldView(Services services);
    ~CCopperfoldView();
    CCopperfoldView(const CCopperfoldView&) = delete;
    CCopperfoldView& operator=(const CCopperfoldView&) = delete;

    // Creates the form as a child of `parent` at `rect`; InitialUpdate then fills it.
    bool Create(HWND parent, const RECT& rect);
    void InitialUpdate();
    HWND Handle() const { return form; }

    // Drives mounted or removed (bit n: drive 'A' + n). The caller stores the new device table
    // before an arrival and after a removal.
    void VolumesArrived(std::uint32_t unitMask);
    void VolumesRemoved(std::uint32_t unitMask);
    // Every device handle slot back to the invalid handle (after the device table changed).
    void InvalidateDeviceHandles() { deviceHandles.fill(INVALID_HANDLE_VALUE); }

    bool RunInProgress() const { return runInProgress != 0; }
    // Shows what a run of the ticked jobs would do, writing nothing.
    void PreviewTickedJobs();
    // The job list's context menu (at `position` on the screen, or -1 from the keyboard).
    void ShowJobListMenu(LPARAM position);
    // "Run when this drive is plugged in" for the ticked jobs: marked, or unmarked when every
    // ticked job that can carry the mark has it; a job that cannot (not bound) is named.
    void ToggleRunOnArrival();
    // "Schedule...": the schedule dialog for the ticked jobs.
    void ScheduleTickedJobs();
    // "Options...": the options dialog for the ticked jobs (or the selected one), saved for each.
    void SetOptionsOfJobs();
    // "Versions...": the kept versions of the selected job (or the first ticked one), to restore.
    void ShowVersions();
    // The busy query before Dockline closes the program: while the Execute command's run is
    // going on, asks its dialog to stop (the dialog's cancel message) and answers true.
    bool StopRun();
    void EnableExecute(bool enabled);
    // Receives what Add would take, "Add: C:\Data\Photos -> E:\Backup", whenever a drive tree's
    // selection changes (empty when neither tree has a folder selected).
    void SetStatusSink(std::function<void(const std::wstring&)> sink) { showStatus = std::move(sink); }
    std::wstring AddStatusText() const;
    // The keyboard focus leaves with the main window's activation and comes back where it was
    // (the local tree at first).
    void RememberFocus();
    void TakeFocus();
    CColumnTreeCtrl& LocalTree() { return localTree; }
    CColumnTreeCtrl& DeviceTree() { return deviceTree; }
    CColumnTreeCtrl& JobList() { return jobList; }
    HWND Button(int id) const { return ::GetDlgItem(form, id); }
    CNotifyDirCheck& Watcher() { return watcher; }
    // The full path of a drive tree's item: its root's "X:\" and the names below it.
    std::wstring ItemPath(const CColumnTreeCtrl& tree, HTREEITEM item) const;

    // What a folder holds, for expansion and the expand button.
    enum class FolderContents { Empty = 0, HasVisibleEntry = 1, Missing = 2 };
    static FolderContents FolderState(std::wstring path);
    // Whether a drive tree's layout is held for a burst of changes (see HoldLayout).
    static bool LayoutHeld(HWND innerTree);
    // What a change the watcher handed over does to the drive trees.
    void OnFolderChanged(const CNotifyDirCheck::ChangeRecord& change);

private:
    static INT_PTR CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    std::wstring Translate(std::wstring_view english) const;
    // `text` translated (unless it is shown as it stands) in a box with one OK button.
    int ShowMessage(std::wstring_view text, std::wstring_view caption, UINT icon, bool translateText = true) const;
    // `text` (with the file's and the reason's "%s") translated and filled, in an error box.
    void ShowWriteFailure(const CIniFileException& error, std::wstring_view text = copperfold::kNotSavedText) const;

    // Form and job list (copperfold_view.cpp).
    void CreateButtons(int width, int height);
    void SetUpTrees(int width, int height);
    void FillJobList();
    void AppendJobRow(const JobRecord& job, int image, int selectedImage);
    // The job list's options column: a job's text, and every row's again as the document holds it.
    std::wstring OptionsText(const JobRecord& job) const;
    void ShowJobOptions();
    void OnAdd();
    void OnRemove();
    void OnExecute();
    // Runs a batch in the progress dialog over `owner`, one run at a time (see RunGate).
    void RunBatch(HWND owner, const copperfold::JobBatch& batch,
                  copperfold::RunTrigger trigger = copperfold::RunTrigger::Execute);
    // The ticked rows' jobs as the document holds them, in list order, and (when asked) each one's
    // number in the job file; false (and the user told) when none is ticked.
    bool TickedJobs(copperfold::JobBatch& batch, std::vector<int>* jobNumbers = nullptr);
    // The ticked rows' source and target (and, when asked, the rows), in list order.
    JobKeys TickedKeys(std::vector<HTREEITEM>* rows = nullptr) const;
    // Whether every one of these jobs that is bound runs when its drive is plugged in (and one is).
    bool AllRunOnArrival(const JobKeys& jobs) const;

    // The job list's menu (job_list_menu.cpp).
    // The jobs a command for several jobs takes: the ticked ones, or else the selected one.
    JobKeys MenuJobs() const;
    // Each bound job's target where its drive is now.
    void ResolveTargets(copperfold::JobBatch& batch) const;
    // The preview of a batch over `owner`; with `confirm` (the English key of its button) it asks
    // whether to go on: true when the user confirmed.
    bool ShowPreview(HWND owner, const copperfold::JobBatch& batch, const std::vector<int>& jobNumbers,
                     std::wstring_view confirm = {});
    // A restore of a kept version of job `number`: its preview, then the run once confirmed.
    void RunVersionRestore(HWND owner, const JobRecord& restore, int number);
    void OnExit();
    // Keys: Enter runs the ticked jobs from the job list (opens or closes a folder in a drive
    // tree, presses a focused button); Delete on a ticked job asks, then removes as Remove does.
    static constexpr UINT kDeleteKeyMessage = WM_APP + 0x40;
    // Posted once the window shows, when the scan found drives it may not read.
    static constexpr UINT kDeviceAccessNoteMessage = WM_APP + 0x41;
    void ShowDeviceAccessNote();
    void OnEnterKey();
    void OnDeleteKey();
    void ShowAddStatus();

    // Drive trees (drive_trees.cpp).
    void ScanDevices();
    void FillDriveTree(CColumnTreeCtrl& tree, bool deviceOnly);
    CColumnTreeCtrl* TreeOfNotification(const NMHDR& header);
    void OnGetDisplayInfo(CColumnTreeCtrl& tree, NMTVDISPINFOW& info);
    void OnItemExpanding(CColumnTreeCtrl& tree, const NMTREEVIEWW& change);
    using ChildIndex = copperfold::ChildNameIndex<HTREEITEM>;
    ChildIndex& IndexOf(const CColumnTreeCtrl& tree) { return &tree == &localTree ? localIndex : deviceIndex; }
    HTREEITEM FindChild(CColumnTreeCtrl& tree, HTREEITEM parent, std::wstring_view name);
    HTREEITEM InsertChild(CColumnTreeCtrl& tree, HTREEITEM parent, std::wstring_view name, const WIN32_FIND_DATAW* data,
                          HTREEITEM after);
    void ListFolder(CColumnTreeCtrl& tree, HTREEITEM item, std::wstring path);
    void RelistFolder(CColumnTreeCtrl& tree, HTREEITEM item);
    void ClearChildren(CColumnTreeCtrl& tree, HTREEITEM item);
    void ChangeWatchedFolders(const std::wstring& root, bool arrived);
    void ApplyChange(CColumnTreeCtrl& tree, const std::wstring& path, std::uint32_t action);
    void ApplyChangeBelow(CColumnTreeCtrl& tree, HTREEITEM item, std::wstring_view rel,
                          const WIN32_FIND_DATAW* data, std::uint32_t action);
    // Every change to a shown row makes the tree measure its rows and scroll bars again, which
    // costs milliseconds under Wine: a burst of watcher changes is applied with the tree's
    // redrawing and scroll bars held (its style carries TVS_NOSCROLL meanwhile), and the tree
    // is brought up to date once, kLayoutDelayMs after the first change.
    static constexpr UINT_PTR kLayoutTimer = 1;
    static constexpr UINT kLayoutDelayMs = 100;
    void HoldLayout(CColumnTreeCtrl& tree);
    void ReleaseLayout();
    void Repaint();
    // A burst of watcher changes: ApplyChange queues each change, and
    // the queue is applied in batches, at the latest kLayoutDelayMs after the first change of a
    // batch, each batch followed by a paint of the tree at once. A batch groups the changes by
    // folder: a folder hit by many changes is listed once instead of looking up every name,
    // and each new entry goes straight to its sorted place. A batch stops after
    // kBatchBudgetMs; what is left goes into the next one.
    static constexpr int kBatchBudgetMs = 60;
    static constexpr UINT kNextBatchDelayMs = 10;
    static constexpr std::size_t kListFolderAtChanges = 32;
    struct QueuedChange {
        CColumnTreeCtrl* tree;
        std::wstring path;
        std::uint32_t action;
    };
    void ApplyChangeNow(CColumnTreeCtrl& tree, const std::wstring& path, std::uint32_t action);
    void FlushChanges();
    // Applies the changes `indices` of `batch`, all in one folder, in their order; marks those
    // applied in `applied` and stops early when `deadline` has passed.
    void ApplyFolderChanges(std::vector<QueuedChange>& batch, const std::vector<std::size_t>& indices,
                            const std::wstring& folder, std::vector<bool>& applied,
                            std::chrono::steady_clock::time_point deadline);
    // Where a new child named `name` goes among the listed children of `parent`.
    HTREEITEM SortedPlace(CColumnTreeCtrl& tree, HTREEITEM parent, std::wstring_view name);
    // The key by which the trees sort names, as bytes (the platform's sort key, case ignored).
    static std::string TreeSortKey(std::wstring_view name);

    Services services;
    HWND form = nullptr;
    std::array<HANDLE, 32> deviceHandles{};
    HIMAGELIST imageList = nullptr;
    // The drive trees' listed folders by child name, following the trees' deletions (declared
    // before the trees, whose windows still report deletions while they go).
    ChildIndex localIndex{&CCopperfoldView::TreeSortKey};
    ChildIndex deviceIndex{&CCopperfoldView::TreeSortKey};
    CColumnTreeCtrl localTree;
    CColumnTreeCtrl deviceTree;
    CColumnTreeCtrl jobList;
    CNotifyDirCheck watcher;
    std::int32_t runInProgress = 0;
    CExecDialog* runDialog = nullptr;  // the Execute command's progress dialog while it is open
    std::uint32_t unreadableDrives = 0;  // drives the scan could not read (see Services::deviceAccess)
    bool deviceAccessNoted = false;
    std::function<void(const std::wstring&)> showStatus;
    std::vector<QueuedChange> queuedChanges;
    std::chrono::steady_clock::time_point layoutHeldSince;
    std::chrono::steady_clock::time_point lastRelease;
    HWND lastFocus = nullptr;
};
