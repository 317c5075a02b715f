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
#include "corelink/core/usb_walk.h"

namespace {

using corelink::fuzzing::CheckGuard;
using corelink::fuzzing::kGuardBytes;
using corelink::fuzzing::kGuardFill;

// A list of `count` records of T, either with a guard area right after it or alone in a block
// of its exact size.
template <typename T>
class List {
public:
    List(std::size_t count, bool guarded) : guarded_(guarded) {
        const std::size_t listBytes = sizeof(T) * count;
        bytes_ = std::make_unique<std::uint8_t[]>(listBytes + (guarded ? kGuardBytes : 0));
        std::memset(bytes_.get(), 0, listBytes);
        if (guarded) std::memset(bytes_.get() + listBytes, kGuardFill, kGuardBytes);
        guard_ = bytes_.get() + listBytes;
    }
    T* get() { return reinterpret_cast<T*>(bytes_.get()); }
    void Check() const {
        if (guarded_) CheckGuard(guard_);
    }

private:
    bool guarded_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    const std::uint8_t* guard_ = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t options = data[0];
    const std::uint8_t triggerMask = data[1];
    corelink::fuzzing::Cursor in(data + 2, size - 2);
    corelink::fuzzing::FuzzDeviceStack stack(in);
    corelink::fuzzing::FuzzTracer tracer;
    corelink::Device device{stack, tracer};

    corelink::WalkState state;
    state.productFilterOff = (options & 2) != 0;
    state.usb30Only = (options & 4) != 0;
    state.forceSerialRead = (options & 8) != 0 ? 1 : 0;
    const bool guarded = (options & 1) != 0;

    List<devio::DeviceListEntry> devices(devio::kDeviceListRecords, guarded);
    corelink::ScanUSBPort(device, state, devices.get());
    devices.Check();
    if (state.entryCount > devio::kDeviceListRecords) __builtin_trap();

    devio::DeviceListEntry& first = devices.get()[0];
    corelink::PollingSingleUSBPort(device, state, first);
    devices.Check();
    corelink::PollingSingleUSBPortEx(device, state, first, triggerMask, 0);
    devices.Check();

    List<devio::HubListRecord> hubs(devio::kHubListRecords, guarded);
    corelink::ScanHub(device, state, hubs.get());
    hubs.Check();
    if (state.entryCount > devio::kHubListRecords) __builtin_trap();
    const std::string found = "fuzz: hub records " + std::to_string(state.entryCount) + ", first port 1 of " +
                              std::to_string(hubs.get()[0].massStoragePorts[0][0]);
    tracer.Trace(found.c_str());
    corelink::PollingHubPort(device, state, hubs.get()[0]);
    hubs.Check();
    return 0;
}
