#pragma once
// The bridge controller's service commands one by one, as the second interface offers them:
// memories, CPU reset, device identifier, LUN settings, the access password, EEPROM and
// firmware, partition area, button, in-system programming segments, flash identification and
// system areas, spare areas, flash blocks, block marks and the raw test command.
//
// Each operation traces its name (the write name when `read` is not 1), takes the handle in
// `slot` of `handles` and sends one vendor command with PathId and TargetId 0; the result is
// that command's (1 success, 0 failure). BlockAccess sends up to three. Without a handle array
// nothing is sent and the result is 0.
//
// The password operations only move the caller's 511-byte blocks: nothing here keeps, compares,
// logs or traces them.

#include <cstdint>

#include "corelink/core/device_operations.h"

namespace corelink {

inline constexpr std::uint16_t kPasswordBlockSize = 511;
inline constexpr std::uint16_t kDeviceIdLength = 16;
inline constexpr std::uint16_t kLunConfigLength = 48;
inline constexpr std::uint16_t kLunIdLength = 5;
inline constexpr std::uint16_t kHidLunIndexLength = 10;
inline constexpr std::uint16_t kFlashAreaLength = 64;  // flash identification and system areas
// The xdata byte whose bit 0 a block access tagged "CIS" clears for the length of the access.
inline constexpr std::uint16_t kCisModeAddress = 0x2360;

using Slot = std::uint8_t;

int ReadCode(Device& device, HandleArray handles, Slot slot, std::uint16_t address, std::uint16_t length,
             std::uint8_t* data);
int ReadData(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint16_t address,
             std::uint16_t length, std::uint8_t* data);
int ReadXdata(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint16_t address,
              std::uint16_t length, std::uint8_t* data);
int CPUReset(Device& device, HandleArray handles, Slot slot);
int ReadDeivceID(Device& device, HandleArray handles, Slot slot, std::uint8_t* data);
int ReadLUNCONFIG(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t* data);
int ReadLUNDATA(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint32_t address,
                std::uint16_t length, std::uint8_t* data);
int DeviceChange(Device& device, HandleArray handles, Slot slot);
int MediaChange(Device& device, HandleArray handles, Slot slot);
int WriteProtect(Device& device, HandleArray handles, Slot slot, std::uint8_t value);
int ReadLunType(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
                std::uint8_t* data);
int ReadLunNo(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
              std::uint8_t* data);
int ReadLunID(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
              std::uint8_t* data);
int LogLunIndex(Device& device, HandleArray handles, Slot slot, std::uint8_t* data);
int HidLunIndex(Device& device, HandleArray handles, Slot slot, std::uint8_t* data);
int GetFWKey(Device& device, HandleArray handles, Slot slot, std::uint8_t value, std::uint8_t* data);
int InitPassWord(Device& device, HandleArray handles, Slot slot, const std::uint8_t* data);
int GetPassWord(Device& device, HandleArray handles, Slot slot, std::uint8_t* data);
int VerifyPassWord(Device& device, HandleArray handles, Slot slot, const std::uint8_t* data);
int CheckSecurity(Device& device, HandleArray handles, Slot slot, std::uint8_t value, std::uint8_t* data);
int ClearCache(Device& device, HandleArray handles, Slot slot);
int ReadEEPROM(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb12,
               std::uint8_t cdb13, std::uint32_t address, std::uint16_t length, std::uint8_t* data);
int ReadFW(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb13,
           std::uint32_t address, std::uint16_t length, std::uint8_t* data);
int BIST(Device& device, HandleArray handles, Slot slot, std::uint8_t* data);
int DeviceConnect(Device& device, HandleArray handles, Slot slot, std::uint8_t value);
int Erase(Device& device, HandleArray handles, Slot slot);
int ReadPartition(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint32_t address,
                  std::uint16_t length, std::uint8_t* data);
int ReadButton(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
               std::uint8_t* data);
int EndSgmt(Device& device, HandleArray handles, Slot slot);
// The segment address is a2 a3 a4 in CDB bytes 3..5 (byte 2 is 0).
int InitSgmt(Device& device, HandleArray handles, Slot slot, std::uint8_t a2, std::uint8_t a3, std::uint8_t a4,
             std::uint16_t length, const std::uint8_t* data);
int ReadFlashID(Device& device, HandleArray handles, Slot slot, std::uint8_t value, std::uint8_t* data);
int ReadSYSReady(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
                 std::uint8_t* data);
int ReadSYSAddress(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t* data);
int ReadFlashMethod(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t* data);
int ReadSpare(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb9,
              std::uint8_t cdb10, std::uint32_t address, std::uint16_t length, std::uint8_t* data);
// A whole flash block. With the tag "CIS" (its three low bytes 'C', 'I', 'S' from the lowest up)
// the controller's xdata byte kCisModeAddress is read, sent back with bit 0 clear before the
// access and restored after it, and bit 7 of `flags` is set. Traces nothing itself.
int BlockAccess(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb7,
                std::uint8_t flags, std::uint32_t tag, std::uint16_t word14, std::uint32_t address,
                std::uint32_t length, std::uint8_t* data);
int ReadBlockStatus(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t* data);
int ReadSts(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t* data);
int MarkBad(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t cdb8,
            std::uint8_t cdb11, std::uint8_t cdb12);
int CheckBad(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t cdb9,
             std::uint8_t cdb10, std::uint8_t cdb11, std::uint8_t cdb12, std::uint16_t length, std::uint8_t* data);
int EraseSys(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t cdb9,
             std::uint8_t cdb10, std::uint8_t cdb11, std::uint8_t cdb12, std::uint16_t length, std::uint8_t* data);
int ReadTestCmd(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint32_t w1,
                std::uint32_t w2, std::uint32_t w3, std::uint32_t w4, std::uint32_t w5, std::uint8_t* data);

}  // namespace corelink
