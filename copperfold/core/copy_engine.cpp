#include "copy_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "../../common/core/case_fold.h"
#include "file_times.h"
#include "job_paths.h"
#include "job_sides.h"
#include "pair_decision.h"
#include "versions.h"

namespace copperfold {
namespace {

constexpr std::wstring_view kUnknownTypeText = L"This job's type is not Backup, Sync or Restore, so it cannot run.";
constexpr std::wstring_view kSelfContainingText =
    L"The source and target folders of this job lie inside each other, so the job would copy into itself "
    L"without end. It was not run.";
constexpr std::wstring_view kNotFullPathText =
    L"The source or target folder of this job is empty or not a full path (a drive letter with a backslash, or a "
    L"network path), so the job was not run.";

// The folder an entry lies in, spelt as the walks spell folders ("E:\" for one in a drive's root).
std::wstring ParentFolder(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return {};
    return path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
}

// A cut of `count` characters from the start or the end that does not split a surrogate pair.
size_t HeadLength(std::wstring_view text, size_t count) {
    if (count < text.size() && count > 0 && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF) ++count;
    return count;
}
size_t TailStart(std::wstring_view text, size_t count) {
    size_t start = text.size() - count;
    if (start > 0 && start < text.size() && text[start] >= 0xDC00 && text[start] <= 0xDFFF) --start;
    return start;
}

std::wstring Shortened(std::wstring_view path, size_t longest, size_t head, size_t tail) {
    if (path.size() <= longest) return std::wstring(path);
    return std::wstring(path.substr(0, HeadLength(path, head))) + L"........" +
           std::wstring(path.substr(TailStart(path, tail)));
}

bool IsKnownType(JobType type) {
    return type == JobType::Backup || type == JobType::Sync || type == JobType::Restore;
}

bool SidesOverlap(const JobSides& sides) {
    return InsideEachOther(ComparablePath(sides.from), ComparablePath(sides.to));
}

}  // namespace

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    path.append(name);
    return path;
}

std::wstring AdjustedBackupTarget(std::wstring_view source, std::wstring_view target) {
    const size_t slash = source.rfind(L'\\');
    if (slash == std::wstring_view::npos) return std::wstring(target);
    std::wstring adjusted = WithTrailingBackslash(target);
    if (slash <= 2 && source.size() == 2) {
        adjusted.push_back(source.front());
    } else {
        adjusted.append(source.substr(slash + 1));
    }
    return adjusted;
}

std::wstring CopyLine(std::wstring_view source) { return L"Copy: " + Shortened(source, 50, 18, 22); }
std::wstring ToLine(std::wstring_view destination) { return L"To: " + Shortened(destination, 52, 20, 22); }

std::wstring FormatSize(std::uint64_t bytes) {
    wchar_t text[32];
    if (bytes < 1000) {
        std::swprintf(text, 32, L"%d ", static_cast<int>(bytes));
        return text;
    }
    static constexpr const wchar_t* kFormats[] = {L"%4.1fK ", L"%4.1fM ", L"%4.1fG "};
    float x = static_cast<float>(bytes) / 1024.0f;
    for (const wchar_t* format : kFormats) {
        if (x < 1000.0f) {
            std::swprintf(text, 32, format, static_cast<double>(x));
            return text;
        }
        x /= 1024.0f;
    }
    std::swprintf(text, 32, L"%4.1fT ", static_cast<double>(x));
    return text;
}

std::wstring_view JobRefusalReason(const JobRecord& job) {
    if (!job.runRefusal.empty()) return job.runRefusal;
    if (!IsKnownType(job.type)) return kUnknownTypeText;
    if (!IsFullJobPath(job.source) || !IsFullJobPath(job.target)) return kNotFullPathText;
    JobRecord full = job;
    full.source = PlatformFullPath(job.source);
    full.target = PlatformFullPath(job.target);
    // A restore copies from a version inside the folder it copies into; never into the version.
    if (job.versionRestore) return VersionRestoreRefusal(full);
    if (SidesOverlap(SidesOf(full))) return kSelfContainingText;
    return {};
}

CopyEngine::CopyEngine(FileSystem& fileSystem, RunObserver& observer, RunCounters& counters)
    : fs_(fileSystem), observer_(observer), counters_(counters), now_(FileTimeNow()) {}

