#pragma once
// The device operations of the component that reach an enclosure through its disk handle:
// open and close by device path or drive letter, INQUIRY, and the storage-device operations of
// the bridge controller (button, EEPROM, firmware, power, LED, ATA IDENTIFY, SPI). The COM
// objects call these; they hold no state beyond what is passed in.
//
// `handles` is the caller's array of disk handles (slots 0..255); open operations store into
// it, the others read the element at `slot`. Results: 1 success, 0 failure.

#include <cstdint>

#include "common/core/device_stack.h"

namespace corelink {

// Where the component's trace texts go (the debugger output in the library).
class Tracer {
public:
    virtual ~Tracer() = default;
    virtual void Trace(const char* text) = 0;
};

struct Device {
    devio::DeviceStack& stack;
    Tracer& tracer;
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

}  // namespace corelink
