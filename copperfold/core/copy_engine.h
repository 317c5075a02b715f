#pragma once
// The copy engine: carries out Backup, Restore and Sync jobs file by file, counts the bytes a
// run will move, and reports path lines, byte progress and errors to its observer. Nothing here
// deletes a file or a folder.

#include <array>
#include <chrono>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "copperfold_doc.h"
#include "copy_pool.h"
#include "file_system.h"
#include "folder_index.h"
#include "kept_listings.h"
#include "pair_decision.h"
#include "preflight.h"
#include "run_problems.h"
#include "side_lister.h"
#include "version_keeper.h"

namespace copperfold {

// The counters a run shares between its worker and the window that shows it.
struct RunCounters {
    std::atomic<int> cancelFlag{0};
    std::atomic<std::uint64_t> bytesDone{0};
    std::atomic<std::uint64_t> bytesTotal{0};
    // How the run ended, beyond the cancel flag: a copy failed, jobs were refused.
    std::atomic<bool> copyFailed{false};
    std::atomic<int> jobsRefused{0};
    // Entries the walks could not read or copy: a folder, a name, a drive that went away.
    std::atomic<bool> entriesMissed{false};
    // Every job was carried out to its end (a cancel that came after that changes nothing).
    std::atomic<bool> allJobsDone{false};
};

// The exit status a finished run stands for: 0 all done, 1 a copy failed, an entry was missed or a
// job was refused, 2 cancelled before the last job was done.
int RunOutcomeCode(const RunCounters& counters);

// What the engine shows. Called on the worker thread.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void SetPathLines(const std::wstring& first, const std::wstring& second) = 0;
    virtual void SetProgress(int position) = 0;  // 0..kProgressRange
    // A file copy failed with this system error (never called for a cancel). `from` and `to` are
    // the copy's files.
    virtual void ShowCopyError(std::uint32_t error, const std::wstring& from, const std::wstring& to) = 0;
    // A job was not run; `reason` is an English text to translate, fill (FilledText) and show.
    virtual void ShowJobRefused(const JobRecord& job, const JobRefusal& reason) = 0;
    // Something else the run could not do, or a pair a Sync left as it is (see run_problems.h);
    // each is told once per run. A failure has already been counted in the run's counters.
    virtual void ShowRunProblem(const RunProblem& /*problem*/) {}
    // A file of both sides that the run takes for the same (a Sync's equal pair, or an unchanged
    // file of a job that copies only new and changed files): compared, not copied.
    virtual void FileCompared(const std::wstring& /*from*/, const std::wstring& /*to*/) {}
    // The estimate of job `index` of the batch begins; what the run reports until the next job's
    // estimate or the copy phase belongs to it (the removal of its expired versions, say).
    virtual void EstimateStarted(std::size_t /*index*/) {}
    // The phases of a run, for the busy animation and the caption.
    virtual void EstimatePhase(bool started) = 0;
    virtual void CopyPhase(bool started) = 0;
    virtual void JobStarted(const JobRecord& job) = 0;
    virtual void TotalKnown(std::uint64_t bytesTotal) = 0;
};

inline constexpr int kProgressRange = 200;

// The jobs of one run, in order (a copy the run owns).
struct JobBatch {
    std::uint8_t count = 0;
    std::array<JobRecord, 256> entries;
};

class CopyEngine {
public:
    CopyEngine(FileSystem& fileSystem, RunObserver& observer, RunCounters& counters);
    ~CopyEngine();

    // Files up to this size are copied on the copy threads of a run (when the file system allows
    // more than one copy at a time); larger ones on the walk's own thread. On the threads, the
    // flush of one file overlaps with the reading and writing of the next ones; the walk shows
    // their progress while it waits for a free thread.
    static constexpr std::uint64_t kPooledFileSize = 1u << 30;
    void SetLargestPooledFile(std::uint64_t bytes) { largestPooledFile_ = bytes; }

    // What a failed copy does to the run: by default it ends the run (the user has seen the
    // error); a run nobody watches reports it and goes on with the next file instead.
    enum class OnCopyFailure { EndRun, GoOn };
    void SetOnCopyFailure(OnCopyFailure choice) { onCopyFailure_ = choice; }

    // Results of CopyTree and CopyMissingBack.
    static constexpr int kDone = 0;
    static constexpr int kListingFailed = 1;
    static constexpr int kTargetListingFailed = 2;
    static constexpr int kCancelled = 3;

