#include "dry_run_file_system.h"

#include <algorithm>

#include "../../common/core/case_fold.h"
#include "file_times.h"
#include "job_paths.h"

namespace copperfold {
namespace {

// What the platform answers for a copy it cannot make (besides file_system.h's "not found"s).
constexpr std::uint32_t kErrorAccessDenied = 5;

// The path without trailing separators ("E:\dst\" names "E:\dst"), a root left as it is.
std::wstring Trimmed(std::wstring path) {
    const std::size_t root = std::max<std::size_t>(RootLength(path), 1);
    while (path.size() > root && path.back() == L'\\') path.pop_back();
    return path;
}

// The folder a trimmed path lies in ("E:\" for "E:\dst"); empty for a root.
std::wstring ParentOf(const std::wstring& path) {
    const std::size_t root = RootLength(path);
    const std::size_t slash = path.rfind(L'\\');
    if (root == 0 || path.size() <= root || slash == std::wstring::npos) return {};
    return path.substr(0, std::max(slash, root));
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

}  // namespace

bool DryRunFileSystem::List(const std::wstring& folder, std::vector<FileEntry>& entries) {
    const std::wstring key = ComparablePath(folder);
    if (!real_.List(folder, entries)) {
        const auto self = written_.find(key);
        if (self == written_.end() || !self->second.IsFolder()) return false;
        entries.clear();
    }
    const auto gained = writtenInto_.find(key);
    if (gained == writtenInto_.end()) return true;
    std::unordered_map<std::wstring, std::size_t> byName;
    byName.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) byName.emplace(common::UpperCased(entries[i].name), i);
    for (const std::wstring& childKey : gained->second) {
        const FileEntry& child = written_.at(childKey);
        if (const auto same = byName.find(common::UpperCased(child.name)); same != byName.end()) {
            entries[same->second] = child;
        } else {
            entries.push_back(child);
        }
    }
    return true;
}

bool DryRunFileSystem::Exists(const std::wstring& path) {
    // A drive's root exists when it has an entry: one written into it counts.
    const std::wstring key = ComparablePath(path);
    return written_.contains(key) || writtenInto_.contains(key) || real_.Exists(path);
}

bool DryRunFileSystem::LookUp(const std::wstring& path, FileEntry& entry) {
    if (const auto written = written_.find(ComparablePath(path)); written != written_.end()) {
        entry = written->second;
        return true;
    }
    return real_.LookUp(path, entry);
}

bool DryRunFileSystem::CreateFolder(const std::wstring& path) {
    const std::wstring folder = Trimmed(path);
    if (FileEntry there; LookUp(folder, there)) {
        if (!there.IsFolder()) NoteClash(folder, true);
        return false;
    }
    const std::wstring parent = ParentOf(folder);
    if (parent.empty()) return false;
    if (!FolderThere(parent)) {
        NoteObstacle(parent);
        return false;
    }
    Write(folder, FileEntry{NameOf(folder), kAttributeDirectory, 0, 0});
    folders_.push_back({job_, folder});
    return true;
}

bool DryRunFileSystem::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    FileEntry entry;
    if (!LookUp(path, entry)) return false;
    entry.attributes = (attributes & ~kAttributeDirectory) | (entry.attributes & kAttributeDirectory);
    Write(path, entry);
    return true;
}

std::uint32_t DryRunFileSystem::CopyWithProgress(const std::wstring& from, const std::wstring& to,
                                                 const CopyProgress& progress, const std::atomic<int>&) {
    return CopyInOverlay(from, to, {}, progress);
}

std::uint32_t DryRunFileSystem::CopyKeepingReplaced(const std::wstring& from, const std::wstring& to,
                                                    const std::wstring& keepAs, const CopyProgress& progress,
                                                    const std::atomic<int>&) {
    return CopyInOverlay(from, to, keepAs, progress);
}

std::uint32_t DryRunFileSystem::CopyInOverlay(const std::wstring& from, const std::wstring& to,
                                              const std::wstring& keepAs, const CopyProgress& progress) {
    FileEntry source;
    if (!LookUp(from, source)) return kErrorFileNotFound;
    FileEntry existing;
    const bool replaced = LookUp(to, existing);
    if (source.IsFolder() || (replaced && existing.IsFolder())) {
        if (replaced) NoteClash(to, !existing.IsFolder());
        return kErrorAccessDenied;
    }
    const std::wstring parent = ParentOf(Trimmed(to));
    if (parent.empty() || !FolderThere(parent)) {
        NoteObstacle(parent);
        return kErrorPathNotFound;
    }
    const bool kept = replaced && !keepAs.empty();
    if (kept) {
        // The rename the real copy makes first: into a folder that is there, under a free name.
        if (FileEntry taken; !FolderThere(ParentOf(Trimmed(keepAs))) || LookUp(keepAs, taken)) return kErrorPathNotFound;
        existing.name = NameOf(Trimmed(keepAs));
        Write(keepAs, existing);
    }
    // The copy carries the file's attributes and last-write time over, the latter brought into
    // FAT's range on a volume that holds no other.
    std::uint64_t time = source.lastWriteTime;
    if (fatTimeRoots_.contains(ComparablePath(to.substr(0, RootLength(to))))) time = WithinLocalFatRange(time);
    Write(to, FileEntry{NameOf(to), source.attributes, time, source.size});
    copies_.push_back({job_, to, source.size, replaced, kept});
    if (progress) {
        progress(source.size, 0, CopyProgressReason::StreamSwitch);
        progress(source.size, source.size, CopyProgressReason::ChunkFinished);
    }
    return 0;
}

std::uint32_t DryRunFileSystem::RemoveTree(const std::wstring& folder) {
    removals_.push_back({job_, Trimmed(folder)});
    return 0;
}

void DryRunFileSystem::LimitTimesToFatRange(const std::wstring& root) {
    fatTimeRoots_.insert(ComparablePath(root));
    ForwardingFileSystem::LimitTimesToFatRange(root);
}

bool DryRunFileSystem::FolderThere(const std::wstring& path) {
    if (FileEntry entry; LookUp(path, entry)) return entry.IsFolder();
    if (path.size() > RootLength(path)) return false;
    // A drive's root has no entry of its own to look up; an empty one can still be listed.
    std::vector<FileEntry> entries;
    return Exists(path) || real_.List(path, entries);
}

void DryRunFileSystem::Write(const std::wstring& path, const FileEntry& entry) {
    const std::wstring key = ComparablePath(path);
    if (written_.insert_or_assign(key, entry).second) {
        writtenInto_[ComparablePath(ParentOf(Trimmed(path)))].push_back(key);
    }
}

void DryRunFileSystem::NoteObstacle(const std::wstring& path) {
    for (std::wstring at = path; !at.empty(); at = ParentOf(at)) {
        if (FileEntry entry; LookUp(at, entry)) {
            if (!entry.IsFolder()) NoteClash(at, true);
            return;
        }
    }
}

void DryRunFileSystem::NoteClash(const std::wstring& path, bool fileThere) {
    const std::wstring place = Trimmed(path);
    if (clashesNoted_.emplace(job_, ComparablePath(place)).second) clashes_.push_back({job_, place, fileThere});
}

}  // namespace copperfold
