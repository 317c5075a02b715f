#pragma once
// Pieces of the USB walk that its tests reach directly, and that the hub scan shares with it.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/device_list.h"
#include "common/core/usb_ioctl_layout.h"
#include "device_operations.h"

namespace corelink {

// A fixed text field's content up to its NUL (or its end).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

// Copies `text` into a fixed field, cut so that the NUL always fits; the rest is zeroed.
template <std::size_t N>
void SetField(char (&field)[N], std::string_view text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), length);
}

// The deepest tier a walk goes to: the port chain has room for five.
inline constexpr std::uint8_t kMaxTier = static_cast<std::uint8_t>(devio::kPortChainTiers);

// How the walk of one hub went: whether it could be read at all, and the last request error.
struct HubResult {
    bool readable = false;
    std::uint32_t error = 0;
};


// The name of the device on `port` of the hub `handle` (request `code`); false when it cannot be read.
bool ReadConnectionName(Device& device, devio::DeviceHandle handle, std::uint32_t code, std::uint32_t port,
                        std::string& name);
// The hub's port count; false when the request failed.
bool ReadNodeInformation(Device& device, devio::DeviceHandle handle, std::uint8_t& portCount);
// The connection information of a port; false (with `error`) when the request failed, in which
// case `info` holds whatever the buffer held.
bool ReadConnection(Device& device, devio::DeviceHandle handle, std::uint32_t port,
                    devio::UsbNodeConnectionInformationEx& info, std::uint32_t& error);
// The configuration descriptor of the device on `port` with everything after it.
bool ReadConfiguration(Device& device, devio::DeviceHandle handle, std::uint32_t port, std::vector<std::uint8_t>& data);
// Whether the first interface descriptor of a configuration is of the mass-storage class.
bool FirstInterfaceIsMassStorage(const std::vector<std::uint8_t>& data);
// The hub interfaces, with the root hub of every host controller that is not among them.
std::vector<std::string> HubPaths(Device& device);
// Whether the hub scan starts at the root hub `path`.
bool IsRootHubForHubScan(const std::string& path);

// Joins a port record with the storage view (`disks`: kDiskPathListRecords records): by the
// record's parent id prefix (lower-cased in the record), then by its serial number. On a match
// the record takes the disk's index and a copy of it; true then.
bool MatchPortRecord(Device& device, devio::DeviceListEntry& record, const devio::DiskPathEntry* disks);

}  // namespace corelink