    int CopyTree(const std::wstring& from, const std::wstring& to, JobType type);
    int CopyMissingBack(const std::wstring& source, const std::wstring& target);
    std::uint32_t CountTree(const std::wstring& folder);
    std::uint32_t EstimateSync(const std::wstring& source, const std::wstring& target);
    int MakePath(const std::wstring& path);

    // The job with its folders in the system's full-path form, or why it must not run (an
    // English text): an unknown type, a folder that is empty or no full path, or folders that lie
    // inside each other as spelt or as the system resolves them (drive aliases, links).
    std::wstring_view PrepareJob(const JobRecord& job, JobRecord& prepared);
    // Adds the bytes of a prepared job to bytesTotal (estimate phase), and what it will add to
    // the volumes it writes to: its to side's, and for a Sync its from side's (either may be
    // null).
    void EstimateJob(const JobRecord& prepared, VolumeNeeds* toSide = nullptr, VolumeNeeds* fromSide = nullptr);
    // Whether the job going on has a side on a volume that keeps local times (see file_times.h),
    // which its Sync decisions take into account. Set by RunJobs from the volumes' facts.
    void SetLocalTimeSide(bool localTimeSide) { current_.localTimeSide = localTimeSide; }
    // Runs one prepared job by its type.
    void RunJob(const JobRecord& prepared);
    // The whole run: estimate phase, then copy phase, job after job, until cancelled; then the
    // finished state stays visible for `finishPause` unless the run was cancelled.
    void RunJobs(const JobBatch& batch, std::chrono::milliseconds finishPause = std::chrono::milliseconds(500));

