#pragma once
// What a run of a batch would do, found without writing anything: the engine itself walks the
// jobs (the same decisions, the same estimate and pre-flight checks) over a file system that
// records the folders it would create and the files it would copy instead of doing so, and shows
// them to the later walks and jobs as the run would find them (dry_run_file_system.h).

#include <cstdint>
#include <string>
#include <vector>

#include "copy_engine.h"
#include "file_system.h"

namespace copperfold {

struct PreviewEntry {
    // FileInTheWay: a file where the other side has a folder (the folder cannot be made, nothing
    // below it copied); FolderInTheWay: the reverse (the file cannot be copied). The run fails there.
    // RemovedVersions: a folder of kept versions older than the job's days, removed at its start.
    enum class Kind { Folder, ToTarget, ToSource, CopiedBack, FileInTheWay, FolderInTheWay, RemovedVersions };
    Kind kind = Kind::ToTarget;
    std::wstring path;   // the folder made, the file written or the clash, in the job's own spelling
    std::uint64_t size = 0;
    bool kept = false;   // a file written over another, which is kept as a version
    bool operator==(const PreviewEntry&) const = default;
};

struct JobPreview {
    JobRecord job;          // as the run would take it (a moved drive's target already moved)
    int number = 0;         // the job's number in the job file
    std::wstring refusal;   // why it would not run (English, with its values), empty when it would
    // removed versions, folders, then files, then clashes, each in name order
    std::vector<PreviewEntry> entries;
    // What the run will report besides: what it cannot read or copy (failures of the run) and the
    // pairs a Sync leaves as they are (notes), as English texts with their values, in text order.
    std::vector<std::wstring> problems;
    std::vector<std::wstring> notes;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t kept = 0;       // files written over others that are kept as versions
    std::uint64_t unchanged = 0;  // a job that copies only new and changed files: files it compares
    std::uint64_t failures = 0;   // clashes and problems
};

// Each job of `batch`, in order. `files` is the file system a run would use; nothing is written
// to it. `jobNumbers`: each job's number in the job file (1, 2, ... when not given).
std::vector<JobPreview> PreviewBatch(FileSystem& files, const JobBatch& batch, const std::vector<int>& jobNumbers = {});

// The preview as text, a line each (UTF-16 here, UTF-8 on the way out), for the command line
// and the dialog:
//   Job 1: Backup C:\Data -> E:\Backup                 the job's number in the job file
//     E:\Backup -> G:\Backup (the drive moved)        when it did
//     refused: <why>                                   when it would not run
//     folder E:\Backup\Data
//     → E:\Backup\Data\a.txt (1,024 bytes)
//     ← C:\Data\b.txt (10 bytes)                       a Sync's newer target file
//     + C:\Data\c.txt (3 bytes)                        a Sync's file only in the target
//     ! E:\Backup\Data\d: a file where the other side has a folder; the run will fail here
//     → E:\Backup\Data\e.txt (5 bytes; the file it replaces is kept as a version)
//     - E:\Backup\Data\.copperfold-versions\2026-01-02 10.00.00 +0100 (kept versions older than 30 days)
//     ! The names a.txt, A.txt in the folder C:\Data differ only in case, ...   what the run reports
//     note: C:\Data\f.txt is dated in the future, ...                          a Sync's notes
//     1 folder, 3 files, 1,037 bytes, 1 kept as a version, 20 unchanged, 2 places where the run will fail
//   Total: 1 folder, 3 files, 1,037 bytes, 1 place where the run will fail
std::wstring FormatPreview(const std::vector<JobPreview>& jobs);

}  // namespace copperfold
