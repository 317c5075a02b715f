#include "job_sides.h"

#include "copy_engine.h"

namespace copperfold {

namespace {

// The folder part of a restored file's relative path ("Trip" of "Trip\beach.jpg"), empty when it
// lies at the version's top.
std::wstring RestoredFolder(const JobRecord& job) {
    if (!job.versionRestore) return {};
    const std::wstring& file = job.versionRestore->file;
    const std::size_t slash = file.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
}

}  // namespace

JobSides SidesOf(const JobRecord& job) {
    if (job.versionRestore) {
        const std::wstring folder = RestoredFolder(job);
        if (folder.empty()) return {job.target, job.source};
        return {JoinPath(job.target, folder), JoinPath(job.source, folder)};
    }
    switch (job.type) {
    case JobType::Backup:
        return {job.source, AdjustedBackupTarget(job.source, job.target)};
    case JobType::Restore:
        return {job.target, job.source};
    default:
        return {job.source, job.target};
    }
}

std::wstring RestoredName(const JobRecord& job) {
    if (!job.versionRestore) return {};
    const std::wstring& file = job.versionRestore->file;
    return file.substr(file.rfind(L'\\') + 1);  // npos + 1 is 0: the whole name
}

std::wstring WithTrailingBackslash(std::wstring_view folder) {
    std::wstring result(folder);
    if (result.empty() || result.back() != L'\\') result.push_back(L'\\');
    return result;
}

}  // namespace copperfold
