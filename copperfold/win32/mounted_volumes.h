#pragma once
// The drives a run can find a bound job's target on (see copperfold/core/job_binding.h), and
// the binding of the document's jobs before a run.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/device_table.h"
#include "common/core/ini_file.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/job_binding.h"

namespace copperfold {

// The mounted fixed or removable drives among `letters` (bit n: 'A' + n) with their volume serial
// numbers; with `removableOnly`, only removable ones (no other drive is asked for its serial). A
// drive that is one of the enclosures' letters in `devices` counts as removable and carries the
// enclosure's USB serial.
inline constexpr std::uint32_t kEveryDrive = 0x03FFFFFF;
std::vector<MountedVolume> ListMountedVolumes(const common::DeviceTable& devices, std::uint32_t letters = kEveryDrive,
                                              bool removableOnly = false);
// Whether any job of the batch is bound to a drive (only then need all drives be looked at).
bool AnyBound(const JobBatch& batch);

// Binds the document's unbound jobs whose target is on a removable or USB drive now and records
// each binding in the job file, under its update lock (see CCopperfoldDoc::ModifyJobs). A file
// that cannot be written leaves the jobs unbound and the run goes on; the failure goes to
// `writeFailure` for the caller to report. Returns
// the drives for ResolveBatchTargets: every drive when a job of the document is bound, else
// none (nothing to resolve).
std::vector<MountedVolume> BindJobsToDrives(CCopperfoldDoc& doc,
                                            std::optional<CIniFileException>* writeFailure = nullptr);
inline constexpr std::wstring_view kBindingNotRecordedText =
    L"The drives of the jobs' targets could not be recorded: the file %s could not be written (%s). The jobs run by "
    L"their drive letters this time.";


}  // namespace copperfold
