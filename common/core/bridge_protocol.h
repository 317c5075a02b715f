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

// Service commands of the controller (CDB byte 6 within the group named first).
// Memories (kGroupMemory): code, data and xdata.
inline constexpr std::uint8_t kCodeCodeRead = 0x01;
inline constexpr std::uint8_t kCodeDataRead = 0x02;
inline constexpr std::uint8_t kCodeDataWrite = 0x03;
inline constexpr std::uint8_t kCodeXdataRead = 0x04;
inline constexpr std::uint8_t kCodeXdataWrite = 0x05;
// LUN configuration (kGroupConfigureLun).
inline constexpr std::uint8_t kCodeCpuReset = 0x01;
inline constexpr std::uint8_t kCodeDeviceId = 0x12;
inline constexpr std::uint8_t kCodeLunDataRead = 0x28;
inline constexpr std::uint8_t kCodeLunDataWrite = 0x2A;
inline constexpr std::uint8_t kCodeLunConfigRead = 0x88;
inline constexpr std::uint8_t kCodeLunConfigWrite = 0x8A;
// LUN settings (kGroupLunConfig).
inline constexpr std::uint8_t kCodeDeviceChange = 0x82;
inline constexpr std::uint8_t kCodeMediaChange = 0x83;
inline constexpr std::uint8_t kCodeWriteProtect = 0x84;
inline constexpr std::uint8_t kCodeLunTypeRead = 0x85;
inline constexpr std::uint8_t kCodeLunTypeWrite = 0x86;
inline constexpr std::uint8_t kCodeLunNoRead = 0x87;
inline constexpr std::uint8_t kCodeLunNoWrite = 0x88;
inline constexpr std::uint8_t kCodeLunIdRead = 0x89;
inline constexpr std::uint8_t kCodeLunIdWrite = 0x8A;
inline constexpr std::uint8_t kCodeLogLunIndex = 0x8C;
inline constexpr std::uint8_t kCodeHidLunIndex = 0x8D;
// Security (kGroupSecurity).
inline constexpr std::uint8_t kCodeFirmwareKey = 0x80;
inline constexpr std::uint8_t kCodePasswordInit = 0x85;
inline constexpr std::uint8_t kCodePasswordRead = 0x86;
inline constexpr std::uint8_t kCodePasswordVerify = 0x87;
inline constexpr std::uint8_t kCodeSecurityCheck = 0x88;
// More storage-device settings (kGroupUsdSetting).
inline constexpr std::uint8_t kCodeBist = 0x82;
inline constexpr std::uint8_t kCodeDeviceConnect = 0x83;
inline constexpr std::uint8_t kCodeErase = 0x84;
inline constexpr std::uint8_t kCodePartitionRead = 0x85;
inline constexpr std::uint8_t kCodePartitionWrite = 0x86;
// In-system programming segments (kGroupIsp).
inline constexpr std::uint8_t kCodeEndSegment = 0x80;
inline constexpr std::uint8_t kCodeInitSegment = 0x81;
// Flash identification and system areas (kGroupUfdSetting).
inline constexpr std::uint8_t kCodeFlashId = 0x82;
inline constexpr std::uint8_t kCodeSysReadyRead = 0x85;
inline constexpr std::uint8_t kCodeSysReadyWrite = 0x86;
inline constexpr std::uint8_t kCodeSysAddressRead = 0x8C;
inline constexpr std::uint8_t kCodeSysAddressWrite = 0x8D;
inline constexpr std::uint8_t kCodeFlashMethodRead = 0x8E;
inline constexpr std::uint8_t kCodeFlashMethodWrite = 0x8F;
// Spare areas and flash blocks (kGroupFlash).
inline constexpr std::uint8_t kCodeSpareRead = 0x88;
inline constexpr std::uint8_t kCodeBlockRead = 0x89;
inline constexpr std::uint8_t kCodeSpareWrite = 0x8A;
inline constexpr std::uint8_t kCodeBlockWrite = 0x8B;
inline constexpr std::uint8_t kCodeBlockStatus = 0x8E;
// Block marks (kGroupBlockMark) and bad-block maintenance (kGroupBadBlock).
inline constexpr std::uint8_t kCodeBlockMarkRead = 0x70;
inline constexpr std::uint8_t kCodeMarkBad = 0x80;
inline constexpr std::uint8_t kCodeCheckBad = 0x00;
inline constexpr std::uint8_t kCodeEraseSystem = 0x01;

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
