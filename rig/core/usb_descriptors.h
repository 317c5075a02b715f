#pragma once
// The USB descriptors a simulated device answers with: its device descriptor, one
// configuration (mass storage bulk-only, or a hub) and its string descriptors.

#include <cstdint>
#include <optional>
#include <vector>

#include "rig_config.h"
#include "common/core/usb_ioctl_layout.h"

namespace rig {

// The platform's request codes and reply layouts, shared with the component.
using namespace devio;

UsbDeviceDescriptor EnclosureDeviceDescriptor(const EnclosureConfig& enclosure);
UsbDeviceDescriptor HubDeviceDescriptor(const HubConfig& hub);

// The whole configuration descriptor set (wTotalLength bytes).
std::vector<std::uint8_t> EnclosureConfiguration();
std::vector<std::uint8_t> HubConfiguration();

// Index 0: the language list (in the order the languages first appear). Nothing when the device
// has no such string.
std::optional<std::vector<std::uint8_t>> StringDescriptor(const EnclosureConfig& enclosure, std::uint8_t index,
                                                          std::uint16_t language);

}  // namespace rig
