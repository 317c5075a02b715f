#include "settled_jobs.h"

#include "../../common/core/ini_file.h"

namespace copperfold {

JobReading ReadSettledJobs(CCopperfoldDoc& doc, const std::function<JobFileStamp()>& stamp,
                           const std::function<void()>& pause, int attempts) {
    // The version that read without a job at the last attempt, when it did.
    bool emptyLastTime = false;
    JobFileStamp emptyVersion;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) pause();
        const JobFileStamp before = stamp();
        doc.LoadJobs();
        const JobFileStamp after = stamp();
        if (before != after) {
            emptyLastTime = false;
            continue;  // written to while it was read
        }
        if (doc.jobCount > 0) return JobReading::Jobs;
        if (emptyLastTime && emptyVersion == after) return JobReading::NoJobs;
        emptyLastTime = true;
        emptyVersion = after;
    }
    return JobReading::KeptChanging;
}

std::wstring NoJobText(const CCopperfoldDoc& doc, const std::wstring& jobFilePath, bool fileExists) {
    const std::wstring lead = L"No job to run: ";
    const std::wstring tail = L" Add a job in Copperfold's window first.";
    if (!fileExists) return lead + L"the job file " + jobFilePath + L" does not exist." + tail;
    if (!doc.iniFile || !doc.iniFile->SectionExists(doc.jobSection)) {
        return lead + L"the job file " + jobFilePath + L" has no section [" + doc.jobSection +
               L"] for this computer and user." + tail;
    }
    return lead + L"the section [" + doc.jobSection + L"] of the job file " + jobFilePath +
           L" holds no jobs (TASK=0)." + tail;
}

}  // namespace copperfold
