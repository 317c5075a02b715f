// The component's device list, whatever its records hold: the device table stays within its
// fields, counts no more than 32 entries and ends every path with a NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dockline/core/device_table_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto list = std::make_unique<dockline::DeviceList>();
    std::memcpy(list.get(), data, size < sizeof *list ? size : sizeof *list);
    auto table = std::make_unique<common::DeviceTable>();
    dockline::BuildDeviceTable(*list, *table);
    if (table->count > 32) std::abort();
    for (std::size_t i = 0; i < table->count; ++i) {
        const common::DeviceTableEntry& entry = table->entries[i];
        if (std::memchr(entry.devicePath, 0, sizeof entry.devicePath) == nullptr) std::abort();
        if (entry.driveLetterCount > 25) std::abort();
    }
    const std::uint32_t mask = size >= 4 ? static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24) : 0;
    dockline::IsKnownDriveMask(*table, mask);
    dockline::HasPolledDevice(*table);
    return 0;
}