    // The progress routine of a file copy (also used by tests).
    bool OnCopyProgress(std::uint64_t totalFileSize, std::uint64_t totalTransferred, CopyProgressReason reason);

private:
    bool Cancelled() const { return counters_.cancelFlag.load() != 0; }
    bool JobStopped() const { return !job_.lostDrive.empty(); }
    // Whether the walk going on ends here: the run was cancelled (or ended), or the job stopped.
    bool StopWalk();
    // Entries no walk copies, compares or counts: hidden ones and our temporary files.
    bool Skipped(const FileEntry& entry) const { return entry.IsHidden() || fs_.IsPartialCopy(entry); }
    FolderIndex IndexOf(const std::vector<FileEntry>& entries) const;
    // A folder's listing as the walks see it.
    struct Listed {
        const std::wstring& folder;
        const FolderIndex& index;
    };
    // Whether a walk acts on an entry of `own`: not one it skips, nor one that cannot be copied (a
    // name the system refuses, or one that clashes by case in its own or the `other` side's
    // listing), nor a folder that leads back to one on its way (told as a note).
    // `report`: these are told (once); the estimates only leave them out.
    bool Takes(const Listed& own, const FileEntry& entry, const Listed* other, bool report);
    // The folder the subfolder `name` of `folder` resolves to, when that is a folder on the way
    // to it or holds one: a link to a folder above it, which a walk would follow without end (a
    // junction, or a Unix link, which Wine lists as a folder with the reparse-point bit). Empty
    // otherwise.
    std::wstring LoopTarget(const std::wstring& folder, const std::wstring& name);
    // The comparable form of the path a folder resolves to, asked once per run and spelling; empty
    // when the system cannot tell.
    const std::wstring& ResolvedFolder(const std::wstring& folder);
    // Lists a folder the walk has to read; one that cannot be read is told as a failure, or as
    // the loss of its drive, which stops the job. `mayHaveGone`: a folder a listing showed, which
    // may since have been removed (then there is nothing to read, and nothing to tell).
    bool ReadFolder(const std::wstring& folder, std::vector<FileEntry>& entries, bool mayHaveGone);
    // After a look-up of a file failed: false when the file is simply not there (any more), true
    // when it could not be read, which is told as a failure (or its drive went away).
    bool Unreadable(const std::wstring& path);
    // Whether the drive of `path` is gone; the first call that finds it so stops the job.
    bool DriveLost(const std::wstring& path);
    // Tells the observer of a problem once per run (`about` names what it is about).
    void Report(const std::wstring& about, RunProblem problem);
    // A job's folder on a drive that is not there: the job is refused.
    JobRefusal MissingDrive(const JobRecord& prepared);
    // The job was stopped by the loss of its drive: told once, with the files it did not copy.
    void ReportLostDrive();
    // `path` with its longest existing leading part replaced by what the system resolves it to.
    std::wstring ResolvedPath(const std::wstring& path);
    void ShowProgress();
    // A listing the run keeps for this walk (a Sync job's, see KeptListings), or a new one.
    // The version store at the top of a job's folder is left out: it is no file of the job.
    bool ListFolder(const std::wstring& folder, std::vector<FileEntry>& entries);
    void LeaveOutVersionStore(const std::wstring& folder, std::vector<FileEntry>& entries) const;
    // ListFolder of `first`, and at the same time (on the run's lister, when it has one) of
    // `second` when `wanted`; `secondListed` says whether that one could be listed.
    bool ListBoth(const std::wstring& first, std::vector<FileEntry>& firstEntries, const std::wstring& second,
                  bool wanted, std::vector<FileEntry>& secondEntries, bool& secondListed);
    void KeepListing(const std::wstring& folder, std::vector<FileEntry>&& entries);
    // Creates one folder, for the run's kept listings a change of the folder it lies in.
    bool CreateFolder(const std::wstring& path);
    // CopyTree below its top: both folders are there. `fromListed`: the from folder is one a
    // listing of its parent showed.
    int CopyFolder(const std::wstring& from, const std::wstring& to, JobType type, bool fromListed);
    // One file of a Sync's first pass as listed on both sides; false when the run must stop.
    bool SyncFile(const std::wstring& fromPath, const std::wstring& toPath, const FileEntry& listedFrom,
                  const FileEntry* listedTo);
    // A file of both sides with the same last-write time: counted, shown, not copied.
    void ShowCompared(const std::wstring& fromPath, const std::wstring& toPath, std::uint64_t size);
    // The rules a pair of files of a walk of `type` is decided by, for the job going on.
    PairRules Rules(JobType type) const { return {type, current_.skipSame, current_.localTimeSide, now_}; }
    // What one pair of files adds to the estimate, by the action the walk will take (`to` null
    // when the other side has no file of the name): to the run's total and to the volumes of
    // the sides it writes to.
    void PlanPair(PairAction action, const std::wstring& fromPath, const FileEntry& from, const std::wstring& toPath,
                  const FileEntry* to, VolumeNeeds* toSide, VolumeNeeds* fromSide);
    // One copy the estimate plans onto `destination`, named for the pre-flight by `named`, over
    // `replaced` if any (which frees nothing when it is kept as a version).
    void PlanCopy(const std::wstring& named, const std::wstring& destination, std::uint64_t size,
                  const FileEntry* replaced, VolumeNeeds* into);
    // Before the file at `path` (its attributes `current`) is replaced, the bits that stand in the
    // way go. Replaced for good, it takes the attributes of the file replacing it (`incoming`) less
    // read-only and hidden. Kept as a version (`kept`), it keeps its own, read-only included, less
    // hidden: a hidden file is never listed, so its version could not be restored. A file with
    // neither bit is left alone (no request): the copy gives the new file its attributes.
    void ClearBitsInTheWay(const std::wstring& path, std::uint32_t current, std::uint32_t incoming, bool kept);
    // Whether the job going on keeps the file a copy onto `destination` replaces.
    bool KeepsReplaced(const std::wstring& destination) const;
    // Where the file at `destination` is kept when a copy replaces it: empty when the job keeps
    // none there. False when it keeps them but no place could be made (told once; not replaced).
    bool PlaceToKeep(const std::wstring& destination, std::wstring& keepAs);
    // At the start of a job's run: its version folders older than its days, inside its stores.
    void RemoveExpiredVersions(const JobRecord& prepared);
    // A restore whose version (or the file of it it names) is not there is refused.
    JobRefusal MissingVersion(const JobRecord& prepared);
    // The estimate of one prepared job, and the check of what it will write against the space
    // left on its volumes by the jobs before it (`plan`); how the job is refused, if it is.
    JobRefusal EstimateAndAdmit(const JobRecord& prepared, SpacePlan& plan, bool& localTimeSide);
    // The facts of the volume a path lies on, asked of the file system once per volume and run.
    const VolumeFacts& VolumeOf(const std::wstring& path);
    // CountTree of a folder already listed (`base` ends with a backslash); each file and folder
    // counted is one the job will create on the volume of `into` (when given).
    std::uint32_t CountListed(const std::wstring& base, std::vector<FileEntry>&& entries, VolumeNeeds* into);
    std::uint32_t CountInto(const std::wstring& folder, VolumeNeeds* into);
    // The estimate of a Sync job below its top; `toSide` and `fromSide` as for EstimateJob.
    std::uint32_t EstimateSyncInto(const std::wstring& source, const std::wstring& target, VolumeNeeds* toSide,
                                   VolumeNeeds* fromSide);
    // The estimate of a Backup or Restore: every file of `from`, and what each adds on the volume
    // of `to` given what it replaces there. `toListable`: the folder `to` may exist.
    void EstimateCopy(const std::wstring& from, const std::wstring& to, bool toListable, VolumeNeeds* toSide);
    void RemoveLeftovers(const std::wstring& folder, std::vector<FileEntry>& entries);
    // Copies one file as the walks do, keeping what it replaces at `keepAs` unless that is empty;
    // false when the walk must stop.
    bool CopyOneFile(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                     const std::wstring& firstLine, const std::wstring& secondLine);
    // As CopyOneFile, on a copy thread when the file is small and the run has them.
    bool StartCopy(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs, std::uint64_t size,
                   const std::wstring& firstLine, const std::wstring& secondLine);
    // Waits for the copies still running on the copy threads; false when the walk must stop.
    bool FinishCopies();
    // Reports copies of the copy threads that did not succeed; false when the walk must stop.
    bool HandleUnsuccessful(const std::vector<CopyPool::Outcome>& unsuccessful);
    // A copy that failed: told, unless its drive has gone (that is told once, when the job ends);
    // false when the walk must stop.
    bool CopyFailed(std::uint32_t error, const std::wstring& from, const std::wstring& to);

