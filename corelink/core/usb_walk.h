#pragma once
// The USB view of device discovery: every root hub and every hub below it, port by port, with
// each device's descriptors and registry entries, joined with the storage view into the device
// list. The callers (the component's objects) hold the scan lock around these operations.

#include <array>
#include <cstdint>

#include "common/core/device_list.h"
#include "device_operations.h"

namespace corelink {

// The walk state and the options of one component object.
struct WalkState {
    std::uint8_t walkDepth = 0;      // current hub tier
    std::uint8_t entryCount = 0;     // records filled so far
    std::uint8_t hubCounter = 0;     // hubs opened so far
    std::uint8_t currentHub = 0;     // number of the hub being walked
    std::array<std::uint8_t, 5> hubDelta{};  // per tier: restores currentHub when a tier is left
    bool productFilterOff = false;   // DisableProductFilter
    bool usb30Only = false;          // ForceInUSB30
    std::int32_t forceSerialRead = 0;  // ActiveFilterDriver
    bool flHostController = false;   // the root hub being walked is of the "#root_hub_fl30" kind
};

// The maker's USB vendor identifier (hubs of the maker are walked by ScanHub).
inline constexpr std::uint16_t makerVendorId = 0x1A2B;

int ScanUSBPort(Device& device, WalkState& state, devio::DeviceListEntry* list);
int PollingSingleUSBPort(Device& device, WalkState& state, devio::DeviceListEntry& entry);
// Called with the scan lock already held (the caller waits for it at most 10 s).
int PollingSingleUSBPortEx(Device& device, WalkState& state, devio::DeviceListEntry& entry, std::uint8_t triggerMask,
                           std::uint8_t slotForTrace);
int ScanHub(Device& device, WalkState& state, devio::HubListRecord* list);
int PollingHubPort(Device& device, WalkState& state, devio::HubListRecord& record);

}  // namespace corelink
