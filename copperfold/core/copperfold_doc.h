#pragma once
// CCopperfoldDoc: Copperfold's job table. It loads the current user's jobs from the job file
// when constructed and writes them back when a job is added or the table is changed.
//
// Several processes share one job file (the window, runs from the command line, a drive's
// binding recorded as a run starts). Every change is made under the file's update lock to the
// jobs as the file holds them then, not to the table this process read earlier, so that no
// process undoes another's change; the table is then what the file holds. A change that could
// not be written leaves the table as the file is, and throws CIniFileException (file, reason).
//
// The keys of one job are read and written in one place (ReadJobs, WriteJob); a later key of a
// job goes there.
//
// Job file layout, in the user's section (computer name, hyphen, user name):
//   TASK=0x0003              number of jobs, "0x%04X"
//   SRC0001 / DST0001        source and target folder of job 1 (numbered from 1)
//   Type0001=Backup          type name; read as TYPE%04d, the same key without regard to case
//   DstVol0001=0x1A2B3C4D    the target's volume serial number, for a target on a removable or
//                            USB drive (absent for fixed and network targets, and in older files)
//   DstDev0001=0001          the USB serial of the enclosure that drive belongs to, when it does
//   SkipSame0001=0x0001      copy only new and changed files (Backup, Restore); absent: off
//   KeepDays0001=0x001E      keep the files a run replaces for 30 days; absent or 0: off
//   OnArrival0001=0x0001     a bound job that runs when its drive is plugged in (absent, empty or
//                            anything but 1: it does not)
//   Schedule0001=1 daily 20:00; 3 weekly Mon,Thu 06:30
//                            the schedules the job belongs to (see job_schedule.h)
// The last four are written only when set (integers as "0x%04X"; SkipSame and KeepDays are also
// read as plain decimal digits, a hand-edited "30"); a setting taken off leaves its key empty.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../../common/core/device_table.h"

class CIniFile;

enum class JobType : std::int32_t {
    Backup = 0,   // copy source to target
    Sync = 1,     // make both folders consistent; the newer file wins
    Restore = 2,  // copy target back over source
    Unknown = -1  // the stored type name is none of the three: shown, never run
};

inline constexpr std::array<std::wstring_view, 3> jobTypeNames = {L"Backup", L"Sync", L"Restore"};

// The drive a job's target lies on: its volume serial number and, for an enclosure's drive,
// the enclosure's USB serial.
struct TargetBinding {
    std::uint32_t volumeSerial = 0;
    std::wstring enclosure;
    bool operator==(const TargetBinding&) const = default;
};

// What a job does beyond its type. A job file without these keys means neither (as older
// versions, which ignore them, run the job).
struct JobOptions {
    // Copy only new and changed files (Backup and Restore): 1 = on. The value is kept as read, so
    // a value of a newer version is written back as it was; any value but 1 counts as off.
    std::uint32_t skipSame = 0;
    // Keep the files a run replaces as versions for this many days (every type); 0 = not kept.
    std::uint32_t keepDays = 0;
    bool operator==(const JobOptions&) const = default;
};

// Set for one run, never stored: the job puts files it kept as versions back (see versions.h).
// The record's source is the job's folder on that side, its target the version's folder there.
struct VersionRestore {
    std::wstring file;  // one file or folder of the version, relative to it; empty: all of it
};

struct JobRecord {
    JobRecord() = default;
    JobRecord(std::wstring sourceFolder, std::wstring targetFolder, JobType jobType, std::wstring typeName = {})
        : source(std::move(sourceFolder)), target(std::move(targetFolder)), type(jobType),
          unknownTypeName(std::move(typeName)) {}

    std::wstring source;
    std::wstring target;
    JobType type = JobType::Unknown;
    // The name found in the file when it matched no type; written back unchanged so that a
    // job from a newer or hand-edited file is never lost.
    std::wstring unknownTypeName;
    // The drive the target was on when the job was bound to it (see job_binding.h).
    std::optional<TargetBinding> binding;
    JobOptions options;
    std::optional<VersionRestore> versionRestore;
    // Runs when its bound drive is plugged in (see arrival_runs.h).
    bool runOnArrival = false;
    // The schedules the job belongs to, the key's value as it stands (see job_schedule.h).
    std::wstring schedules;
    // Set for one run: why this job must not run (an English text), or where its target moved
    // from. Never stored.
    std::wstring_view runRefusal;
    std::wstring movedFrom;

