#pragma once
// The folders a job copies from and into, as the walks and the estimates take them: a Backup
// copies the source into the target's folder of the source's name, a Restore the target back
// over the source, a Sync both ways between source and target. A restore of a kept version
// (VersionRestore) copies the version's folder (or the folder of the one file it restores) over
// the job's folder on that side (or the same folder below it).

#include <string>
#include <string_view>

#include "copperfold_doc.h"

namespace copperfold {

struct JobSides {
    std::wstring from;
    std::wstring to;
};

JobSides SidesOf(const JobRecord& job);
// The name a restore of one file of a version takes alone at the top of its walk; empty for
// every other job.
std::wstring RestoredName(const JobRecord& job);

// `folder` ending with one backslash ("C:\Data\", "E:\").
std::wstring WithTrailingBackslash(std::wstring_view folder);

}  // namespace copperfold
