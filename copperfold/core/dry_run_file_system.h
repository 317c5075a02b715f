#pragma once
// The file system of a preview: it answers the engine as the real one would answer a run that
// had written what the walks so far asked for, and writes nothing. The folders it is asked to
// make and the files it is asked to copy are kept in an overlay over the real file system (with
// their names, attributes, sizes and last-write times as the copy would leave them), so that the
// listings and look-ups of later walks, and of the later jobs of the same run, see them as they
// would in the run. A copy or a folder the run could not make because a file and a folder of one
// name meet is noted as such a place, once.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "forwarding_file_system.h"

namespace copperfold {

class DryRunFileSystem final : public ForwardingFileSystem {
public:
    explicit DryRunFileSystem(FileSystem& real) : ForwardingFileSystem(real), real_(real) {}

    // The job (its index in the batch) that the records from now on belong to.
    void StartJob(std::size_t job) { job_ = job; }

    struct Folder {
        std::size_t job = 0;
        std::wstring path;
    };
    struct Copy {
        std::size_t job = 0;
        std::wstring to;
        std::uint64_t size = 0;
        bool replaced = false;  // `to` was there
        bool kept = false;      // and the file there would be kept as a version
    };
    // A folder the run would remove (kept versions past their days).
    struct Removal {
        std::size_t job = 0;
        std::wstring path;
    };
    // Where a file and a folder of one name meet, so the run cannot copy there.
    struct Clash {
        std::size_t job = 0;
        std::wstring path;
        bool fileThere = false;  // a file where the other side has a folder; else the reverse
    };
    const std::vector<Folder>& Folders() const { return folders_; }
    const std::vector<Copy>& Copies() const { return copies_; }
    const std::vector<Clash>& Clashes() const { return clashes_; }
    const std::vector<Removal>& Removals() const { return removals_; }
    // A folder the run could not open because a file bears its name (the engine tells so).
    void NoteFileInTheWay(const std::wstring& path) { NoteClash(path, true); }

    bool List(const std::wstring& folder, std::vector<FileEntry>& entries) override;
    bool Exists(const std::wstring& path) override;
    bool LookUp(const std::wstring& path, FileEntry& entry) override;
    bool CreateFolder(const std::wstring& path) override;
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes) override;
    void RemovePartialCopy(const std::wstring&) override {}
    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) override;
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const CopyProgress& progress, const std::atomic<int>& cancel) override;
    std::uint32_t RemoveTree(const std::wstring& folder) override;
    // Copies onto such a volume get the times the real copy gets there (file_times.h).
    void LimitTimesToFatRange(const std::wstring& root) override;
    int CopyConcurrency() const override { return 1; }

private:
    // A folder the entry can be made in: one of the overlay's, a real one, or a drive's root.
    bool FolderThere(const std::wstring& path);
    // The entry takes its place in the overlay (replacing what the real file system has there).
    void Write(const std::wstring& path, const FileEntry& entry);
    // `path` could not be made: notes a file at it or at the nearest existing folder above it.
    void NoteObstacle(const std::wstring& path);
    void NoteClash(const std::wstring& path, bool fileThere);
    std::uint32_t CopyInOverlay(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                const CopyProgress& progress);

    FileSystem& real_;
    std::size_t job_ = 0;
    // By ComparablePath: what the run would have written, and the children each folder of the
    // overlay's or the real file system's would have gained, in the order written.
    std::unordered_map<std::wstring, FileEntry> written_;
    std::unordered_map<std::wstring, std::vector<std::wstring>> writtenInto_;
    std::vector<Folder> folders_;
    std::vector<Copy> copies_;
    std::vector<Clash> clashes_;
    std::vector<Removal> removals_;
    std::set<std::wstring> fatTimeRoots_;  // by ComparablePath
    std::set<std::pair<std::size_t, std::wstring>> clashesNoted_;
};

}  // namespace copperfold
