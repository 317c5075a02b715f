#pragma once
// The folders a job copies from and into, as the walks and the estimates take them: a Backup
// copies the source into the target's folder of the source's name, a Restore the target back
// over the source, a Sync both ways between source and target.

#include <string>
#include <string_view>

#include "copperfold_doc.h"

namespace copperfold {

struct JobSides {
    std::wstring from;
    std::wstring to;
};

JobSides SidesOf(const JobRecord& job);

// `folder` ending with one backslash ("C:\Data\", "E:\").
std::wstring WithTrailingBackslash(std::wstring_view folder);

}  // namespace copperfold
