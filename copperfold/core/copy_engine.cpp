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

// The entries of one folder by name, without regard to case, as the file system matches them.
class FolderIndex {
public:
    void Fill(std::vector<FileEntry>&& entries) {
        entries_ = std::move(entries);
        byName_.clear();
        byName_.reserve(entries_.size());
        for (size_t i = 0; i < entries_.size(); ++i) byName_.emplace(Fold(entries_[i].name), i);
    }
    const FileEntry* Find(std::wstring_view name) const {
        const auto it = byName_.find(Fold(name));
        return it == byName_.end() ? nullptr : &entries_[it->second];
    }

private:
    static std::wstring Fold(std::wstring_view name) {
        std::wstring folded(name);
        for (wchar_t& c : folded) c = common::ToUpperSimple(c);
        return folded;
    }

    std::vector<FileEntry> entries_;
    std::unordered_map<std::wstring, size_t> byName_;
};

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
    if (!IsKnownType(job.type)) return kUnknownTypeText;
    if (!IsFullJobPath(job.source) || !IsFullJobPath(job.target)) return kNotFullPathText;
    JobRecord full = job;
    full.source = PlatformFullPath(job.source);
    full.target = PlatformFullPath(job.target);
    if (SidesOverlap(SidesOf(full))) return kSelfContainingText;
    return {};
}

CopyEngine::CopyEngine(FileSystem& fileSystem, RunObserver& observer, RunCounters& counters)
    : fs_(fileSystem), observer_(observer), counters_(counters) {}

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

void CopyEngine::RemoveLeftovers(const std::wstring& folder, const std::vector<FileEntry>& entries) {
    for (const FileEntry& entry : entries) {
        if (fs_.IsPartialCopy(entry)) fs_.RemovePartialCopy(JoinPath(folder, entry.name));
    }
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
    if (error != kErrorRequestAborted) {
        counters_.copyFailed = true;
        observer_.ShowCopyError(error, from, to);
        if (onCopyFailure_ == OnCopyFailure::GoOn) return true;
    }
    counters_.cancelFlag = 1;
    stopped_ = true;
    return false;
}

bool CopyEngine::StartCopy(const std::wstring& from, const std::wstring& to, std::uint64_t size,
                           const std::wstring& firstLine, const std::wstring& secondLine) {
    if (!pool_ || size > largestPooledFile_) return CopyOneFile(from, to, firstLine, secondLine);
    observer_.SetPathLines(firstLine, secondLine);
    std::vector<CopyPool::Outcome> unsuccessful;
    pool_->Start(from, to, unsuccessful, [this] { ShowProgress(); });
    ShowProgress();
    return HandleUnsuccessful(unsuccessful);
}

bool CopyEngine::FinishCopies() {
    if (!pool_) return !stopped_;
    std::vector<CopyPool::Outcome> unsuccessful;
    pool_->WaitForAll(unsuccessful, [this] { ShowProgress(); });
    ShowProgress();
    return HandleUnsuccessful(unsuccessful);
}

bool CopyEngine::HandleUnsuccessful(const std::vector<CopyPool::Outcome>& unsuccessful) {
    for (const CopyPool::Outcome& outcome : unsuccessful) {
        if (outcome.error == kErrorRequestAborted) {
            counters_.cancelFlag = 1;
            stopped_ = true;
            continue;
        }
        counters_.copyFailed = true;
        observer_.ShowCopyError(outcome.error, outcome.from, outcome.to);
        if (onCopyFailure_ == OnCopyFailure::EndRun) {
            counters_.cancelFlag = 1;
            stopped_ = true;
        }
    }
    return !stopped_;
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
    return fs_.CreateFolder(path) ? 1 : 0;
}

int CopyEngine::CopyTree(const std::wstring& from, const std::wstring& to, JobType type) {
    for (const std::wstring* path : {&from, &to}) {
        if (!fs_.Exists(*path)) MakePath(*path);
    }
    std::vector<FileEntry> entries;
    if (!fs_.List(from, entries)) return kListingFailed;
    // Only the folders the job writes to: a Sync writes to both sides, the others to `to`.
    if (type == JobType::Sync) RemoveLeftovers(from, entries);
    // One listing of the destination folder instead of a lookup by name per file.
    FolderIndex destination;
    std::vector<FileEntry> destinationEntries;
    if (fs_.List(to, destinationEntries)) {
        RemoveLeftovers(to, destinationEntries);
        destination.Fill(std::move(destinationEntries));
    }

    for (const FileEntry& entry : entries) {
        if (Cancelled()) {
            stopped_ = true;
            break;
        }
        if (Skipped(entry)) continue;
        const std::wstring fromPath = JoinPath(from, entry.name);
        const std::wstring toPath = JoinPath(to, entry.name);
        if (entry.IsFolder()) {
            const FileEntry* existing = destination.Find(entry.name);
            if (!existing || !existing->IsFolder()) fs_.CreateFolder(toPath);
            CopyTree(fromPath, toPath, type);
            continue;
        }
        std::wstring copySource = fromPath;
        std::wstring copyDest = toPath;
        const FileEntry* existing = destination.Find(entry.name);
        if (existing) {
            if (type == JobType::Sync) {
                if (existing->lastWriteTime > entry.lastWriteTime) {
                    std::swap(copySource, copyDest);
                } else if (existing->lastWriteTime == entry.lastWriteTime) {
                    observer_.SetPathLines(L"Compare: " + copySource, L"With: " + copyDest);
                    counters_.bytesDone += entry.size;
                    ShowProgress();
                    continue;
                }
            }
            fs_.SetAttributes(copyDest, entry.attributes & ~(kAttributeReadOnly | kAttributeHidden));
        }
        const std::uint64_t size = std::max(entry.size, existing ? existing->size : 0);
        if (!StartCopy(copySource, copyDest, size, CopyLine(copySource), ToLine(copyDest))) break;
    }
    return Cancelled() ? kCancelled : kDone;
}

