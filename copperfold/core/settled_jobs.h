#pragma once
// Reading the jobs for a run nobody watches. Another program (an editor, a deployment tool, the
// platform's own profile functions) may be rewriting the job file in place just then, and a
// file read half-way through its rewrite can look empty or cut short. So the jobs are read
// again until a reading can be trusted: the file's size and time did not change while it was
// read and, when the reading holds no job, a second reading after a pause finds the file
// unchanged and still without one.

#include <cstdint>
#include <functional>
#include <string>

#include "copperfold_doc.h"

namespace copperfold {

// What identifies one version of the job file.
struct JobFileStamp {
    bool exists = false;
    std::uint64_t size = 0;
    std::uint64_t lastWriteTime = 0;
    bool operator==(const JobFileStamp&) const = default;
};

enum class JobReading { Jobs, NoJobs, KeptChanging };

// Loads `doc` (LoadJobs) until the reading settles, pausing between attempts; at most
// `attempts` readings.
JobReading ReadSettledJobs(CCopperfoldDoc& doc, const std::function<JobFileStamp()>& stamp,
                           const std::function<void()>& pause, int attempts = 10);

// Why `doc` has no job to run, in English, for standard error and the run log.
std::wstring NoJobText(const CCopperfoldDoc& doc, const std::wstring& jobFilePath, bool fileExists);

}  // namespace copperfold