CopyEngine::~CopyEngine() = default;

std::wstring_view CopyEngine::PrepareJob(const JobRecord& job, JobRecord& prepared) {
    if (const std::wstring_view reason = JobRefusalReason(job); !reason.empty()) return reason;
    prepared = job;
    prepared.source = fs_.FullPath(job.source);
    prepared.target = fs_.FullPath(job.target);
    if (!IsFullJobPath(prepared.source) || !IsFullJobPath(prepared.target)) return kNotFullPathText;
    if (prepared.versionRestore) return VersionRestoreRefusal(prepared);
    const JobSides sides = SidesOf(prepared);
    if (SidesOverlap(sides) || SidesOverlap({ResolvedPath(sides.from), ResolvedPath(sides.to)})) {
        return kSelfContainingText;
    }
    return {};
}

std::wstring CopyEngine::ResolvedPath(const std::wstring& path) {
    const std::size_t rootLength = RootLength(path);
    std::wstring current = path;
    std::wstring rest;  // the part that does not exist (yet), with its leading separator
    for (;;) {
        std::wstring resolved = fs_.FinalPath(current);
        if (!resolved.empty()) {
            if (resolved.back() == L'\\' && !rest.empty()) resolved.pop_back();
            return resolved + rest;
        }
        if (current.size() <= rootLength) return path;
        const std::size_t slash = current.rfind(L'\\');
        if (slash == std::wstring::npos || slash + 1 < rootLength) return path;
        rest = current.substr(slash) + rest;
        current.resize(std::max(slash, rootLength));  // "C:\a" goes on with "C:\", not "C:"
    }
}

void CopyEngine::RemoveLeftovers(const std::wstring& folder, std::vector<FileEntry>& entries) {
    // Once is enough in a run: a leftover that stays is in use, and the walks skip it anyway.
    std::erase_if(entries, [&](const FileEntry& entry) {
        if (!fs_.IsPartialCopy(entry)) return false;
        fs_.RemovePartialCopy(JoinPath(folder, entry.name));
        return true;
    });
}

void CopyEngine::ShowProgress() {
    const std::uint64_t done = counters_.bytesDone.load();
    const std::uint64_t total = counters_.bytesTotal.load();
    int position = 0;
    if (total != 0) {
        // A file that grew since the estimate must not push the bar past its end.
        if (done >= total) {
            position = kProgressRange;
        } else if (done <= std::numeric_limits<std::uint64_t>::max() / kProgressRange) {
            position = static_cast<int>(done * kProgressRange / total);
        } else {
            position = static_cast<int>(static_cast<long double>(done) * kProgressRange / static_cast<long double>(total));
        }
    }
    observer_.SetProgress(position);
}

bool CopyEngine::OnCopyProgress(std::uint64_t /*totalFileSize*/, std::uint64_t totalTransferred,
                                CopyProgressReason reason) {
    if (Cancelled()) return false;
    if (reason == CopyProgressReason::ChunkFinished) {
        counters_.bytesDone += totalTransferred - lastChunkTotal_;
        lastChunkTotal_ = totalTransferred;
        ShowProgress();
    } else {
        lastChunkTotal_ = 0;
    }
    return true;
}

bool CopyEngine::CopyOneFile(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                             const std::wstring& firstLine, const std::wstring& secondLine) {
    observer_.SetPathLines(firstLine, secondLine);
    const CopyProgress progress = [this](std::uint64_t size, std::uint64_t transferred, CopyProgressReason reason) {
        return OnCopyProgress(size, transferred, reason);
    };
    const std::uint32_t error = keepAs.empty() ? fs_.CopyWithProgress(from, to, progress, counters_.cancelFlag)
                                               : fs_.CopyKeepingReplaced(from, to, keepAs, progress, counters_.cancelFlag);
    if (error == 0) return true;
    ++job_.unsuccessful;
    if (error != kErrorRequestAborted) return CopyFailed(error, from, to);
    counters_.cancelFlag = 1;
    stopped_ = true;
    return false;
}

