#include "job_sides.h"

#include "copy_engine.h"

namespace copperfold {

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

std::wstring WithTrailingBackslash(std::wstring_view folder) {
    std::wstring result(folder);
    if (result.empty() || result.back() != L'\\') result.push_back(L'\\');
    return result;
}

}  // namespace copperfold
