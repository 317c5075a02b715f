#pragma once
// The storage stack's control requests on a simulated machine: a disk's device number and
// drive layout, and a volume's disk extents. Layouts: common/core/usb_ioctl_layout.h.

#include <cstdint>

#include "machine_view.h"

namespace rig {

bool AnswerDiskRequest(const MachineView& view, std::size_t enclosure, std::uint32_t controlCode, void* output,
                       std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError);

bool AnswerVolumeRequest(const MachineView& view, const VolumeView& volume, std::uint32_t controlCode, void* output,
                         std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError);

}  // namespace rig