bool CopyEngine::StartCopy(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                           std::uint64_t size, const std::wstring& firstLine, const std::wstring& secondLine) {
    if (kept_) kept_->Changed(ParentFolder(to));
    ++job_.started;
    if (!pool_ || size > largestPooledFile_) return CopyOneFile(from, to, keepAs, firstLine, secondLine);
    observer_.SetPathLines(firstLine, secondLine);
    std::vector<CopyPool::Outcome> unsuccessful;
    pool_->StartKeeping(from, to, keepAs, size, unsuccessful, [this] { ShowProgress(); });
    ShowProgress();
    return HandleUnsuccessful(unsuccessful);
}

bool CopyEngine::FinishCopies() {
    if (!pool_) return !stopped_ && !JobStopped();
    std::vector<CopyPool::Outcome> unsuccessful;
    pool_->WaitForAll(unsuccessful, [this] { ShowProgress(); });
    ShowProgress();
    return HandleUnsuccessful(unsuccessful);
}

bool CopyEngine::HandleUnsuccessful(const std::vector<CopyPool::Outcome>& unsuccessful) {
    for (const CopyPool::Outcome& outcome : unsuccessful) {
        ++job_.unsuccessful;
        if (outcome.error == kErrorRequestAborted) {
            counters_.cancelFlag = 1;
            stopped_ = true;
            continue;
        }
        CopyFailed(outcome.error, outcome.from, outcome.to);
    }
    return !stopped_ && !JobStopped();
}

bool CopyEngine::ListFolder(const std::wstring& folder, std::vector<FileEntry>& entries) {
    if (current_.keepListings && kept_ && kept_->Take(folder, entries)) return true;
    if (!fs_.List(folder, entries)) return false;
    LeaveOutVersionStore(folder, entries);
    return true;
}

void CopyEngine::LeaveOutVersionStore(const std::wstring& folder, std::vector<FileEntry>& entries) const {
    if (!current_.tops.empty() &&
        std::find(current_.tops.begin(), current_.tops.end(), ComparablePath(folder)) != current_.tops.end()) {
        std::erase_if(entries, IsVersionStore);
    }
}

bool CopyEngine::ListBoth(const std::wstring& first, std::vector<FileEntry>& firstEntries, const std::wstring& second,
                          bool wanted, std::vector<FileEntry>& secondEntries, bool& secondListed) {
    secondListed = false;
    const bool kept = wanted && current_.keepListings && kept_ && kept_->Take(second, secondEntries);
    const bool aside = wanted && !kept && lister_;
    if (aside) lister_->Start(second);
    const bool firstListed = ListFolder(first, firstEntries);
    if (kept) {
        secondListed = true;
    } else if (aside) {
        secondListed = lister_->Finish(secondEntries);
        if (secondListed) LeaveOutVersionStore(second, secondEntries);
    } else if (wanted) {
        secondListed = ListFolder(second, secondEntries);
    }
    return firstListed;
}

void CopyEngine::KeepListing(const std::wstring& folder, std::vector<FileEntry>&& entries) {
    if (current_.keepListings && kept_) kept_->Keep(folder, std::move(entries));
}

bool CopyEngine::CreateFolder(const std::wstring& path) {
    if (kept_) kept_->Changed(ParentFolder(path));
    return fs_.CreateFolder(path);
}

int CopyEngine::MakePath(const std::wstring& path) {
    if (Cancelled()) return 0;
    size_t position = path.size();
    while (position > 0) {
        const wchar_t c = path[position - 1];
        if (c == L'\\') break;
        if (c == L':') return 1;  // the parent is a drive
        --position;
    }
    if (position == 0) return 0;
    const std::wstring parent = path.substr(0, position - 1);
    if (!parent.empty() && !fs_.Exists(parent) && MakePath(parent) == 0) return 0;
    return CreateFolder(path) ? 1 : 0;
}

int CopyEngine::CopyTree(const std::wstring& from, const std::wstring& to, JobType type) {
    for (const std::wstring* path : {&from, &to}) {
        if (!fs_.Exists(*path)) MakePath(*path);
    }
    return CopyFolder(from, to, type, false);
}

void CopyEngine::ShowCompared(const std::wstring& fromPath, const std::wstring& toPath, std::uint64_t size) {
    observer_.FileCompared(fromPath, toPath);
    observer_.SetPathLines(L"Compare: " + fromPath, L"With: " + toPath);
    counters_.bytesDone += size;
    ShowProgress();
}

