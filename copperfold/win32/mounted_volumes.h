#pragma once
// The drives a run can find a bound job's target on (see copperfold/core/job_binding.h), and
// the binding of the document's jobs before a run.

#include <vector>

#include "common/core/device_table.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/job_binding.h"

namespace copperfold {

// Every mounted fixed or removable drive with its volume serial number. A drive that is one of
// the enclosures' letters in `devices` counts as removable and carries the enclosure's USB
// serial.
std::vector<MountedVolume> ListMountedVolumes(const common::DeviceTable& devices);

// Binds the document's unbound jobs whose target is on a removable or USB drive now and saves
// the job file when one was bound (a file that cannot be written leaves the jobs unbound in the
// file, and the run goes on). Returns the drives it looked at, for ResolveBatchTargets.
std::vector<MountedVolume> BindJobsToDrives(CCopperfoldDoc& doc);

}  // namespace copperfold
