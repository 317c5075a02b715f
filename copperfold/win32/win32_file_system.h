#pragma once
// Win32FileSystem: the copy engine's file system on the platform's own calls.
//
// Every path reaches the system in its extended-length form ("\\?\C:\...", "\\?\UNC\..."), so
// trees deeper than MAX_PATH list and copy like any other and names reach the disk exactly as
// given. A copy never writes into the destination itself: it fills a new hidden temporary file
// beside it, puts it on disk, gives it the source's times and attributes and only then renames
// it over the destination, so a cancelled or failed copy (or a crash) leaves the previous
// version in place. The times come after the flush: some file systems (exFAT's FUSE driver)
// stamp a file with the time its buffered data reaches them, over any time set before. A volume
// that refuses attribute changes altogether gets its copies without them; one that holds FAT's
// times only gets them brought into its range (1980 to 2107, local time). The copier is
// win32_file_copy.cpp; listings, look-ups and removals are win32_file_system.cpp.

#include <cstdint>
#include <functional>
#include <string>

#include "copperfold/core/file_system.h"
#include "copperfold/core/volume_quirks.h"

namespace copperfold {

// `path` in the extended-length form: "C:\x" becomes "\\?\C:\x" and "\\server\share\x" becomes
// "\\?\UNC\server\share\x"; the characters of the path itself are never changed. Paths the
// system has to parse itself (relative ones, ones with "/", "." or ".." parts) and paths already
// in a "\\?\" or "\\.\" form are returned as they are.
std::wstring ExtendedLengthPath(const std::wstring& path);

// The temporary file a copy onto `destination` writes into, in the same folder, with `unique`
// as the unique part of its name (see partial_name.h).
std::wstring PartialFilePath(const std::wstring& destination, std::uint32_t unique);

class Win32FileSystem final : public FileSystem {
public:
    // Where the unique parts of temporary names come from; by default a sequence that differs
    // in every process. Tests give their own to make names collide.
    using UniquePartSource = std::function<std::uint32_t()>;
    explicit Win32FileSystem(UniquePartSource uniquePart = {});

    // The bytes one read and one write of a copy move; also the step of its progress calls.
    static constexpr std::uint32_t kChunkSize = 4u << 20;
    // Small files copied at once: enough for their flushes to overlap, few enough not to crowd
    // a disk or the machine.
    static constexpr int kCopyThreads = 4;

    bool List(const std::wstring& folder, std::vector<FileEntry>& entries) override;
    bool Exists(const std::wstring& path) override;
    bool LookUp(const std::wstring& path, FileEntry& entry) override;
    bool CreateFolder(const std::wstring& path) override;
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes) override;
    std::wstring FullPath(const std::wstring& path) override;
    std::wstring FinalPath(const std::wstring& path) override;
    bool IsPartialCopy(const FileEntry& entry) const override;
    void RemovePartialCopy(const std::wstring& path) override;
    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) override;
    // The replaced file leaves its name by a rename of its own just before the copy takes it.
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const CopyProgress& progress, const std::atomic<int>& cancel) override;
    std::uint32_t RemoveTree(const std::wstring& folder) override;
    VolumeFacts Volume(const std::wstring& path) override;
    std::uint32_t AccessError(const std::wstring& path) override;
    void LimitTimesToFatRange(const std::wstring& root) override;
    int CopyConcurrency() const override { return kCopyThreads; }

    // What the copies found out about the volumes they wrote to, one line each (see
    // VolumeQuirks), for the run log.
    std::vector<std::wstring> VolumeNotes() const { return quirks_.Notes(); }

private:
    std::uint32_t Copy(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                       const CopyProgress& progress, const std::atomic<int>& cancel);

    UniquePartSource uniquePart_;
    VolumeQuirks quirks_;
};

}  // namespace copperfold