int CopyEngine::CopyFolder(const std::wstring& from, const std::wstring& to, JobType type, bool fromListed) {
    std::vector<FileEntry> entries;
    if (!ReadFolder(from, entries, fromListed)) return kListingFailed;
    // Only the folders the job writes to: a Sync writes to both sides, the others to `to`.
    if (type == JobType::Sync) RemoveLeftovers(from, entries);
    // One listing of the destination folder instead of a lookup by name per file. A folder that
    // cannot be read is not written to either: it may hold anything.
    std::vector<FileEntry> destinationEntries;
    if (!ReadFolder(to, destinationEntries, false)) return kListingFailed;
    RemoveLeftovers(to, destinationEntries);
    const FolderIndex source = IndexOf(entries);
    const FolderIndex destination = IndexOf(destinationEntries);
    const Listed fromSide{from, source};
    const Listed toSide{to, destination};
    const std::wstring onlyName = std::exchange(current_.onlyName, {});  // the walk's top alone

    for (const FileEntry& entry : entries) {
        if (StopWalk()) break;
        if (!onlyName.empty() && !common::EqualsIgnoreCase(entry.name, onlyName)) continue;
        if (!Takes(fromSide, entry, &toSide, true)) continue;
        const std::wstring fromPath = JoinPath(from, entry.name);
        const std::wstring toPath = JoinPath(to, entry.name);
        const FileEntry* existing = destination.Find(entry.name);
        if (type == JobType::Sync && existing && Skipped(*existing)) {
            Report(fromPath, {kHiddenNamesakeText, {fromPath, toPath}, 0, false});  // never compared
            continue;
        }
        if (entry.IsFolder()) {
            if (!existing || !existing->IsFolder()) CreateFolder(toPath);
            CopyFolder(fromPath, toPath, type, true);  // both folders are there: no checks as at the top
            continue;
        }
        if (type == JobType::Sync) {
            if (!SyncFile(fromPath, toPath, entry, existing)) break;
            continue;
        }
        if (DecidePair(Rules(type), entry, existing) == PairAction::Compare) {
            ShowCompared(fromPath, toPath, entry.size);
            continue;
        }
        std::wstring keepAs;
        if (existing && !existing->IsFolder() && !PlaceToKeep(toPath, keepAs)) continue;
        if (existing) ClearBitsInTheWay(toPath, existing->attributes, entry.attributes, !keepAs.empty());
        const std::uint64_t size = std::max(entry.size, existing ? existing->size : 0);
        if (!StartCopy(fromPath, toPath, keepAs, size, CopyLine(fromPath), ToLine(toPath))) break;
    }
    // The second pass of a Sync walks these folders again.
    if (type == JobType::Sync) {
        KeepListing(from, std::move(entries));
        KeepListing(to, std::move(destinationEntries));
    }
    return Cancelled() ? kCancelled : kDone;
}

bool CopyEngine::SyncFile(const std::wstring& fromPath, const std::wstring& toPath, const FileEntry& listedFrom,
                          const FileEntry* listedTo) {
    if (DecidePair(Rules(JobType::Sync), listedFrom, listedTo) == PairAction::Compare) {
        ShowCompared(fromPath, toPath, listedFrom.size);
        return true;
    }
    // A listing can be older than this moment (a run lists a Sync job's folders once, in its
    // estimate): before anything is replaced the choice is made again on both files as they are
    // now, so a file changed since is never overwritten by an older one. A file that cannot be
    // looked up is gone, or could not be read: then nothing is copied either way.
    FileEntry from;
    FileEntry to;
    if (!fs_.LookUp(fromPath, from)) {
        Unreadable(fromPath);
        return !JobStopped();
    }
    if (from.IsFolder()) return true;
    const bool toExists = fs_.LookUp(toPath, to);
    if (!toExists && listedTo && Unreadable(toPath)) return !JobStopped();
    const PairAction step = DecidePair(Rules(JobType::Sync), from, toExists ? &to : nullptr);
    if (step == PairAction::Compare) {
        ShowCompared(fromPath, toPath, from.size);
        return true;
    }
    if (step == PairAction::LeaveAlone) {
        const bool fromLater = from.lastWriteTime > to.lastWriteTime;
        Report(fromPath, {kFutureTimeText, {fromLater ? fromPath : toPath, fromLater ? toPath : fromPath}, 0, false});
        return true;
    }
    const bool back = step == PairAction::CopyBack;
    const std::wstring& copySource = back ? toPath : fromPath;
    const std::wstring& copyDest = back ? fromPath : toPath;
    std::wstring keepAs;
    if ((back || (toExists && !to.IsFolder())) && !PlaceToKeep(copyDest, keepAs)) return true;
    if (toExists) ClearBitsInTheWay(copyDest, back ? from.attributes : to.attributes, from.attributes, !keepAs.empty());
    const std::uint64_t size = std::max(from.size, toExists ? to.size : 0);
    return StartCopy(copySource, copyDest, keepAs, size, CopyLine(copySource), ToLine(copyDest));
}

