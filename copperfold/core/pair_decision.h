#pragma once
// What a run does with one file of the side it copies from and its namesake on the other side
// (or none): every job type's rule for a pair of files, in one place, for the walks and the
// estimates alike.
//
// Backup and Restore copy each file over its namesake. A job that copies only new and changed
// files compares a file instead when its namesake is a file of the same size with a last-write
// time the same under file_times.h's rules (2 s apart at most; an hour apart on FAT-family drives
// after a change of daylight saving time; FAT's range): it is counted and shown, not copied.
// A Sync copies the newer file over the older; times that compare the same count as the same
// file; a pair whose newer file is dated later than tomorrow is left as it is, since that time
// is no time of an edit (a drive that kept a year wrongly, a clock that was wrong).

#include <cstdint>

#include "copperfold_doc.h"
#include "file_system.h"

namespace copperfold {

enum class PairAction {
    CopyForward,  // the from side's file over the other side's (or where it has none)
    CopyBack,     // a Sync's: the other side's newer file over the from side's
    Compare,      // the same file on both sides: counted and shown, not copied
    LeaveAlone,   // a Sync's pair that neither file can win (see above)
};

// The rules of the job going on.
struct PairRules {
    JobType type = JobType::Backup;
    bool skipSame = false;       // Backup and Restore: copy only new and changed files
    bool localTimeSide = false;  // a side keeps local times (see file_times.h)
    std::uint64_t now = 0;       // the run's start, as a file time
};

// `to`: the other side's entry of the name, null when it has none. A folder there is no file to
// compare with: the copy is tried (and fails, as a file cannot replace a folder).
PairAction DecidePair(const PairRules& rules, const FileEntry& from, const FileEntry* to);

}  // namespace copperfold
