#pragma once
// Jobs bound to their drive. Drive letters move: plug a stick in first and yesterday's E: is
// today's F:. A job whose target lies on a removable or USB drive records that drive (its
// volume serial number and, for an enclosure's drive, the enclosure's USB serial), and before
// the job writes anything its target is looked up by that record, not by the letter: the job
// follows its drive to another letter, and is refused when its drive is not plugged in. Jobs on
// fixed drives and network paths are not bound and run by their letter as before.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../../common/core/device_table.h"
#include "copperfold_doc.h"
#include "copy_engine.h"

namespace copperfold {

// What a run knows of one mounted drive.
struct MountedVolume {
    wchar_t letter = 0;  // 'A'..'Z'
    std::uint32_t serial = 0;
    bool removable = false;  // a removable drive or one of an enclosure's drives
    std::wstring enclosure;  // the enclosure's USB serial, empty when not an enclosure's
};

// "0x1A2B3C4D", as stored; and back (nothing for anything else).
std::wstring VolumeSerialText(std::uint32_t serial);
std::optional<std::uint32_t> ParseVolumeSerial(std::wstring_view text);

// The USB serial in a USB storage interface path ("\\?\usbstor#disk&ven_..#SERIAL&0#{guid}"):
// the instance part without the "&0" the system adds; empty for other paths.
std::wstring EnclosureSerialFromPath(std::string_view devicePath);

// The binding a job with this target gets: none for a target on a fixed or unknown drive or a
// network path, or whose drive letter is not written in upper case as the system names drives.
std::optional<TargetBinding> BindingFor(std::wstring_view target, const std::vector<MountedVolume>& volumes);

// Binds every unbound job of the document whose target is on a removable or USB drive now;
// true when one was bound (the caller saves the document).
bool BindUnboundJobs(CCopperfoldDoc& doc, const std::vector<MountedVolume>& volumes);

enum class TargetPlace { Unbound, Same, Moved, Missing };
struct TargetResolution {
    TargetPlace place = TargetPlace::Unbound;
    wchar_t letter = 0;  // where the bound drive is now (Same, Moved)
};
TargetResolution ResolveTarget(const JobRecord& job, const std::vector<MountedVolume>& volumes);

// What a run does with each job of the batch: a moved drive's job gets its target on the new
// letter (and `movedFrom`), a job whose drive is missing gets its refusal.
inline constexpr std::wstring_view kDriveMissingText =
    L"The drive this job's target was on is not plugged in (its letter holds another drive or none), so the job was not run.";
void ResolveBatchTargets(JobBatch& batch, const std::vector<MountedVolume>& volumes);
// After ResolveBatchTargets: the batch has jobs, and every one is refused for its missing drive.
bool EveryDriveMissing(const JobBatch& batch);
// "E:\Backup → G:\Backup (the drive moved)" for a job whose target moved.
std::wstring MovedTargetText(const JobRecord& job);

// A job as the job file holds it: its source and its target before ResolveBatchTargets moved it.
JobKeys::value_type StoredKey(const JobRecord& job);

// The jobs a drive being plugged in starts, in table order: those marked to run then whose bound
// drive is one of `arrivedSerials`, except `alreadyRun` (StoredKey pairs).
void BuildArrivalBatch(const JobRecord* jobs, std::size_t jobCount, const std::vector<std::uint32_t>& arrivedSerials,
                       const JobKeys& alreadyRun, JobBatch& batch);

// The jobs the button of `entry` starts, in table order: the jobs bound to this enclosure or to
// a drive it holds now (wherever their letter went), then by letter (as BuildDeviceBatch) the
// unbound ones; a job bound elsewhere never runs because its letter happens to be here.
void BuildBoundDeviceBatch(const JobRecord* jobs, std::size_t jobCount, const common::DeviceTableEntry& entry,
                           const std::vector<MountedVolume>& volumes, JobBatch& batch);

}  // namespace copperfold