void CopyEngine::ClearBitsInTheWay(const std::wstring& path, std::uint32_t current, std::uint32_t incoming, bool kept) {
    constexpr std::uint32_t kInTheWay = kAttributeReadOnly | kAttributeHidden;
    if (kept) {
        if ((current & kAttributeHidden) != 0) fs_.SetAttributes(path, current & ~kAttributeHidden);
    } else if ((current & kInTheWay) != 0) {
        fs_.SetAttributes(path, incoming & ~kInTheWay);
    }
}

int CopyEngine::CopyMissingBack(const std::wstring& sourceFolder, const std::wstring& targetFolder) {
    const std::wstring source = WithTrailingBackslash(sourceFolder);
    const std::wstring target = WithTrailingBackslash(targetFolder);
    // Each folder is listed by the path it was made or found under, without the backslash added
    // here: a dry run that only notes the folders it makes knows them by that path.
    std::vector<FileEntry> entries;
    if (!ReadFolder(targetFolder, entries, true)) return kTargetListingFailed;  // the first pass told of it
    RemoveLeftovers(target, entries);
    std::vector<FileEntry> sourceEntries;
    if (!ReadFolder(sourceFolder, sourceEntries, false)) return kDone;  // nothing is copied into it unseen
    RemoveLeftovers(source, sourceEntries);
    const FolderIndex targetIndex = IndexOf(entries);
    const FolderIndex sourceIndex = IndexOf(sourceEntries);
    const Listed targetSide{target, targetIndex};
    const Listed sourceSide{source, sourceIndex};

    for (const FileEntry& entry : entries) {
        if (StopWalk()) break;
        if (!Takes(targetSide, entry, &sourceSide, true)) continue;
        const std::wstring sourcePath = source + entry.name;
        const std::wstring targetPath = target + entry.name;
        const FileEntry* existing = sourceIndex.Find(entry.name);
        if (existing && Skipped(*existing)) {
            Report(targetPath, {kHiddenNamesakeText, {targetPath, sourcePath}, 0, false});
            continue;
        }
        if (entry.IsFolder()) {
            if (!existing) CreateFolder(sourcePath);
            CopyMissingBack(sourcePath, targetPath);
            continue;
        }
        if (existing) continue;
        // As in the first pass, the files as they are now decide: a file that has appeared in
        // the source since it was listed is left alone, one gone from the target is not copied.
        FileEntry now;
        if (fs_.LookUp(sourcePath, now)) continue;
        if (!fs_.LookUp(targetPath, now)) {
            Unreadable(targetPath);
            continue;
        }
        if (now.IsFolder()) continue;
        if (!StartCopy(targetPath, sourcePath, {}, now.size, L"Copy: " + targetPath, L"To: " + sourcePath)) break;
    }
    return kDone;
}

void CopyEngine::RunJob(const JobRecord& prepared) {
    const std::wstring& source = prepared.source;
    const std::wstring& target = prepared.target;
    switch (prepared.type) {
    case JobType::Backup:
    case JobType::Restore: {
        const JobSides sides = SidesOf(prepared);
        CopyTree(sides.from, sides.to, prepared.type);
        FinishCopies();
        break;
    }
    case JobType::Sync:
        // The second pass lists and cleans the folders the first one wrote to: every copy of
        // the first pass has replaced its destination by then.
        CopyTree(source, target, JobType::Sync);
        if (FinishCopies()) CopyMissingBack(source, target);
        FinishCopies();
        break;
    default:
        break;
    }
    if (JobStopped()) ReportLostDrive();
}

