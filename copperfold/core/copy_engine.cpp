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

// What a Sync does with a file of the from side, given the to side's file of that name (or none):
// the newer one is copied over the older; last-write times that compare the same (file_times.h)
// count as the same file. A pair whose newer file is dated later than tomorrow is left as it is:
// that time is no time of an edit (a drive that kept a year wrongly, a clock that was wrong).
enum class SyncStep { CopyForward, CopyBack, Compare, LeaveAlone };

SyncStep SyncStepFor(const FileEntry& from, const FileEntry* to, bool localTimeSide, std::uint64_t now) {
    if (!to) return SyncStep::CopyForward;
    const TimeOrder order = CompareLastWrite(from, *to, localTimeSide);
    if (order == TimeOrder::Same) return SyncStep::Compare;
    const FileEntry& newer = order == TimeOrder::Newer ? from : *to;
    if (newer.lastWriteTime > now + kFutureTolerance) return SyncStep::LeaveAlone;
    return order == TimeOrder::Newer ? SyncStep::CopyForward : SyncStep::CopyBack;
}

std::wstring WithTrailingBackslash(std::wstring_view folder) {
    std::wstring result(folder);
    if (result.empty() || result.back() != L'\\') result.push_back(L'\\');
    return result;
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

// The folder a job copies from and the one it copies into (Sync copies both ways).
struct JobSides {
    std::wstring from;
    std::wstring to;
};

bool IsKnownType(JobType type) {
    return type == JobType::Backup || type == JobType::Sync || type == JobType::Restore;
}

JobSides SidesOf(const JobRecord& job) {
    switch (job.type) {
    case JobType::Backup:
        return {job.source, AdjustedBackupTarget(job.source, job.target)};
    case JobType::Restore:
        return {job.target, job.source};
    default:
        return {job.source, job.target};
    }
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

bool CopyEngine::CopyOneFile(const std::wstring& from, const std::wstring& to, const std::wstring& firstLine,
                             const std::wstring& secondLine) {
    observer_.SetPathLines(firstLine, secondLine);
    const CopyProgress progress = [this](std::uint64_t size, std::uint64_t transferred, CopyProgressReason reason) {
        return OnCopyProgress(size, transferred, reason);
    };
    const std::uint32_t error = fs_.CopyWithProgress(from, to, progress, counters_.cancelFlag);
    if (error == 0) return true;
    ++job_.unsuccessful;
    if (error != kErrorRequestAborted) return CopyFailed(error, from, to);
    counters_.cancelFlag = 1;
    stopped_ = true;
    return false;
}

bool CopyEngine::StartCopy(const std::wstring& from, const std::wstring& to, std::uint64_t size,
                           const std::wstring& firstLine, const std::wstring& secondLine) {
    if (kept_) kept_->Changed(ParentFolder(to));
    ++job_.started;
    if (!pool_ || size > largestPooledFile_) return CopyOneFile(from, to, firstLine, secondLine);
    observer_.SetPathLines(firstLine, secondLine);
    std::vector<CopyPool::Outcome> unsuccessful;
    pool_->Start(from, to, size, unsuccessful, [this] { ShowProgress(); });
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
    if (keepListings_ && kept_ && kept_->Take(folder, entries)) return true;
    return fs_.List(folder, entries);
}

void CopyEngine::KeepListing(const std::wstring& folder, std::vector<FileEntry>&& entries) {
    if (keepListings_ && kept_) kept_->Keep(folder, std::move(entries));
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

    for (const FileEntry& entry : entries) {
        if (StopWalk()) break;
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
        if (existing) fs_.SetAttributes(toPath, entry.attributes & ~(kAttributeReadOnly | kAttributeHidden));
        const std::uint64_t size = std::max(entry.size, existing ? existing->size : 0);
        if (!StartCopy(fromPath, toPath, size, CopyLine(fromPath), ToLine(toPath))) break;
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
    if (SyncStepFor(listedFrom, listedTo, localTimeSide_, now_) == SyncStep::Compare) {
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
    const SyncStep step = SyncStepFor(from, toExists ? &to : nullptr, localTimeSide_, now_);
    if (step == SyncStep::Compare) {
        ShowCompared(fromPath, toPath, from.size);
        return true;
    }
    if (step == SyncStep::LeaveAlone) {
        const bool fromLater = from.lastWriteTime > to.lastWriteTime;
        Report(fromPath, {kFutureTimeText, {fromLater ? fromPath : toPath, fromLater ? toPath : fromPath}, 0, false});
        return true;
    }
    const bool back = step == SyncStep::CopyBack;
    const std::wstring& copySource = back ? toPath : fromPath;
    const std::wstring& copyDest = back ? fromPath : toPath;
    // What is about to be overwritten takes the from side's attributes, less read-only and hidden.
    if (toExists) fs_.SetAttributes(copyDest, from.attributes & ~(kAttributeReadOnly | kAttributeHidden));
    const std::uint64_t size = std::max(from.size, toExists ? to.size : 0);
    return StartCopy(copySource, copyDest, size, CopyLine(copySource), ToLine(copyDest));
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
        if (!StartCopy(targetPath, sourcePath, now.size, L"Copy: " + targetPath, L"To: " + sourcePath)) break;
    }
    return kDone;
}

std::uint32_t CopyEngine::CountTree(const std::wstring& folder) { return CountInto(folder, nullptr); }

std::uint32_t CopyEngine::CountInto(const std::wstring& folder, VolumeNeeds* into) {
    const std::wstring base = WithTrailingBackslash(folder);
    std::vector<FileEntry> entries;
    if (!ListFolder(base, entries)) return 0;
    return CountListed(base, std::move(entries), into);
}

std::uint32_t CopyEngine::CountListed(const std::wstring& base, std::vector<FileEntry>&& entries, VolumeNeeds* into) {
    std::uint32_t files = 0;
    const FolderIndex index = IndexOf(entries);
    const Listed listed{base, index};
    for (const FileEntry& entry : entries) {
        if (!Takes(listed, entry, nullptr, false)) continue;
        if (entry.IsFolder()) {
            if (into) into->AddFolder();
            files += CountInto(base + entry.name, into);
        } else {
            ++files;
            ++plannedCopies_;
            counters_.bytesTotal += entry.size;
            if (into) into->AddCopy(base + entry.name, entry.size, false, 0);
        }
    }
    KeepListing(base, std::move(entries));
    return files;
}

std::uint32_t CopyEngine::EstimateSync(const std::wstring& sourceFolder, const std::wstring& targetFolder) {
    return EstimateSyncInto(sourceFolder, targetFolder, nullptr, nullptr);
}

std::uint32_t CopyEngine::EstimateSyncInto(const std::wstring& sourceFolder, const std::wstring& targetFolder,
                                           VolumeNeeds* toSide, VolumeNeeds* fromSide) {
    const std::wstring source = WithTrailingBackslash(sourceFolder);
    const std::wstring target = WithTrailingBackslash(targetFolder);
    std::vector<FileEntry> sourceEntries;
    std::vector<FileEntry> targetEntries;
    if (!ListFolder(source, sourceEntries)) return CountInto(target, fromSide);
    if (!ListFolder(target, targetEntries)) return CountListed(source, std::move(sourceEntries), toSide);
    const FolderIndex sourceIndex = IndexOf(sourceEntries);
    const FolderIndex targetIndex = IndexOf(targetEntries);
    const Listed sourceSide{source, sourceIndex};
    const Listed targetSide{target, targetIndex};

    // The walks' rules: what they cannot copy, and pairs with a hidden namesake, move nothing.
    std::uint32_t files = 0;
    for (const FileEntry& entry : sourceEntries) {
        if (!Takes(sourceSide, entry, &targetSide, false)) continue;
        const FileEntry* other = targetIndex.Find(entry.name);
        if (other && Skipped(*other)) continue;
        if (entry.IsFolder()) {
            if (toSide && !other) toSide->AddFolder();
            files += EstimateSyncInto(source + entry.name, target + entry.name, toSide, fromSide);
            continue;
        }
        ++files;
        if (other && other->IsFolder()) other = nullptr;  // the copy will fail; nothing is replaced
        switch (SyncStepFor(entry, other, localTimeSide_, now_)) {
        case SyncStep::CopyForward:
            ++plannedCopies_;
            counters_.bytesTotal += entry.size;
            if (toSide) toSide->AddCopy(source + entry.name, entry.size, other != nullptr, other ? other->size : 0);
            break;
        case SyncStep::CopyBack:
            ++plannedCopies_;
            counters_.bytesTotal += other->size;
            if (fromSide) fromSide->AddCopy(target + entry.name, other->size, true, entry.size);
            break;
        case SyncStep::Compare:
            counters_.bytesTotal += entry.size;
            break;
        case SyncStep::LeaveAlone:
            break;
        }
    }
    for (const FileEntry& entry : targetEntries) {
        if (!Takes(targetSide, entry, &sourceSide, false) || sourceIndex.Find(entry.name)) continue;
        if (entry.IsFolder()) {
            if (fromSide) fromSide->AddFolder();
            files += EstimateSyncInto(source + entry.name, target + entry.name, toSide, fromSide);
        } else {
            ++files;
            ++plannedCopies_;
            counters_.bytesTotal += entry.size;
            if (fromSide) fromSide->AddCopy(target + entry.name, entry.size, false, 0);
        }
    }
    KeepListing(source, std::move(sourceEntries));
    KeepListing(target, std::move(targetEntries));
    return files;
}

void CopyEngine::EstimateCopy(const std::wstring& fromFolder, const std::wstring& toFolder, bool toListable,
                              VolumeNeeds* toSide) {
    const std::wstring from = WithTrailingBackslash(fromFolder);
    const std::wstring to = WithTrailingBackslash(toFolder);
    std::vector<FileEntry> entries;
    if (!ListFolder(from, entries)) return;
    // What the copies replace; only looked at when there is a volume to account for.
    std::vector<FileEntry> destinationEntries;
    const bool destinationListed = toSide && toListable && fs_.List(to, destinationEntries);
    const FolderIndex source = IndexOf(entries);
    const FolderIndex destination = IndexOf(destinationEntries);
    const Listed fromListing{from, source};
    const Listed toListing{to, destination};
    for (const FileEntry& entry : entries) {
        if (!Takes(fromListing, entry, &toListing, false)) continue;
        const FileEntry* existing = destinationListed ? destination.Find(entry.name) : nullptr;
        if (entry.IsFolder()) {
            const bool folderThere = existing && existing->IsFolder();
            if (toSide && !folderThere) toSide->AddFolder();
            EstimateCopy(from + entry.name, to + entry.name, folderThere, toSide);
            continue;
        }
        ++plannedCopies_;
        counters_.bytesTotal += entry.size;
        if (existing && existing->IsFolder()) existing = nullptr;
        if (toSide) toSide->AddCopy(from + entry.name, entry.size, existing != nullptr, existing ? existing->size : 0);
    }
    KeepListing(from, std::move(entries));
}

void CopyEngine::EstimateJob(const JobRecord& prepared, VolumeNeeds* toSide, VolumeNeeds* fromSide) {
    switch (prepared.type) {
    case JobType::Backup:
        EstimateCopy(prepared.source, AdjustedBackupTarget(prepared.source, prepared.target), true, toSide);
        break;
    case JobType::Restore:
        EstimateCopy(prepared.target, prepared.source, true, toSide);
        break;
    case JobType::Sync:
        EstimateSyncInto(prepared.source, prepared.target, toSide, fromSide);
        break;
    default:
        break;
    }
}

void CopyEngine::RunJob(const JobRecord& prepared) {
    const std::wstring& source = prepared.source;
    const std::wstring& target = prepared.target;
    switch (prepared.type) {
    case JobType::Backup:
        CopyTree(source, AdjustedBackupTarget(source, target), JobType::Backup);
        FinishCopies();
        break;
    case JobType::Restore:
        CopyTree(target, source, JobType::Restore);
        FinishCopies();
        break;
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

JobRefusal CopyEngine::EstimateAndAdmit(const JobRecord& prepared, SpacePlan& plan, bool& localTimeSide) {
    // The volumes' facts, once for each side of the job: the estimate needs them already.
    const JobSides sides = SidesOf(prepared);
    std::vector<SpacePlan::Side> written(1);
    written[0].facts = VolumeOf(sides.to);
    const VolumeFacts& fromFacts = VolumeOf(sides.from);
    if (prepared.type == JobType::Sync) written.push_back({fromFacts, {}});
    localTimeSide = KeepsLocalTimes(written[0].facts.fileSystem) || KeepsLocalTimes(fromFacts.fileSystem);
    for (SpacePlan::Side& side : written) {
        side.needs = VolumeNeeds(side.facts);
        if (!side.facts.root.empty() && KeepsLocalTimes(side.facts.fileSystem)) fs_.LimitTimesToFatRange(side.facts.root);
    }
    // Needs are only gathered for volumes the system told us about.
    auto needsOf = [&](size_t index) -> VolumeNeeds* {
        return index < written.size() && !written[index].facts.root.empty() ? &written[index].needs : nullptr;
    };

    const std::uint64_t totalBefore = counters_.bytesTotal.load();
    localTimeSide_ = localTimeSide;
    keepListings_ = prepared.type == JobType::Sync;
    EstimateJob(prepared, needsOf(0), needsOf(1));
    keepListings_ = false;
    localTimeSide_ = false;
    JobRefusal refusal = plan.Admit(written);
    if (refusal.Refused()) counters_.bytesTotal = totalBefore;  // it will move nothing
    return refusal;
}

const VolumeFacts& CopyEngine::VolumeOf(const std::wstring& path) {
    std::wstring key = common::UpperCased(std::wstring_view(path).substr(0, RootLength(path)));
    if (key.empty()) key = common::UpperCased(path);  // not a full path: asked on its own
    const auto known = volumes_.find(key);
    if (known != volumes_.end()) return known->second;
    return volumes_.emplace(std::move(key), fs_.Volume(path)).first->second;
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
    now_ = FileTimeNow();

    // Each job is checked and put in the system's form once; a job that will not run moves nothing.
    struct PreparedJob {
        JobRecord job;
        JobRefusal refusal;
        bool localTimeSide = false;
        std::uint64_t plannedCopies = 0;
    };
    std::vector<PreparedJob> jobs(batch.count);
    // A Sync job's walks use the listings its estimate read (see KeptListings).
    const bool anySync = std::any_of(batch.entries.begin(), batch.entries.begin() + batch.count,
                                     [](const JobRecord& job) { return job.type == JobType::Sync; });
    if (anySync) kept_ = std::make_unique<KeptListings>();
    observer_.EstimatePhase(true);
    SpacePlan plan;
    for (size_t i = 0; i < batch.count; ++i) {
        PreparedJob& prepared = jobs[i];
        prepared.refusal.text = PrepareJob(batch.entries[i], prepared.job);
        if (prepared.refusal.Refused()) continue;
        const std::uint64_t plannedBefore = plannedCopies_;
        prepared.refusal = EstimateAndAdmit(prepared.job, plan, prepared.localTimeSide);
        prepared.plannedCopies = plannedCopies_ - plannedBefore;
    }
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
        keepListings_ = jobs[i].job.type == JobType::Sync;
        localTimeSide_ = jobs[i].localTimeSide;
        job_ = JobProgress{jobs[i].plannedCopies, 0, 0, {}};
        RunJob(jobs[i].job);
        job_ = JobProgress{};
        keepListings_ = false;
        localTimeSide_ = false;
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
