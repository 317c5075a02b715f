// What the copy engine's walks do with what they cannot read or copy, and with pairs a Sync
// leaves as they are: each is told once per run (RunObserver::ShowRunProblem), and all but the
// notes count as failures of the run. A drive that goes away stops the job it was in: it is told
// once, when the job ends, with the number of files the job did not get to; the copies that fail
// with it are not told one by one.
#include <algorithm>

#include "../../common/core/case_fold.h"
#include "copy_engine.h"
#include "job_paths.h"
#include "versions.h"

namespace copperfold {
namespace {

// The root of a full path with its backslash ("E:\", "\\server\share\"); empty when it has none.
std::wstring RootOf(const std::wstring& path) {
    std::wstring root = path.substr(0, RootLength(path));
    if (!root.empty() && root.back() != L'\\') root.push_back(L'\\');
    return root;
}

}  // namespace

bool CopyEngine::CopyFailed(std::uint32_t error, const std::wstring& from, const std::wstring& to) {
    // Another program was writing the file: nothing was wrong with the copy itself, and the run
    // goes on (also one that ends at a failed copy); the next run copies the file again.
    if (error == kErrorSourceChanged) {
        Report(from, {kChangedWhileCopiedText, {from, to}});
        return true;
    }
    const bool driveLost = DriveLost(from) || DriveLost(to);
    if (!driveLost) {
        counters_.copyFailed = true;
        observer_.ShowCopyError(error, from, to);
    }
    if (onCopyFailure_ == OnCopyFailure::GoOn) return !driveLost;
    counters_.cancelFlag = 1;
    stopped_ = true;
    return false;
}

bool CopyEngine::StopWalk() {
    if (Cancelled()) {
        stopped_ = true;
        return true;
    }
    return JobStopped();
}

FolderIndex CopyEngine::IndexOf(const std::vector<FileEntry>& entries) const {
    return FolderIndex(entries, [this](const FileEntry& entry) { return Skipped(entry); });
}

void CopyEngine::Report(const std::wstring& about, RunProblem problem) {
    if (problem.failure) counters_.entriesMissed = true;
    std::wstring key = common::UpperCased(about);
    if (key.size() > 3 && key.back() == L'\\') key.pop_back();  // a folder however it is spelt
    if (reported_.insert(std::move(key)).second) observer_.ShowRunProblem(problem);
}

bool CopyEngine::DriveLost(const std::wstring& path) {
    if (JobStopped()) return true;
    const std::wstring root = RootOf(path);
    if (root.empty() || fs_.AccessError(root) == 0) return false;
    job_.lostDrive = DriveName(root);
    counters_.entriesMissed = true;
    return true;
}

JobRefusal CopyEngine::MissingDrive(const JobRecord& prepared) {
    for (const std::wstring* folder : {&prepared.source, &prepared.target}) {
        const std::wstring root = RootOf(*folder);
        if (!root.empty() && fs_.AccessError(root) != 0) return {kDriveNotThereText, {*folder, DriveName(root)}};
    }
    return {};
}

bool CopyEngine::Takes(const Listed& own, const FileEntry& entry, const Listed* other, bool report) {
    if (Skipped(entry)) return false;
    if (current_.leavesOutLinks && (entry.attributes & kAttributeReparsePoint) != 0) return false;
    if (NameRefusedByTheSystem(entry.name)) {
        if (report) {
            const std::wstring path = JoinPath(own.folder, entry.name);
            Report(path, {kNameRefusedText, {path}});
        }
        return false;
    }
    for (const Listed* side : {&own, other}) {
        if (!side || !side->index.Clashes(entry.name)) continue;
        if (report) {
            Report(JoinPath(side->folder, common::UpperCased(entry.name)),
                   {kNamesDifferInCaseText, {NameList(side->index.Clash(entry.name)), side->folder}});
        }
        return false;
    }
    // Only a link (a junction, a mounted folder, a Unix link under Wine) can lead back above
    // itself: a plain subfolder lies inside its parent wherever that resolves to, and its parent
    // has been through this check, so a walk asks the system about links alone.
    if (entry.IsFolder() && (entry.attributes & kAttributeReparsePoint) != 0) {
        if (const std::wstring loop = LoopTarget(own.folder, entry.name); !loop.empty()) {
            if (report) {
                const std::wstring path = JoinPath(own.folder, entry.name);
                Report(path, {kLeadsBackText, {path, loop}, 0, false});
            }
            return false;
        }
    }
    return true;
}

const std::wstring& CopyEngine::ResolvedFolder(const std::wstring& folder) {
    static const std::wstring unknown;
    std::wstring key = folder;
    while (key.size() > RootLength(key) && key.back() == L'\\') key.pop_back();
    if (const auto known = resolvedFolders_.find(key); known != resolvedFolders_.end()) return known->second;
    const std::wstring resolved = fs_.FinalPath(folder);
    if (resolved.empty()) return unknown;  // asked again: it may exist later in the run
    return resolvedFolders_.emplace(std::move(key), ComparablePath(resolved)).first->second;
}

std::wstring CopyEngine::LoopTarget(const std::wstring& folder, const std::wstring& name) {
    const std::wstring path = JoinPath(folder, name);
    const std::wstring resolved = ResolvedFolder(path);
    if (resolved.empty()) return {};
    // Each folder on the way, from `folder` up to the root, as the system resolves it.
    std::wstring way = folder;
    const std::size_t rootLength = RootLength(way);
    for (;;) {
        const std::wstring& wayResolved = ResolvedFolder(way);
        if (!wayResolved.empty() && InsideOrSame(wayResolved, resolved)) {
            std::wstring target = fs_.FinalPath(path);
            if (target.starts_with(L"\\\\?\\")) target.erase(0, 4);  // as the user writes it
            return target.empty() ? path : target;
        }
        const std::size_t slash = way.rfind(L'\\');
        if (way.size() <= rootLength || slash == std::wstring::npos || slash + 1 < rootLength) return {};
        way.resize(std::max(slash, rootLength));
    }
}

bool CopyEngine::ReadFolder(const std::wstring& folder, std::vector<FileEntry>& entries, bool mayHaveGone) {
    if (ListFolder(folder, entries)) return true;
    if (Cancelled()) {  // the cancel may have kept the folder from being made: no failure, a stop
        stopped_ = true;
        return false;
    }
    if (DriveLost(folder)) return false;
    std::uint32_t error = fs_.AccessError(folder);
    if (error == kErrorFileNotFound || error == kErrorPathNotFound) {
        if (mayHaveGone) return false;  // removed since it was listed: nothing left to copy
    } else if (FileEntry entry; error == 0 && fs_.LookUp(folder, entry) && !entry.IsFolder()) {
        error = kErrorNotAFolder;
    }
    Report(folder, {kFolderUnreadableText, {folder}, error});
    return false;
}

bool CopyEngine::Unreadable(const std::wstring& path) {
    if (DriveLost(path)) return true;
    const std::uint32_t error = fs_.AccessError(path);
    if (error == 0 || error == kErrorFileNotFound || error == kErrorPathNotFound) return false;
    Report(path, {kFileUnreadableText, {path}, error});
    return true;
}

void CopyEngine::ReportLostDrive() {
    // What the job did not get to: the copies its estimate planned that did not happen.
    const std::uint64_t copied = job_.started - std::min(job_.started, job_.unsuccessful);
    const std::uint64_t missed = job_.planned > copied ? job_.planned - copied : 0;
    observer_.ShowRunProblem({kDriveWentAwayText, {job_.lostDrive, ByteCount(missed), ByteCount(job_.planned)}});
}

}  // namespace copperfold