int RunOutcomeCode(const RunCounters& counters) {
    if (counters.copyFailed.load() || counters.entriesMissed.load() || counters.jobsRefused.load() > 0) return 1;
    return counters.cancelFlag.load() != 0 && !counters.allJobsDone.load() ? 2 : 0;
}

void CopyEngine::RunJobs(const JobBatch& batch, std::chrono::milliseconds finishPause) {
    counters_.bytesTotal = 0;
    counters_.bytesDone = 0;
    counters_.copyFailed = false;
    counters_.jobsRefused = 0;
    counters_.allJobsDone = false;
    counters_.entriesMissed = false;
    stopped_ = false;
    volumes_.clear();  // free space changes between runs
    reported_.clear();
    resolvedFolders_.clear();
    now_ = FileTimeNow();
    offsetMinutes_ = LocalOffsetMinutes(now_);

    // Each job is checked and put in the system's form once; a job that will not run moves nothing.
    struct PreparedJob {
        JobRecord job;
        JobRefusal refusal;
        bool localTimeSide = false;
        std::uint64_t plannedCopies = 0;
    };
    std::vector<PreparedJob> jobs(batch.count);
    // A Sync job's walks, and those of a job that copies only new and changed files, use the
    // listings its estimate read (see KeptListings).
    const bool anyKept = std::any_of(batch.entries.begin(), batch.entries.begin() + batch.count, [](const JobRecord& job) {
        return job.type == JobType::Sync || job.SkipsSame();
    });
    if (anyKept) kept_ = std::make_unique<KeptListings>();
    if (fs_.CopyConcurrency() > 1) lister_ = std::make_unique<SideLister>(fs_);
    observer_.EstimatePhase(true);
    SpacePlan plan;
    for (size_t i = 0; i < batch.count; ++i) {
        PreparedJob& prepared = jobs[i];
        prepared.refusal.text = PrepareJob(batch.entries[i], prepared.job);
        if (prepared.refusal.Refused()) continue;
        observer_.EstimateStarted(i);
        prepared.refusal = MissingVersion(prepared.job);
        if (prepared.refusal.Refused()) continue;
        RemoveExpiredVersions(prepared.job);
        const std::uint64_t plannedBefore = plannedCopies_;
        prepared.refusal = EstimateAndAdmit(prepared.job, plan, prepared.localTimeSide);
        prepared.plannedCopies = plannedCopies_ - plannedBefore;
    }
    lister_.reset();
    observer_.EstimatePhase(false);
    observer_.TotalKnown(counters_.bytesTotal.load());

    observer_.CopyPhase(true);
    if (const int threads = fs_.CopyConcurrency(); threads > 1) {
        pool_ = std::make_unique<CopyPool>(fs_, counters_, threads, onCopyFailure_ == OnCopyFailure::EndRun);
    }
    bool allDone = true;
    for (size_t i = 0; i < batch.count; ++i) {
        if (Cancelled()) {
            allDone = false;
            break;
        }
        observer_.JobStarted(batch.entries[i]);
        // A drive may have gone since the estimate, or have been missing all along.
        if (!jobs[i].refusal.Refused()) jobs[i].refusal = MissingDrive(jobs[i].job);
        if (jobs[i].refusal.Refused()) {
            ++counters_.jobsRefused;
            observer_.ShowJobRefused(batch.entries[i], jobs[i].refusal);
            continue;
        }
        current_ = SettingFor(jobs[i].job, jobs[i].localTimeSide);
        job_ = JobProgress{jobs[i].plannedCopies, 0, 0, {}};
        RunJob(jobs[i].job);
        job_ = JobProgress{};
        current_ = CurrentJob{};
        if (stopped_) {
            allDone = false;
            break;
        }
    }
    pool_.reset();  // every copy has ended: each job waits for its own
    kept_.reset();
    counters_.allJobsDone = allDone;
    observer_.CopyPhase(false);
    if (counters_.cancelFlag.load() != 1) std::this_thread::sleep_for(finishPause);
}

}  // namespace copperfold