    FileSystem& fs_;
    RunObserver& observer_;
    RunCounters& counters_;
    std::uint64_t lastChunkTotal_ = 0;
    OnCopyFailure onCopyFailure_ = OnCopyFailure::EndRun;
    bool stopped_ = false;  // a walk of this run ended early (cancel or a failed copy)
    std::uint64_t largestPooledFile_ = kPooledFileSize;
    std::unique_ptr<CopyPool> pool_;  // during RunJobs, when the file system allows it
    std::unique_ptr<KeptListings> kept_;  // during RunJobs, when a job keeps its listings
    std::unique_ptr<SideLister> lister_;  // during RunJobs, when the file system lists on several threads
    // The job whose estimate or walk goes on.
    struct CurrentJob {
        bool localTimeSide = false;  // see SetLocalTimeSide
        bool skipSame = false;       // copies only new and changed files
        bool keepListings = false;   // its walks use the listings its estimate read (a Sync, a quick copy)
        std::vector<std::wstring> tops;       // its folders, by ComparablePath: their version stores are not walked
        std::vector<VersionKeeper> keepers;   // the sides where it keeps the files it replaces
        std::wstring onlyName;                // a restore of one entry: the top of its walk takes that name alone
        bool leavesOutLinks = false;          // a restore of a version: no link in it is followed
    };
    // The walks' setting for a prepared job.
    CurrentJob SettingFor(const JobRecord& prepared, bool localTimeSide) const;
    CurrentJob current_;
    std::uint64_t now_ = 0;               // the run's start, as a file time
    int offsetMinutes_ = 0;               // the local time zone's then
    std::unordered_map<std::wstring, VolumeFacts> volumes_;  // during RunJobs, by upper-cased root
    std::unordered_set<std::wstring> reported_;              // what the run told of, upper-cased
    std::unordered_map<std::wstring, std::wstring> resolvedFolders_;  // during RunJobs, by folder
    std::uint64_t plannedCopies_ = 0;  // the copies the estimates found to make
    // The job going on: the copies its estimate planned, those started, those that did not
    // succeed, and the drive whose loss stopped it (empty while it goes on).
    struct JobProgress {
        std::uint64_t planned = 0;
        std::uint64_t started = 0;
        std::uint64_t unsuccessful = 0;
        std::wstring lostDrive;
    } job_;
};

// child = folder + "\" + name, without doubling a trailing backslash.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);
// The folder a Backup job copies into: target + the source's last path component.
std::wstring AdjustedBackupTarget(std::wstring_view source, std::wstring_view target);
// The path lines of a copy: "Copy: " / "To: " with the long middle of a path left out.
std::wstring CopyLine(std::wstring_view source);
std::wstring ToLine(std::wstring_view destination);
// "%d ", "%4.1fK " ... "%4.1fT ".
std::wstring FormatSize(std::uint64_t bytes);
// Why a job cannot run (an English text), or empty when it can: an unknown type, a folder that
// is empty or no full path, or folders that contain each other in their full-path form (the copy
// would never end). CopyEngine::PrepareJob also asks the file system how it resolves them.
std::wstring_view JobRefusalReason(const JobRecord& job);

}  // namespace copperfold
