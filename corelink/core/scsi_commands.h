#pragma once
// The SCSI commands of the component: the standard ones every disk understands (CSTDCMDControl)
// and the vendor family of the bridge controller (CVCommCMDControl, CDB byte 0 = 0xEE). Each
// function sends exactly one pass-through request on a handle it is given (it never opens or
// closes one) and returns 1 when the request was delivered and the device answered GOOD, else 0.
//
// Common rules of every function:
// - the request block is built from zero for each command; data to the device is placed in its
//   data area, data from the device is copied to the caller only on success (a failed command
//   leaves the caller's buffer as it was);
// - a data-in reply that ends before the requested length (the header's returned
//   DataTransferLength is smaller) is a failure even with status GOOD, except INQUIRY, whose
//   standard data is as long as the device makes it (the bytes that did not come are zero);
// - more than 65536 data bytes, a READ/WRITE(10) byte count that is not a multiple of 512, or a
//   missing buffer for a non-zero length is refused: result 0 and no request is sent;
// - no retries; callers decide about them.
//
// Argument order: the device and the handle first; then the operation code (CDB byte 6) where the
// command has one; then, for the 0x65, 0x66, 0x80, 0x8B, 0x90, 0x51 and 0x95 spare commands, the
// value bytes followed by pathId/targetId, and for the 0x01, 0x02, 0x9F, 0x95 block and 0x50
// commands pathId/targetId followed by the value bytes; then address, length, the caller's buffer
// and any trailing CDB bytes. Value bytes are named after the CDB byte they land in.

#include <array>
#include <cstdint>

#include "common/core/device_stack.h"
#include "corelink/core/device_operations.h"

