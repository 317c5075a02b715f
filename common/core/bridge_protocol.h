#pragma once
// The numbers of the enclosure's command protocol, shared by the component that sends the
// commands and the simulated enclosure that answers them: SCSI operation codes, the groups of
// the maker's vendor command 0xEE (CDB byte 1) and the operation codes (CDB byte 6) of the
// storage-device settings and power groups.

#include <cstdint>

namespace devio::bridge {

// SCSI operation codes (CDB byte 0).
inline constexpr std::uint8_t kOpTestUnitReady = 0x00;
inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpStartStopUnit = 0x1B;
inline constexpr std::uint8_t kOpReadCapacity = 0x25;
inline constexpr std::uint8_t kOpRead10 = 0x28;
inline constexpr std::uint8_t kOpWrite10 = 0x2A;
inline constexpr std::uint8_t kOpAtaPassThrough12 = 0xA1;
inline constexpr std::uint8_t kOpVendor = 0xEE;

// Vendor command groups (CDB byte 1).
inline constexpr std::uint8_t kGroupMemory = 0x01;
inline constexpr std::uint8_t kGroupConfigureLun = 0x02;
inline constexpr std::uint8_t kGroupBlockMark = 0x50;
inline constexpr std::uint8_t kGroupBadBlock = 0x51;
inline constexpr std::uint8_t kGroupLunConfig = 0x65;
inline constexpr std::uint8_t kGroupSecurity = 0x66;
inline constexpr std::uint8_t kGroupCacheClear = 0x6F;
inline constexpr std::uint8_t kGroupUsdSetting = 0x80;
inline constexpr std::uint8_t kGroupUsdPower = 0x8B;
inline constexpr std::uint8_t kGroupUfdSetting = 0x90;
inline constexpr std::uint8_t kGroupFlash = 0x95;
inline constexpr std::uint8_t kGroupIsp = 0x9F;

// Storage-device settings (group kGroupUsdSetting, CDB byte 6).
inline constexpr std::uint8_t kCodeEeprom = 0x80;
inline constexpr std::uint8_t kCodeFirmware = 0x81;
inline constexpr std::uint8_t kCodeButtonRead = 0x87;
inline constexpr std::uint8_t kCodeButtonWrite = 0x88;

// Power management (group kGroupUsdPower, CDB byte 6).
inline constexpr std::uint8_t kPowerInfo = 0x01;
inline constexpr std::uint8_t kPowerSuspendOn = 0x02;
inline constexpr std::uint8_t kPowerSuspendOff = 0x03;
inline constexpr std::uint8_t kPowerTimer = 0x04;
inline constexpr std::uint8_t kPowerCapacityLed = 0x07;

// The button state byte: this bit is clear while the button is pressed; writing
// kButtonAcknowledge releases a press.
inline constexpr std::uint8_t kButtonReleasedBit = 0x02;
inline constexpr std::uint8_t kButtonAcknowledge = 2;

// ATA command of the ATA pass-through.
inline constexpr std::uint8_t kAtaIdentifyDevice = 0xEC;

}  // namespace devio::bridge
