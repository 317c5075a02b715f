#pragma once
// The device operations of the component that reach an enclosure through its disk handle:
// open and close by device path or drive letter, INQUIRY, and the storage-device operations of
// the bridge controller (button, EEPROM, firmware, power, LED, ATA IDENTIFY, SPI). The COM
// objects call these; they hold no state beyond what is passed in.
//
// `handles` is the caller's array of disk handles (slots 0..255); open operations store into
// it, the others read the element at `slot`. Results: 1 success, 0 failure. Without an array
// (null) every operation answers 0 and neither opens nor sends anything; closing a slot leaves
// the invalid handle value in it.
//
// The suspend and timer settings read the power information, the firmware area and the EEPROM,
// change the EEPROM image and write both back around a power command. When a read fails, or the
// power command is refused, nothing more is sent and the result is 0: the device's data is never
// overwritten with what it did not hand over.

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/core/device_stack.h"
#include "corelink/core/clock.h"

namespace corelink {

// Where the component's trace texts go (the debugger output in the library).
class Tracer {
public:
    virtual ~Tracer() = default;
    virtual void Trace(const char* text) = 0;
};

// The process's standard output, where the registry clean-up prints its progress texts.
Tracer& StandardOutput() noexcept;

struct Device {
    devio::DeviceStack& stack;
    Tracer& tracer;
    Clock& clock = SystemClock();  // timed transfers and the pauses between retries
    Tracer& console = StandardOutput();  // printed texts (the registry clean-up)
};

using HandleArray = devio::DeviceHandle*;

int OpenDiskPathBySymbolicName(Device& device, HandleArray handles, std::uint8_t slot, const char* devicePath);
int OpenDiskPath(Device& device, HandleArray handles, int letterIndex);
int CloseDiskPath(Device& device, HandleArray handles, std::uint8_t slot);
int ReadInquery(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t* data);

int ReadButton_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t read, std::uint8_t value,
                   std::uint8_t* data);
int ReadEEPROM_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t read, std::uint8_t extra12,
                   std::uint8_t extra13, std::uint32_t address, std::uint16_t length, std::uint8_t* data);
int ReadFW_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t read, std::uint8_t extra13,
               std::uint32_t address, std::uint16_t length, std::uint8_t* data);
int GetPMInfo_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint16_t length, std::uint8_t* data);
int EnableSuspned_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t enable);
int SetTimer_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint16_t timer);
int SetHDCapLED_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t value);
int ATAIdentify_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint16_t length, std::uint8_t* data);
int ReadSPI_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t mode, std::uint32_t word12,
                std::uint32_t address, std::uint8_t byte10, std::uint16_t word9, std::uint16_t length,
                std::uint8_t* data);

// The enclosure's 256-byte configuration EEPROM: bytes 0..1 hold a big-endian checksum that makes
// the 128 big-endian 16-bit words of the whole image add up to 0 modulo 65536.
inline constexpr std::size_t kEepromSize = 256;
inline constexpr std::size_t kEepromSuspendSwitch = 249;  // 1 on, 0 off
inline constexpr std::size_t kEepromTimer = 250;          // 16-bit, big-endian
// The checksum for `image` (its bytes 0..1 are not counted).
std::uint16_t EepromChecksum(std::span<const std::uint8_t, kEepromSize> image);
// Stores EepromChecksum(image) in bytes 0..1.
void SealEeprom(std::span<std::uint8_t, kEepromSize> image);

}  // namespace corelink