namespace corelink {

// A monotonic high-resolution counter read before and after a timed transfer. The Windows
// library passes the platform's performance counter, so the differences it reports are in that
// counter's units; tests pass a scripted counter. Without one the device's clock counts.
using TickSource = std::uint64_t (*)();

// A portable counter (steady clock, nanoseconds) for builds without the platform's counter.
std::uint64_t SteadyClockTicks();

// A command descriptor block of the vendor family and of the test commands.
using Cdb = std::array<std::uint8_t, 16>;

// The five words through which the test commands take a whole CDB:
//   byte 0 = w1 bits 0-7, byte 1 = w1 bits 8-15; bytes 2..5 = w2, big-endian;
//   byte 6 = w3 bits 0-7, bytes 7..8 = w3 bits 16-31, big-endian (w3 bits 8-15 are not used);
//   byte 9 = w4 bits 8-15, byte 10 = w4 bits 0-7, byte 11 = w4 bits 16-23, byte 12 = w4 bits 24-31;
//   bytes 13, 14, 15 = w5 bits 0-7, 8-15, 16-23 (w5 bits 24-31 are not used).
struct TestCommandWords {
    std::uint32_t w1 = 0;
    std::uint32_t w2 = 0;
    std::uint32_t w3 = 0;
    std::uint32_t w4 = 0;
    std::uint32_t w5 = 0;
};
Cdb PackTestCdb(const TestCommandWords& words);
// The words that PackTestCdb turns back into `cdb`.
TestCommandWords TestWordsFor(const Cdb& cdb);

class CSTDCMDControl {
public:
    // INQUIRY, 128 bytes into `data`.
    static int SendInquiry(Device& device, devio::DeviceHandle handle, std::uint8_t pathId, std::uint8_t targetId,
                           std::uint8_t* data);
    // TEST UNIT READY: 1 whenever the request was delivered; `*status` receives the SCSI status.
    static int SendTestUnitReady(Device& device, devio::DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                                 std::uint8_t targetId, std::uint8_t* status);
    // READ CAPACITY: the 8 reply bytes unchanged (last LBA, block length; big-endian). The command
    // always goes to PathId 0, TargetId 1; the two addressing arguments are not used.
    static int SendReadCapacity(Device& device, devio::DeviceHandle handle, std::uint8_t lun,
                                std::uint8_t unusedPathId, std::uint8_t unusedTargetId, std::uint8_t* data);
    // START STOP UNIT with `control` in CDB byte 4.
    static int SCSI_LoadUnload(Device& device, devio::DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                               std::uint8_t targetId, std::uint8_t control);
    // READ(10) / WRITE(10) of 512-byte blocks; `byteCount` a multiple of 512, at most 65536.
    static int SendRead10(Device& device, devio::DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                          std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount, std::uint8_t* data);
    static int SendWrite10(Device& device, devio::DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                           std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount,
                           const std::uint8_t* data);
    // As above; `*ticks` receives the low 32 bits of the counter difference across the request,
    // 0 when the command failed or was refused.
    static int SendRead10Timed(Device& device, devio::DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                               std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount, std::uint8_t* data,
                               std::uint32_t* ticks, TickSource now);
    static int SendWrite10Timed(Device& device, devio::DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                                std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount,
                                const std::uint8_t* data, std::uint32_t* ticks, TickSource now);
};

class CVCommCMDControl {
public:
    // Group 0x01, controller memories: 16-bit address in CDB bytes 4..5, length in 7..8.
    // The write always goes out as data-out, also without data.
    static int MemoryAccessRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                std::uint8_t targetId, std::uint16_t address, std::uint16_t length,
                                std::uint8_t* data);
    static int MemoryAccessWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                 std::uint8_t targetId, std::uint16_t address, std::uint16_t length,
                                 const std::uint8_t* data);

    // Group 0x02, LUN configuration: address in CDB bytes 2..5, length in 7..8.
    static int ConfigureLUNRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                std::uint8_t targetId, std::uint32_t address, std::uint16_t length,
                                std::uint8_t* data);
    static int ConfigureLUNWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                 std::uint8_t targetId, std::uint32_t address, std::uint16_t length,
                                 const std::uint8_t* data);

    // Group 0x65 (LUN settings) and 0x66 (security): cdb11 = value, length in 7..8.
    static int LUNCONFIGRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                             std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length, std::uint8_t* data);
    static int LUNCONFIGWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                              std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length,
                              const std::uint8_t* data);
    static int SecurityConfigRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                  std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length,
                                  std::uint8_t* data);
    static int SecurityConfigWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                   std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length,
                                   const std::uint8_t* data);

    // Group 0x6F: no data, 10-second time-out.
    static int CacheClear(Device& device, devio::DeviceHandle handle, std::uint8_t pathId, std::uint8_t targetId);

    // Group 0x80, the enclosure settings (button, EEPROM, firmware): address in 2..5, length in
    // 7..8, cdb11 = value, then CDB bytes 12 and 13.
    static int USDSettingRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                              std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                              std::uint16_t length, std::uint8_t* data, std::uint8_t cdb12, std::uint8_t cdb13);
    static int USDSettingWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                               std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                               std::uint16_t length, const std::uint8_t* data, std::uint8_t cdb12,
                               std::uint8_t cdb13);

    // Group 0x8B, power management: cdb11, cdb12, length in 7..8.
    static int USDPowerRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                            std::uint8_t cdb12, std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length,
                            std::uint8_t* data);
    static int USDPowerWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                             std::uint8_t cdb12, std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length,
                             const std::uint8_t* data);

    // Group 0x9F, in-system programming: the length is only in the header; CDB byte 8 is 8 for
    // code 0x81.
    static int ISPAccessWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                              std::uint8_t targetId, std::uint32_t address, std::uint32_t length,
                              const std::uint8_t* data);

    // Group 0x90, flash-drive settings: cdb11 = value; the length is only in the header, CDB
    // byte 8 carries a sector count for some codes (5 for 0x82; length / 512 for a 0x81 write).
    static int UFDSettingRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                              std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                              std::uint32_t length, std::uint8_t* data);
    static int UFDSettingWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                               std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                               std::uint32_t length, const std::uint8_t* data);

    // Group 0x95, spare areas: cdb9, cdb10, length in 7..8. The write always goes out as
    // data-out, also without data.
    static int SpareAccessRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb9,
                               std::uint8_t cdb10, std::uint8_t pathId, std::uint8_t targetId,
                               std::uint32_t address, std::uint16_t length, std::uint8_t* data);
    static int SpareAccessWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb9,
                                std::uint8_t cdb10, std::uint8_t pathId, std::uint8_t targetId,
                                std::uint32_t address, std::uint16_t length, const std::uint8_t* data);

    // Group 0x95, whole flash blocks: cdb7, CDB byte 8 = low byte of length / 512.
    // Read: cdb9 = flags, and bit 7 of flags also sets CDB byte 11 to 1.
    // Write: cdb9, CDB bytes 10..13 = cdb10to13 and 14..15 = cdb14to15, both little-endian.
    static int BlockAccessRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                               std::uint8_t targetId, std::uint8_t cdb7, std::uint8_t flags, std::uint32_t address,
                               std::uint32_t length, std::uint8_t* data);
    static int BlockAccessWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                std::uint8_t targetId, std::uint8_t cdb7, std::uint8_t cdb9,
                                std::uint32_t cdb10to13, std::uint16_t cdb14to15, std::uint32_t address,
                                std::uint32_t length, const std::uint8_t* data);
    // Group 0x95, block status: the length is only in the header.
    static int BlockStatusRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                               std::uint8_t targetId, std::uint32_t address, std::uint32_t length,
                               std::uint8_t* data);

    // Group 0x50, block marks: cdb8, cdb11, cdb12; the length is only in the header. The write is
    // sent as data-in with the caller's bytes placed in the data area.
    static int BlockMarkRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                             std::uint8_t targetId, std::uint8_t cdb8, std::uint8_t cdb11, std::uint8_t cdb12,
                             std::uint32_t address, std::uint32_t length, std::uint8_t* data);
    static int BlockMarkWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                              std::uint8_t targetId, std::uint8_t cdb8, std::uint8_t cdb11, std::uint8_t cdb12,
                              std::uint32_t address, std::uint32_t length, const std::uint8_t* data);

    // Group 0x51, bad-block maintenance: cdb9..cdb12, length in 7..8.
    static int BadBlockCommand(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb9,
                               std::uint8_t cdb10, std::uint8_t cdb11, std::uint8_t cdb12, std::uint8_t pathId,
                               std::uint8_t targetId, std::uint32_t address, std::uint16_t length,
                               std::uint8_t* data);

    // A whole CDB from five words (see TestCommandWords); the transfer length is w3 bits 16..31.
    static int TestCommandRead(Device& device, devio::DeviceHandle handle, std::uint8_t pathId,
                               std::uint8_t targetId, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                               std::uint32_t w4, std::uint32_t w5, std::uint8_t* data);
    static int TestCommandWrite(Device& device, devio::DeviceHandle handle, std::uint8_t pathId,
                                std::uint8_t targetId, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                                std::uint32_t w4, std::uint32_t w5, const std::uint8_t* data);
    // As TestCommandRead, but CDB bytes 7..8 are ATA registers: the transfer length is `length`.
    static int ATACommandRead(Device& device, devio::DeviceHandle handle, std::uint8_t pathId,
                              std::uint8_t targetId, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                              std::uint32_t w4, std::uint32_t w5, std::uint32_t length, std::uint8_t* data);
};

}  // namespace corelink
