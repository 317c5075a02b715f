// Feeds device answers and registry data from the fuzz input to the USB port walk: ScanUSBPort
// into a full device list, the two polls of its first record, then ScanHub into a hub list.
// The first byte picks the options of the walk and whether the lists sit in front of a guard
// area (checked after each call) or in heap blocks of their exact size (for the sanitizer).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/core/device_list.h"
#include "corelink/core/fuzz/fuzz_device_stack.h"
#include "corelink/core/fuzz/fuzz_list.h"
#include "corelink/core/usb_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t options = data[0];
    const std::uint8_t triggerMask = data[1];
    corelink::fuzzing::Cursor in(data + 2, size - 2);
    corelink::fuzzing::FuzzDeviceStack stack(in);
    corelink::fuzzing::FuzzTracer tracer;
    corelink::ManualClock clock;  // pauses never sleep
    corelink::Device device{stack, tracer, clock};

    corelink::WalkState state;
    state.productFilterOff = (options & 2) != 0;
    state.usb30Only = (options & 4) != 0;
    state.forceSerialRead = (options & 8) != 0 ? 1 : 0;
    const bool guarded = (options & 1) != 0;

    static corelink::fuzzing::FuzzList<devio::DeviceListEntry, devio::kDeviceListRecords> devices;
    devio::DeviceListEntry* const deviceList = devices.Prepare(guarded);
    corelink::ScanUSBPort(device, state, deviceList);
    devices.Check();
    if (state.entryCount > devio::kDeviceListRecords) __builtin_trap();

    devio::DeviceListEntry& first = deviceList[0];
    corelink::PollingSingleUSBPort(device, state, first);
    devices.Check();
    corelink::PollingSingleUSBPortEx(device, state, first, triggerMask, 0);
    devices.Check();

    static corelink::fuzzing::FuzzList<devio::HubListRecord, devio::kHubListRecords> hubs;
    devio::HubListRecord* const hubList = hubs.Prepare(guarded);
    corelink::ScanHub(device, state, hubList);
    hubs.Check();
    if (state.entryCount > devio::kHubListRecords) __builtin_trap();
    const std::string found = "fuzz: hub records " + std::to_string(state.entryCount) + ", first port 1 of " +
                              std::to_string(hubList[0].massStoragePorts[0][0]);
    tracer.Trace(found.c_str());
    corelink::PollingHubPort(device, state, hubList[0]);
    hubs.Check();
    return 0;
}
