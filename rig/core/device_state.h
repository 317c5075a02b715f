#pragma once
// What an emulated bridge controller remembers between commands: the button, readiness, power
// settings, the EEPROM, the firmware area, the 8051-style memories and the LUN and security
// areas. The state file holds one serialized record per enclosure (rig/README.md).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fault_rules.h"
#include "rig_config.h"

namespace rig {

inline constexpr std::size_t kEepromSize = 256;
inline constexpr std::size_t kFirmwareSize = 24576;
inline constexpr std::size_t kFirmwarePieceLimit = 4096;
inline constexpr std::size_t kMemorySize = 65536;  // each of code, data and xdata
inline constexpr std::size_t kLunDataSize = 65536;
inline constexpr std::size_t kLunConfigSize = 48;
inline constexpr std::size_t kPasswordSize = 511;
inline constexpr std::size_t kDeviceIdSize = 16;
inline constexpr std::size_t kLunIdSize = 5;
inline constexpr std::size_t kHidLunIndexSize = 10;
inline constexpr std::size_t kPmInfoSize = 4;
inline constexpr std::size_t kPartitionAreaSize = 4096;
inline constexpr std::size_t kFlashAreaSize = 64;  // flash identification, system address, flash method

// EEPROM bytes the power operations use.
inline constexpr std::size_t kEepromSuspendByte = 249;
inline constexpr std::size_t kEepromTimerByte = 250;  // two bytes, big-endian

// What a safe-removal request of the enclosure's USB device gets.
enum class EjectAnswer : std::uint8_t { Accept = 0, Veto = 1, Fail = 2 };
inline constexpr std::uint8_t kEjectAnswerCount = 3;

// Bits of the security status byte.
inline constexpr std::uint8_t kSecurityPasswordSet = 0x01;
inline constexpr std::uint8_t kSecurityVerified = 0x02;

struct DeviceState {
    DeviceState();

    bool buttonPressed = false;
    bool notReady = false;
    bool stopped = false;  // START STOP UNIT with the start bit clear
    bool suspend = false;  // power codes 0x02 / 0x03
    bool writeProtect = false;
    std::uint8_t lastButtonWrite = 0;
    std::uint8_t led = 0;
    std::uint8_t timerValue1 = 0;  // power code 0x04: CDB bytes 11 and 12
    std::uint8_t timerValue2 = 0;
    std::uint8_t lunType = 0;
    std::uint8_t lunNo = 0;
    std::uint8_t logLunIndex = 0;
    std::uint8_t fwKey = 0;
    std::uint8_t securityStatus = 0;
    std::array<std::uint8_t, kPmInfoSize> pmInfo{};
    std::array<std::uint8_t, kLunIdSize> lunId{};
    std::array<std::uint8_t, kHidLunIndexSize> hidLunIndex{};
    std::array<std::uint8_t, kDeviceIdSize> deviceId{};
    std::array<std::uint8_t, kLunConfigSize> lunConfig{};
    std::array<std::uint8_t, kEepromSize> eeprom{};
    std::array<std::uint8_t, kPasswordSize> password{};
    std::vector<std::uint8_t> firmware;     // kFirmwareSize
    std::vector<std::uint8_t> lunData;      // kLunDataSize
    std::vector<std::uint8_t> codeMemory;   // kMemorySize
    std::vector<std::uint8_t> dataMemory;   // kMemorySize
    std::vector<std::uint8_t> xdataMemory;  // kMemorySize
    FaultRules faults{};                    // commands answered with a failure (fault_rules.h)
    // Since state file version 3:
    std::uint8_t bist = 0;           // the self-test result
    std::uint8_t connect = 0;        // the last device-connect value
    std::uint8_t sysReady = 0;       // the flash system's ready byte
    EjectAnswer eject = EjectAnswer::Accept;
    std::array<std::uint8_t, kFlashAreaSize> flashId{};
    std::array<std::uint8_t, kFlashAreaSize> sysAddress{};
    std::array<std::uint8_t, kFlashAreaSize> flashMethod{};
    std::vector<std::uint8_t> partition;  // kPartitionAreaSize

    bool operator==(const DeviceState&) const = default;
};

// The state of a freshly plugged enclosure, as rig/README.md describes it.
DeviceState DefaultState(const EnclosureConfig& config, std::size_t index);

// The sum of the 128 big-endian words of an EEPROM image, modulo 65536.
std::uint16_t EepromWordSum(std::span<const std::uint8_t, kEepromSize> eeprom);
// Sets bytes 0..1 so that the word sum is 0.
void SealEepromChecksum(std::span<std::uint8_t, kEepromSize> eeprom);

// The fixed-size record of one enclosure in the state file.
std::size_t StateRecordSize();
// The bytes that state file version 3 appended to each record (the fields after the rules).
std::size_t StateVersion3Bytes();
void SerializeState(const DeviceState& state, std::vector<std::uint8_t>& out);
// False when the record is not StateRecordSize() bytes, a flag byte is not 0 or 1 or a fault rule
// is malformed.
bool DeserializeState(std::span<const std::uint8_t> record, DeviceState& state);

}  // namespace rig
