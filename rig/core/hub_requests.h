#pragma once
// The hub driver's control requests on a simulated machine: the root hub name of a host
// controller, and on a hub its node information, the connection information of a port, the
// names of a downstream hub and of a device's driver key, and descriptors of the device on a
// port. Layouts: common/core/usb_ioctl_layout.h. The caller's input and output may be the same buffer.

#include <cstdint>

#include "machine_view.h"

namespace rig {

bool AnswerControllerRequest(const ControllerConfig& controller, std::uint32_t controlCode, void* output,
                             std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError);

bool AnswerHubRequest(const MachineView& view, HubRef hub, std::uint32_t controlCode, const void* input,
                      std::uint32_t inputSize, void* output, std::uint32_t outputSize, std::uint32_t& returned,
                      std::uint32_t& lastError);

}  // namespace rig
