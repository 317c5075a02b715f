// The scan of the maker's hubs: every hub of the maker's below the root hubs, with the ports of
// each that hold a mass-storage device, and the poll of one such hub's port.
#include <cstring>
#include <string>
#include <vector>

#include "corelink/core/opened_device.h"
#include "corelink/core/usb_walk.h"
#include "corelink/core/usb_walk_internal.h"

namespace corelink {
namespace {

using devio::DeviceHandle;
using devio::HubListRecord;

struct HubWalk {
    Device& device;
    WalkState& state;
    HubListRecord* list;
    std::size_t capacity;
};

constexpr int kHubNameAttempts = 8;  // the hub scan's bound on one hub name's reads

bool ReadHubNameBounded(Device& device, DeviceHandle handle, std::uint32_t port, std::string& name) {
    for (int attempt = 0; attempt < kHubNameAttempts; ++attempt) {
        if (ReadConnectionName(device, handle, devio::kIoctlUsbGetNodeConnectionName, port, name)) return true;
    }
    return false;
}

HubResult WalkHubForList(HubWalk& walk, const std::string& path, std::uint32_t singlePort, HubListRecord* own,
                         std::uint8_t tier);

void FillHubRecord(HubListRecord& record, const std::string& parentPath, std::uint8_t portCount, std::uint32_t port,
                   const devio::UsbNodeConnectionInformationEx& info) {
    SetField(record.parentHubPath, parentPath);
    record.parentPortCount = portCount;
    record.parentPort = static_cast<std::uint8_t>(port);
    record.connectionStatus = static_cast<std::uint8_t>(info.ConnectionStatus);
    record.connectionSpeed = info.Speed;
}

// A connected port in the hub scan: a maker's hub gets the next record and is walked; a
// mass-storage device takes its slot in the record of the hub being walked (ports 1 to 4).
void HubScanPort(HubWalk& walk, DeviceHandle handle, const std::string& path, std::uint8_t portCount,
                 std::uint32_t port, const devio::UsbNodeConnectionInformationEx& info, HubListRecord* own,
                 std::uint8_t tier) {
    if (info.DeviceIsHub != 0) {
        std::string name;
        if (info.DeviceDescriptor.idVendor != makerVendorId || walk.state.entryCount >= walk.capacity) return;
        if (!ReadHubNameBounded(walk.device, handle, port, name)) return;
        HubListRecord& record = walk.list[walk.state.entryCount++];
        FillHubRecord(record, path, portCount, port, info);
        SetField(record.hubPath, "\\\\.\\" + name);
        record.vendorId = info.DeviceDescriptor.idVendor;
        record.productId = info.DeviceDescriptor.idProduct;
        // Hubs below the fifth tier are not walked.
        if (tier < kMaxTier) WalkHubForList(walk, std::string(FieldText(record.hubPath)), 0, &record, tier + 1);
        return;
    }
    std::vector<std::uint8_t> configuration;
    if (own == nullptr || port < 1 || port > 4) return;
    if (!ReadConfiguration(walk.device, handle, port, configuration) || !FirstInterfaceIsMassStorage(configuration)) {
        return;
    }
    std::uint8_t* slot = own->massStoragePorts[port - 1];
    slot[0] = portCount;
    slot[1] = static_cast<std::uint8_t>(port);
    slot[2] = static_cast<std::uint8_t>(info.ConnectionStatus);
    slot[3] = info.Speed;
    slot[4] = 0;
}

HubResult WalkHubForList(HubWalk& walk, const std::string& path, std::uint32_t singlePort, HubListRecord* own,
                         std::uint8_t tier) {
    Device& device = walk.device;
    OpenedDevice hub(device.stack, path, devio::kGenericWrite, devio::kShareWrite);
    if (!hub.Valid()) return {false, hub.Error()};
    std::uint8_t portCount = 0;
    if (!ReadNodeInformation(device, hub.Handle(), portCount)) return {false, devio::kErrorGenFailure};
    const std::uint32_t first = singlePort != 0 ? singlePort : 1;
    const std::uint32_t last = singlePort != 0 ? singlePort : portCount;
    std::uint32_t result = 0;
    for (std::uint32_t port = first; port <= last; ++port) {
        devio::UsbNodeConnectionInformationEx info{};
        std::uint32_t error = 0;
        if (!ReadConnection(device, hub.Handle(), port, info, error)) result = error;
        if (info.ConnectionStatus == 0) continue;
        HubScanPort(walk, hub.Handle(), path, portCount, port, info, own, tier);
    }
    return {true, result};
}

}  // namespace

int ScanHub(Device& device, WalkState& state, HubListRecord* list) {
    device.tracer.Trace("ScanHub()");
    state.entryCount = 0;
    std::memset(static_cast<void*>(list), 0, sizeof(HubListRecord) * devio::kHubListRecords);
    HubWalk walk{device, state, list, devio::kHubListRecords};
    std::uint32_t result = 0;
    for (const std::string& path : HubPaths(device)) {
        if (!IsRootHubForHubScan(path)) continue;
        result = WalkHubForList(walk, path, 0, nullptr, 1).error;
    }
    device.tracer.Trace("ScanHub_End()");
    return result == 0 ? 1 : 0;
}

int PollingHubPort(Device& device, WalkState& state, HubListRecord& record) {
    device.tracer.Trace("PollingHubPort()");
    HubListRecord fresh{};
    state.entryCount = 0;
    HubWalk walk{device, state, &fresh, 1};
    const HubResult result =
        WalkHubForList(walk, std::string(FieldText(record.parentHubPath)), record.parentPort, nullptr, 1);
    if (fresh.connectionStatus != record.connectionStatus || !result.readable) {
        record.connectionStatus = fresh.connectionStatus;
        record.changed = 1;
        fresh.changed = 1;
        if (!result.readable) {
            record.connectionStatus = 0;
            return 0;
        }
    }
    if (record.connectionStatus != 0) record = fresh;
    return 1;
}

}  // namespace corelink
