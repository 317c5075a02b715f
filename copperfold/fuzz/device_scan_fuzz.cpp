// The device table built from a device list of any content: the records stay within their
// fields, and the table's letters are exactly those of its counted records; the letters of the
// drives that did not answer are drive letters.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "copperfold/core/device_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto list = std::make_unique<copperfold::DeviceList>();
    std::memcpy(list.get(), data, std::min(size, sizeof *list));
    auto table = std::make_unique<common::DeviceTable>();
    copperfold::BuildDeviceTable(*list, *table);
    if (table->count > common::kMaxDevices) std::abort();
    for (std::size_t i = 0; i < table->count; ++i) {
        const common::DeviceTableEntry& entry = table->entries[i];
        if (entry.devicePath[sizeof entry.devicePath - 1] != '\0') std::abort();
        if (entry.driveLetterCount > sizeof entry.driveLetters) std::abort();
        for (std::size_t k = 0; k < entry.driveLetterCount; ++k) {
            const char letter = entry.driveLetters[k];
            if (letter >= 'A' && letter <= 'Z' && !copperfold::IsDeviceLetter(*table, letter)) std::abort();
        }
    }
    (void)copperfold::DeviceLetterMask(*table);
    // The drives that did not answer are drive letters A to Z.
    if (copperfold::UnansweredDeviceLetters(*list) & ~0x03FFFFFFu) std::abort();
    return 0;
}