int CopyEngine::CopyMissingBack(const std::wstring& sourceFolder, const std::wstring& targetFolder) {
    const std::wstring source = WithTrailingBackslash(sourceFolder);
    const std::wstring target = WithTrailingBackslash(targetFolder);
    std::vector<FileEntry> entries;
    if (!fs_.List(target, entries)) return kTargetListingFailed;
    RemoveLeftovers(target, entries);
    FolderIndex sourceIndex;
    std::vector<FileEntry> sourceEntries;
    if (fs_.List(source, sourceEntries)) {
        RemoveLeftovers(source, sourceEntries);
        sourceIndex.Fill(std::move(sourceEntries));
    }

    for (const FileEntry& entry : entries) {
        if (Cancelled()) {
            stopped_ = true;
            break;
        }
        if (Skipped(entry)) continue;
        const std::wstring sourcePath = source + entry.name;
        const std::wstring targetPath = target + entry.name;
        const FileEntry* existing = sourceIndex.Find(entry.name);
        if (entry.IsFolder()) {
            if (!existing) fs_.CreateFolder(sourcePath);
            CopyMissingBack(sourcePath, targetPath);
        } else if (!existing) {
            if (!StartCopy(targetPath, sourcePath, entry.size, L"Copy: " + targetPath, L"To: " + sourcePath)) break;
        }
    }
    return kDone;
}

std::uint32_t CopyEngine::CountTree(const std::wstring& folder) {
    const std::wstring base = WithTrailingBackslash(folder);
    std::vector<FileEntry> entries;
    if (!fs_.List(base, entries)) return 0;
    std::uint32_t files = 0;
    for (const FileEntry& entry : entries) {
        if (Skipped(entry)) continue;
        if (entry.IsFolder()) {
            files += CountTree(base + entry.name);
        } else {
            ++files;
            counters_.bytesTotal += entry.size;
        }
    }
    return files;
}

std::uint32_t CopyEngine::EstimateSync(const std::wstring& sourceFolder, const std::wstring& targetFolder) {
    const std::wstring source = WithTrailingBackslash(sourceFolder);
    const std::wstring target = WithTrailingBackslash(targetFolder);
    std::vector<FileEntry> sourceEntries;
    std::vector<FileEntry> targetEntries;
    if (!fs_.List(source, sourceEntries)) return CountTree(target);
    if (!fs_.List(target, targetEntries)) return CountTree(source);
    FolderIndex sourceIndex;
    FolderIndex targetIndex;
    sourceIndex.Fill(std::vector<FileEntry>(sourceEntries));
    targetIndex.Fill(std::vector<FileEntry>(targetEntries));

    std::uint32_t files = 0;
    for (const FileEntry& entry : sourceEntries) {
        if (Skipped(entry)) continue;
        if (entry.IsFolder()) {
            files += EstimateSync(source + entry.name, target + entry.name);
            continue;
        }
        const FileEntry* other = targetIndex.Find(entry.name);
        ++files;
        counters_.bytesTotal += (other && other->lastWriteTime > entry.lastWriteTime) ? other->size : entry.size;
    }
    for (const FileEntry& entry : targetEntries) {
        if (Skipped(entry) || sourceIndex.Find(entry.name)) continue;
        if (entry.IsFolder()) {
            files += EstimateSync(source + entry.name, target + entry.name);
        } else {
            ++files;
            counters_.bytesTotal += entry.size;
        }
    }
    return files;
}

void CopyEngine::EstimateJob(const JobRecord& prepared) {
    switch (prepared.type) {
    case JobType::Backup:
        CountTree(prepared.source);
        break;
    case JobType::Restore:
        CountTree(prepared.target);
        break;
    case JobType::Sync:
        EstimateSync(prepared.source, prepared.target);
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
}

int RunOutcomeCode(const RunCounters& counters) {
    if (counters.copyFailed.load() || counters.jobsRefused.load() > 0) return 1;
    return counters.cancelFlag.load() != 0 && !counters.allJobsDone.load() ? 2 : 0;
}

void CopyEngine::RunJobs(const JobBatch& batch, std::chrono::milliseconds finishPause) {
    counters_.bytesTotal = 0;
    counters_.bytesDone = 0;
    counters_.copyFailed = false;
    counters_.jobsRefused = 0;
    counters_.allJobsDone = false;
    stopped_ = false;

    // Each job is checked and put in the system's form once; a job that will not run moves nothing.
    struct PreparedJob {
        JobRecord job;
        std::wstring_view refusal;
    };
    std::vector<PreparedJob> jobs(batch.count);
    observer_.EstimatePhase(true);
    for (size_t i = 0; i < batch.count; ++i) {
        jobs[i].refusal = PrepareJob(batch.entries[i], jobs[i].job);
        if (jobs[i].refusal.empty()) EstimateJob(jobs[i].job);
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
        if (!jobs[i].refusal.empty()) {
            ++counters_.jobsRefused;
            observer_.ShowJobRefused(batch.entries[i], jobs[i].refusal);
            continue;
        }
        RunJob(jobs[i].job);
        if (stopped_) {
            allDone = false;
            break;
        }
    }
    pool_.reset();  // every copy has ended: each job waits for its own
    counters_.allJobsDone = allDone;
    observer_.CopyPhase(false);
    if (counters_.cancelFlag.load() != 1) std::this_thread::sleep_for(finishPause);
}

}  // namespace copperfold