    std::wstring_view TypeName() const;
    // Copies only new and changed files: a Backup or Restore whose option is on.
    bool SkipsSame() const { return options.skipSame == 1 && (type == JobType::Backup || type == JobType::Restore); }
    // Keeps the files it replaces: a job whose option is on, and every restore of a version.
    bool KeepsVersions() const { return options.keepDays > 0 || versionRestore.has_value(); }
};

// Jobs as the user knows them: each one's source and target folder (two jobs never share both).
using JobKeys = std::vector<std::pair<std::wstring, std::wstring>>;
// Whether `job` is one of `keys`.
bool IsOneOf(const JobRecord& job, const JobKeys& keys);

inline constexpr int kMaxJobs = 255;  // the count is stored in 8 bits
// What the user is told when a job is added to a full table (a key of the language sections).
inline constexpr std::wstring_view kJobTableFullText =
    L"The job list is full: Copperfold keeps at most 255 jobs. Remove a job before adding another.";

class CCopperfoldDoc {
public:
    // Loads the jobs of `jobSection` (LoadJobs). The file is shared, not owned.
    CCopperfoldDoc(CIniFile* iniFile, std::wstring jobSection);

    enum class AddResult { Added, TableFull };
    // Appends one job to the jobs the file holds and writes it (one replacement of the file).
    // When they already are kMaxJobs nothing changes and TableFull is returned.
    AddResult AddJob(std::wstring_view source, std::wstring_view target, JobType type,
                     std::optional<TargetBinding> binding = std::nullopt);
    // The same with everything a job record holds that is stored (its options too).
    AddResult AddJob(const JobRecord& job);
    // Sets the options of every job with this source and target, in the jobs the file holds, and
    // rewrites the section; false when there is no such job.
    bool SetJobOptions(std::wstring_view source, std::wstring_view target, const JobOptions& options);
    // The same for every job with one of these source and target pairs, each given what `change`
    // makes of it, in one rewrite of the section; the number of jobs found.
    int SetJobOptions(const JobKeys& sourceAndTarget, const std::function<JobOptions(const JobRecord&)>& change);
    // Removes every job with one of these source and target pairs from the jobs the file holds
    // and rewrites the section; false when none was there. `beforeRemoval`, when given, sees the
    // table as the file holds it just before the removal (under the update lock).
    bool RemoveJobs(const JobKeys& sourceAndTarget, const std::function<void(const CCopperfoldDoc& before)>& beforeRemoval = {});
    // Marks the bound jobs among these source and target pairs to run when their drive is
    // plugged in, or clears the mark; an unbound job takes no mark. The number of jobs changed.
    int SetRunOnArrival(const JobKeys& sourceAndTarget, bool on);
    // The general change: under the update lock, the table is read again from the file, then
    // `change` edits it and writes what it changed through iniFile (WriteJob, SaveAllJobs) and
    // answers whether it changed anything; the file is replaced once.
    void ModifyJobs(const std::function<bool(CCopperfoldDoc&)>& change);
    // Writes the keys of job n (from 1) as the table holds it.
    void WriteJob(int n);
    // A key of the job section that only some jobs carry: written when `value` is not empty, and
    // emptied when the file has it from before.
    void WriteOptionalKey(const std::wstring& key, const std::wstring& value);
    // Rewrites the whole job section from the table (one replacement of the file), whatever
    // the file holds now: within ModifyJobs, or when the table as it stands is to win.
    void SaveAllJobs();
    // Empties the device table and reads the jobs (construction).
    void LoadJobs();
    // Reads the table from the file, leaving the device table alone.
    void ReadJobs();

    CIniFile* iniFile;
    std::uint8_t jobCount = 0;
    std::array<JobRecord, 256> jobs;
    std::wstring jobSection;
    common::DeviceTable deviceTable{};
    // False when the job file exists but could not be read at the last load: the table is then
    // empty for want of the file, not because the user has no jobs.
    bool jobFileReadable = true;
};

// The job section name: computer name, hyphen, user name (each cut to 256 characters).
std::wstring MakeJobSection(std::wstring_view computerName, std::wstring_view userName);
