// The vendor command family 0xEE: CDB byte 1 selects the group, byte 6 the operation code,
// bytes 2..5 carry the address and 7..8 the length (which must equal the transfer length).
#include <algorithm>
#include <span>

#include "common/core/bridge_protocol.h"
#include "command_context.h"

namespace rig {

using namespace devio::bridge;
namespace {

constexpr std::uint8_t kButtonReleased = 0xFF;
constexpr std::uint8_t kCodeUfdProgram = 0x81;  // group 0x90: the in-system programming image
constexpr std::uint8_t kButtonPressed = kButtonReleased & ~kButtonReleasedBit;

struct VendorCdb {
    std::uint8_t group;
    std::uint8_t code;
    std::uint32_t address;
    std::uint32_t length;
    std::uint8_t value;  // CDB byte 11
    std::uint8_t value2;  // CDB byte 12
};

VendorCdb Fields(const PassThroughCommand& command) {
    const auto& cdb = command.cdb;
    return {cdb[1], cdb[6], devio::GetBigEndian32(&cdb[2]), devio::GetBigEndian16(&cdb[7]), cdb[11], cdb[12]};
}

bool LengthMatches(const VendorCdb& v, const PassThroughCommand& command) {
    return v.length == command.transferLength;
}

// A read of `area` at `address`, at most `pieceLimit` bytes at once.
PassThroughAnswer AreaRead(const CommandContext& c, const VendorCdb& v, std::span<const std::uint8_t> area,
                           std::size_t pieceLimit = devio::kMaxTransferLength) {
    if (!ReadsData(c.command) || !LengthMatches(v, c.command) || v.length > pieceLimit) {
        return CheckCondition(kInvalidFieldInCdb);
    }
    if (std::uint64_t{v.address} + v.length > area.size()) return CheckCondition(kLbaOutOfRange);
    return GoodWithData(c.command, area.subspan(v.address, v.length));
}

PassThroughAnswer AreaWrite(const CommandContext& c, const VendorCdb& v, std::span<std::uint8_t> area,
                            std::size_t pieceLimit = devio::kMaxTransferLength) {
    if (!WritesData(c.command) || !LengthMatches(v, c.command) || v.length > pieceLimit) {
        return CheckCondition(kInvalidFieldInCdb);
    }
    if (std::uint64_t{v.address} + v.length > area.size()) return CheckCondition(kLbaOutOfRange);
    std::copy(c.command.dataOut.begin(), c.command.dataOut.end(), area.begin() + v.address);
    return Good();
}

// A read-or-write of `area` by the request's direction.
PassThroughAnswer AreaAccess(const CommandContext& c, const VendorCdb& v, std::span<std::uint8_t> area,
                             std::size_t pieceLimit = devio::kMaxTransferLength) {
    return c.command.direction == devio::kDataIn ? AreaRead(c, v, area, pieceLimit) : AreaWrite(c, v, area, pieceLimit);
}

// A setting carried in the CDB alone.
template <typename Apply>
PassThroughAnswer Setting(const CommandContext& c, const VendorCdb& v, Apply apply) {
    if (!MovesNoData(c.command) || v.length != 0) return CheckCondition(kInvalidFieldInCdb);
    apply();
    return Good();
}

std::span<const std::uint8_t> Byte(const std::uint8_t& value) { return {&value, 1}; }

PassThroughAnswer UsdSetting(CommandContext& c, const VendorCdb& v) {
    DeviceState& s = c.state;
    switch (v.code) {
        case kCodeButtonRead: {  // one byte
            if (v.length != 1 || v.address != 0) return CheckCondition(kInvalidFieldInCdb);
            const std::uint8_t button = s.buttonPressed ? kButtonPressed : kButtonReleased;
            return AreaRead(c, v, Byte(button));
        }
        case kCodeButtonWrite: {  // one data byte, or the value byte when nothing is sent
            if (v.length > 1 || !LengthMatches(v, c.command) || !WritesData(c.command)) {
                return CheckCondition(kInvalidFieldInCdb);
            }
            const std::uint8_t written = v.length == 1 ? c.command.dataOut[0] : v.value;
            s.lastButtonWrite = written;
            if (written == kButtonAcknowledge) s.buttonPressed = false;
            return Good();
        }
        case kCodeEeprom: return AreaAccess(c, v, s.eeprom);
        case kCodeFirmware: return AreaAccess(c, v, s.firmware, kFirmwarePieceLimit);
        case kCodeBist:
            if (v.address != 0) return CheckCondition(kInvalidFieldInCdb);
            return AreaRead(c, v, Byte(s.bist));
        case kCodeDeviceConnect: return Setting(c, v, [&] { s.connect = v.value; });
        case kCodeErase: return Setting(c, v, [&] { std::fill(s.partition.begin(), s.partition.end(), 0); });
        case kCodePartitionRead: return AreaRead(c, v, s.partition);
        case kCodePartitionWrite: return AreaWrite(c, v, s.partition);
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

// Group 0x90, the flash system's identification and areas: the length is only in the request
// header; CDB byte 7 is 0 and byte 8 is 5 for the identification read, else 0. Addresses are 0.
PassThroughAnswer UfdSetting(CommandContext& c, VendorCdb v) {
    constexpr std::uint8_t kIdSectors = 5;
    if (v.code == kCodeUfdProgram) {
        // In-system programming: the image goes into the firmware area at the address, CDB byte 8
        // counting its 512-byte sectors.
        v.length = c.command.transferLength;
        if (c.Cdb(7) != 0 || c.Cdb(8) != (v.length / 512) % 256 || v.length % 512 != 0) {
            return CheckCondition(kInvalidFieldInCdb);
        }
        return AreaWrite(c, v, c.state.firmware, kFirmwarePieceLimit);
    }
    const std::uint8_t sectors = v.code == kCodeFlashId ? kIdSectors : 0;
    if (c.Cdb(7) != 0 || c.Cdb(8) != sectors || v.address != 0) return CheckCondition(kInvalidFieldInCdb);
    v.length = c.command.transferLength;
    DeviceState& s = c.state;
    switch (v.code) {
        case kCodeFlashId: return AreaRead(c, v, s.flashId);
        case kCodeSysReadyRead: return AreaRead(c, v, Byte(s.sysReady));
        case kCodeSysReadyWrite: return Setting(c, v, [&] { s.sysReady = v.value; });
        case kCodeSysAddressRead: return AreaRead(c, v, s.sysAddress);
        case kCodeSysAddressWrite: return AreaWrite(c, v, s.sysAddress);
        case kCodeFlashMethodRead: return AreaRead(c, v, s.flashMethod);
        case kCodeFlashMethodWrite: return AreaWrite(c, v, s.flashMethod);
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

PassThroughAnswer UsdPower(CommandContext& c, const VendorCdb& v) {
    DeviceState& s = c.state;
    switch (v.code) {
        case kPowerInfo: return AreaRead(c, v, s.pmInfo);
        case kPowerSuspendOn: return Setting(c, v, [&] { s.suspend = true; });
        case kPowerSuspendOff: return Setting(c, v, [&] { s.suspend = false; });
        case kPowerTimer: return Setting(c, v, [&] {
            s.timerValue1 = v.value;
            s.timerValue2 = v.value2;
        });
        case kPowerCapacityLed: return Setting(c, v, [&] { s.led = v.value; });
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

// 8051-style memories: a 16-bit address in CDB bytes 4..5.
PassThroughAnswer MemoryAccess(CommandContext& c, VendorCdb v) {
    if ((v.address >> 16) != 0) return CheckCondition(kInvalidFieldInCdb);
    DeviceState& s = c.state;
    switch (v.code) {
        case 0x01: return AreaRead(c, v, s.codeMemory);
        case 0x02: return AreaRead(c, v, s.dataMemory);
        case 0x03: return AreaWrite(c, v, s.dataMemory);
        case 0x04: return AreaRead(c, v, s.xdataMemory);
        case 0x05: return AreaWrite(c, v, s.xdataMemory);
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

PassThroughAnswer ConfigureLun(CommandContext& c, const VendorCdb& v) {
    DeviceState& s = c.state;
    switch (v.code) {
        case 0x01: return Setting(c, v, [&] { s.securityStatus &= static_cast<std::uint8_t>(~kSecurityVerified); });
        case 0x02: return Setting(c, v, [] {});  // chip reset: accepted
        case 0x12: return AreaRead(c, v, s.deviceId);
        case 0x88: return AreaRead(c, v, s.lunConfig);
        case 0x8A: return AreaWrite(c, v, s.lunConfig);
        case 0x28: return AreaRead(c, v, s.lunData);
        case 0x2A: return AreaWrite(c, v, s.lunData);
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

// Group 0x65 takes no address: reads start at the beginning of their item.
PassThroughAnswer LunConfig(CommandContext& c, VendorCdb v) {
    v.address = 0;
    DeviceState& s = c.state;
    switch (v.code) {
        case 0x82:  // device change
        case 0x83:  // media change
            return Setting(c, v, [] {});
        case 0x84: return Setting(c, v, [&] { s.writeProtect = v.value != 0; });
        case 0x85: return AreaRead(c, v, Byte(s.lunType));
        case 0x86: return Setting(c, v, [&] { s.lunType = v.value; });
        case 0x87: return AreaRead(c, v, Byte(s.lunNo));
        case 0x88: return Setting(c, v, [&] { s.lunNo = v.value; });
        case 0x89: return AreaRead(c, v, s.lunId);
        case 0x8A: return Setting(c, v, [&] { s.lunId[0] = v.value; });
        case 0x8C: return AreaRead(c, v, Byte(s.logLunIndex));
        case 0x8D: return AreaRead(c, v, s.hidLunIndex);
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

PassThroughAnswer Security(CommandContext& c, VendorCdb v) {
    v.address = 0;
    DeviceState& s = c.state;
    switch (v.code) {
        case 0x80: return AreaRead(c, v, Byte(s.fwKey));
        case 0x85: {  // set the password; all zeros clears it
            if (v.length != kPasswordSize) return CheckCondition(kInvalidFieldInCdb);
            PassThroughAnswer answer = AreaWrite(c, v, s.password);
            if (answer.status == devio::kScsiStatusGood) {
                const bool cleared = std::all_of(s.password.begin(), s.password.end(), [](auto b) { return b == 0; });
                s.securityStatus = cleared ? 0 : static_cast<std::uint8_t>(kSecurityPasswordSet | kSecurityVerified);
            }
            return answer;
        }
        case 0x86: return AreaRead(c, v, s.password);
        case 0x87: {  // verify the password
            if (v.length != kPasswordSize || !LengthMatches(v, c.command) || !WritesData(c.command)) {
                return CheckCondition(kInvalidFieldInCdb);
            }
            if (!std::equal(s.password.begin(), s.password.end(), c.command.dataOut.begin())) {
                s.securityStatus &= static_cast<std::uint8_t>(~kSecurityVerified);
                return CheckCondition(kInvalidParameter);
            }
            s.securityStatus |= kSecurityVerified;
            return Good();
        }
        case 0x88: return AreaRead(c, v, Byte(s.securityStatus));
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

}  // namespace

PassThroughAnswer ExecuteVendorCommand(CommandContext& context) {
    const VendorCdb v = Fields(context.command);
    switch (v.group) {
        case kGroupMemory: return MemoryAccess(context, v);
        case kGroupConfigureLun: return ConfigureLun(context, v);
        case kGroupLunConfig: return LunConfig(context, v);
        case kGroupSecurity: return Security(context, v);
        case kGroupCacheClear: return Setting(context, v, [] {});
        case kGroupUsdSetting: return UsdSetting(context, v);
        case kGroupUsdPower: return UsdPower(context, v);
        case kGroupUfdSetting: return UfdSetting(context, v);
        case kGroupFlash:
        case kGroupBlockMark:
        case kGroupBadBlock:
            // The NAND of a flash-controller enclosure; other enclosures have none.
            return ExecuteNandCommand(context);
        default:
            // In-system programming segments (0x9F) are not emulated.
            return CheckCondition(kInvalidFieldInCdb);
    }
}

}  // namespace rig
