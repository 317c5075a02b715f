#include "device_table_builder.h"

#include <algorithm>
#include <string_view>

namespace dockline {

bool IsKnownDriveMask(const common::DeviceTable& table, std::uint32_t unitMask) {
    for (int bit = 0; bit < 26; ++bit) {
        if ((unitMask & (std::uint32_t{1} << bit)) == 0) continue;
        const char letter = static_cast<char>('A' + bit);
        for (std::size_t i = 0; i < common::UsedRecords(table); ++i) {
            if (common::DriveLetters(table.entries[i]).find(letter) != std::string_view::npos) return true;
        }
    }
    return false;
}

bool HasPolledDevice(const common::DeviceTable& table) {
    return std::any_of(table.entries, table.entries + common::UsedRecords(table),
                       [](const common::DeviceTableEntry& entry) { return entry.modelCode == kPolledModel; });
}

}  // namespace dockline
