#include "corelink/core/controller_operations.h"

#include "common/core/bridge_protocol.h"
#include "corelink/core/scsi_commands.h"
#include "corelink/core/setting_commands.h"

namespace corelink {

using namespace devio::bridge;
namespace {

using devio::DeviceHandle;
using Vendor = CVCommCMDControl;

constexpr std::uint8_t kReadSelector = 1;
constexpr std::uint8_t kMediaChangeValue = 0x10;
constexpr std::uint8_t kCisFlag = 0x80;     // bit 7 of a block access's flags
constexpr std::uint8_t kCisModeBit = 0x01;  // the xdata mode bit cleared during the access
constexpr std::uint32_t kTagMask = 0x00FFFFFF;
constexpr std::uint8_t kStatusMarkCdb11 = 0x70;  // the block status read's CDB byte 11
constexpr std::uint32_t kCisTag = 'C' | ('I' << 8) | ('S' << 16);

// Traces `trace` and runs `command` on the handle in `slot`; without a handle array nothing is
// sent and the result is 0.
template <typename Command>
int Traced(Device& device, HandleArray handles, Slot slot, const char* trace, Command command) {
    device.tracer.Trace(trace);
    return handles != nullptr ? command(handles[slot]) : 0;
}

// The same with the read or write name by the selector.
template <typename Command>
int TracedBySelector(Device& device, HandleArray handles, Slot slot, std::uint8_t read, const char* readTrace,
                     const char* writeTrace, Command command) {
    const bool reads = read == kReadSelector;
    return Traced(device, handles, slot, reads ? readTrace : writeTrace,
                  [&](DeviceHandle handle) { return command(handle, reads); });
}

int Memory(Device& device, DeviceHandle handle, bool reads, std::uint8_t readCode, std::uint8_t writeCode,
           std::uint16_t address, std::uint16_t length, std::uint8_t* data) {
    return reads ? Vendor::MemoryAccessRead(device, handle, readCode, 0, 0, address, length, data)
                 : Vendor::MemoryAccessWrite(device, handle, writeCode, 0, 0, address, length, data);
}

int LunSettingRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint16_t length, std::uint8_t* data) {
    return Vendor::LUNCONFIGRead(device, handle, code, 0, 0, 0, length, data);
}

int LunSettingWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11) {
    return Vendor::LUNCONFIGWrite(device, handle, code, cdb11, 0, 0, 0, nullptr);
}

// A LUN setting that reads `length` bytes or writes `value` in CDB byte 11.
int LunSetting(Device& device, DeviceHandle handle, bool reads, std::uint8_t readCode, std::uint8_t writeCode,
               std::uint8_t value, std::uint16_t length, std::uint8_t* data) {
    return reads ? LunSettingRead(device, handle, readCode, length, data)
                 : LunSettingWrite(device, handle, writeCode, value);
}

// A 64-byte flash area of group 0x90 at address 0.
int FlashArea(Device& device, DeviceHandle handle, bool reads, std::uint8_t readCode, std::uint8_t writeCode,
              std::uint8_t* data) {
    return reads ? Vendor::UFDSettingRead(device, handle, readCode, 0, 0, 0, 0, kFlashAreaLength, data)
                 : Vendor::UFDSettingWrite(device, handle, writeCode, 0, 0, 0, 0, kFlashAreaLength, data);
}

int BadBlock(Device& device, HandleArray handles, Slot slot, const char* trace, std::uint8_t code,
             std::uint32_t address, std::uint8_t cdb9, std::uint8_t cdb10, std::uint8_t cdb11, std::uint8_t cdb12,
             std::uint16_t length, std::uint8_t* data) {
    return Traced(device, handles, slot, trace, [&](DeviceHandle handle) {
        return Vendor::BadBlockCommand(device, handle, code, cdb9, cdb10, cdb11, cdb12, 0, 0, address, length, data);
    });
}

}  // namespace

int ReadCode(Device& device, HandleArray handles, Slot slot, std::uint16_t address, std::uint16_t length,
             std::uint8_t* data) {
    return Traced(device, handles, slot, "ReadCode()", [&](DeviceHandle handle) {
        return Vendor::MemoryAccessRead(device, handle, kCodeCodeRead, 0, 0, address, length, data);
    });
}

int ReadData(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint16_t address,
             std::uint16_t length, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadData()", "WriteData()", [&](DeviceHandle h, bool r) {
        return Memory(device, h, r, kCodeDataRead, kCodeDataWrite, address, length, data);
    });
}

int ReadXdata(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint16_t address,
              std::uint16_t length, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadXdata()", "WriteXdata()", [&](DeviceHandle h, bool r) {
        return Memory(device, h, r, kCodeXdataRead, kCodeXdataWrite, address, length, data);
    });
}

int CPUReset(Device& device, HandleArray handles, Slot slot) {
    return Traced(device, handles, slot, "CPUReset()", [&](DeviceHandle handle) {
        return Vendor::ConfigureLUNWrite(device, handle, kCodeCpuReset, 0, 0, 0, 0, nullptr);
    });
}

int ReadDeivceID(Device& device, HandleArray handles, Slot slot, std::uint8_t* data) {
    return Traced(device, handles, slot, "ReadDeivceID()", [&](DeviceHandle handle) {
        return Vendor::ConfigureLUNRead(device, handle, kCodeDeviceId, 0, 0, 0, kDeviceIdLength, data);
    });
}

int ReadLUNCONFIG(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t* data) {
    return TracedBySelector(
        device, handles, slot, read, "ReadLUNCONFIG()", "WriteLUNCONFIG()", [&](DeviceHandle h, bool r) {
            return r ? Vendor::ConfigureLUNRead(device, h, kCodeLunConfigRead, 0, 0, 0, kLunConfigLength, data)
                     : Vendor::ConfigureLUNWrite(device, h, kCodeLunConfigWrite, 0, 0, 0, kLunConfigLength, data);
        });
}

int ReadLUNDATA(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint32_t address,
                std::uint16_t length, std::uint8_t* data) {
    return TracedBySelector(
        device, handles, slot, read, "ReadLUNDATA()", "WriteLUNDATA()", [&](DeviceHandle h, bool r) {
            return r ? Vendor::ConfigureLUNRead(device, h, kCodeLunDataRead, 0, 0, address, length, data)
                     : Vendor::ConfigureLUNWrite(device, h, kCodeLunDataWrite, 0, 0, address, length, data);
        });
}

int DeviceChange(Device& device, HandleArray handles, Slot slot) {
    return Traced(device, handles, slot, "DeviceChange()",
                  [&](DeviceHandle handle) { return LunSettingWrite(device, handle, kCodeDeviceChange, 0); });
}

int MediaChange(Device& device, HandleArray handles, Slot slot) {
    return Traced(device, handles, slot, "MediaChange()", [&](DeviceHandle handle) {
        return LunSettingWrite(device, handle, kCodeMediaChange, kMediaChangeValue);
    });
}

int WriteProtect(Device& device, HandleArray handles, Slot slot, std::uint8_t value) {
    return Traced(device, handles, slot, "WriteProtect()",
                  [&](DeviceHandle handle) { return LunSettingWrite(device, handle, kCodeWriteProtect, value); });
}

int ReadLunType(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
                std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadLunType()", "WriteLunType()",
                            [&](DeviceHandle h, bool r) {
                                return LunSetting(device, h, r, kCodeLunTypeRead, kCodeLunTypeWrite, value, 1, data);
                            });
}

int ReadLunNo(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
              std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadLunNo()", "WriteLunNo()", [&](DeviceHandle h, bool r) {
        return LunSetting(device, h, r, kCodeLunNoRead, kCodeLunNoWrite, value, 1, data);
    });
}

int ReadLunID(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
              std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadLunID()", "WriteLunID()", [&](DeviceHandle h, bool r) {
        return LunSetting(device, h, r, kCodeLunIdRead, kCodeLunIdWrite, value, kLunIdLength, data);
    });
}

int LogLunIndex(Device& device, HandleArray handles, Slot slot, std::uint8_t* data) {
    return Traced(device, handles, slot, "LogLunIndex()",
                  [&](DeviceHandle handle) { return LunSettingRead(device, handle, kCodeLogLunIndex, 1, data); });
}

int HidLunIndex(Device& device, HandleArray handles, Slot slot, std::uint8_t* data) {
    return Traced(device, handles, slot, "HidLunIndex()", [&](DeviceHandle handle) {
        return LunSettingRead(device, handle, kCodeHidLunIndex, kHidLunIndexLength, data);
    });
}

int GetFWKey(Device& device, HandleArray handles, Slot slot, std::uint8_t value, std::uint8_t* data) {
    return Traced(device, handles, slot, "GetFWKey()", [&](DeviceHandle handle) {
        return Vendor::SecurityConfigRead(device, handle, kCodeFirmwareKey, value, 0, 0, 1, data);
    });
}

int InitPassWord(Device& device, HandleArray handles, Slot slot, const std::uint8_t* data) {
    return Traced(device, handles, slot, "InitPassWord()", [&](DeviceHandle handle) {
        return Vendor::SecurityConfigWrite(device, handle, kCodePasswordInit, 0, 0, 0, kPasswordBlockSize, data);
    });
}

int GetPassWord(Device& device, HandleArray handles, Slot slot, std::uint8_t* data) {
    return Traced(device, handles, slot, "GetPassWord()", [&](DeviceHandle handle) {
        return Vendor::SecurityConfigRead(device, handle, kCodePasswordRead, 0, 0, 0, kPasswordBlockSize, data);
    });
}

int VerifyPassWord(Device& device, HandleArray handles, Slot slot, const std::uint8_t* data) {
    return Traced(device, handles, slot, "VerifyPassWord()", [&](DeviceHandle handle) {
        return Vendor::SecurityConfigWrite(device, handle, kCodePasswordVerify, 0, 0, 0, kPasswordBlockSize, data);
    });
}

int CheckSecurity(Device& device, HandleArray handles, Slot slot, std::uint8_t value, std::uint8_t* data) {
    return Traced(device, handles, slot, "CheckSecurity()", [&](DeviceHandle handle) {
        return Vendor::SecurityConfigRead(device, handle, kCodeSecurityCheck, value, 0, 0, 1, data);
    });
}

int ClearCache(Device& device, HandleArray handles, Slot slot) {
    return Traced(device, handles, slot, "ClearCache()",
                  [&](DeviceHandle handle) { return Vendor::CacheClear(device, handle, 0, 0); });
}

int ReadEEPROM(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb12,
               std::uint8_t cdb13, std::uint32_t address, std::uint16_t length, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadEEPROM()", "WriteEEPROM()", [&](DeviceHandle h, bool r) {
        return r ? SettingRead(device, h, kCodeEeprom, kReadSelector, address, length, data, cdb12, cdb13)
                 : SettingWrite(device, h, kCodeEeprom, read, address, length, data, cdb12, cdb13);
    });
}

int ReadFW(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb13, std::uint32_t address,
           std::uint16_t length, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadFW()", "WriteFW()", [&](DeviceHandle h, bool r) {
        return r ? SettingRead(device, h, kCodeFirmware, kReadSelector, address, length, data)
                 : SettingWrite(device, h, kCodeFirmware, read, address, length, data, 0, cdb13);
    });
}

int BIST(Device& device, HandleArray handles, Slot slot, std::uint8_t* data) {
    return Traced(device, handles, slot, "BIST()",
                  [&](DeviceHandle handle) { return SettingRead(device, handle, kCodeBist, 0, 0, 1, data); });
}

int DeviceConnect(Device& device, HandleArray handles, Slot slot, std::uint8_t value) {
    return Traced(device, handles, slot, "DeviceConnect()", [&](DeviceHandle handle) {
        return SettingWrite(device, handle, kCodeDeviceConnect, value, 0, 0, nullptr);
    });
}

int Erase(Device& device, HandleArray handles, Slot slot) {
    return Traced(device, handles, slot, "Erase()",
                  [&](DeviceHandle handle) { return SettingWrite(device, handle, kCodeErase, 0, 0, 0, nullptr); });
}

int ReadPartition(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint32_t address,
                  std::uint16_t length, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadPartition()", "WritePartition()",
                            [&](DeviceHandle h, bool r) {
                                return r ? SettingRead(device, h, kCodePartitionRead, 0, address, length, data)
                                         : SettingWrite(device, h, kCodePartitionWrite, 0, address, length, data);
                            });
}

int ReadButton(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
               std::uint8_t* data) {
    // Unlike the first interface's button write, the value also goes to CDB byte 11.
    return TracedBySelector(device, handles, slot, read, "ReadButton()", "WriteButton()", [&](DeviceHandle h, bool r) {
        return r ? SettingRead(device, h, kCodeButtonRead, 0, 0, 1, data)
                 : SettingWrite(device, h, kCodeButtonWrite, value, 0, 1, &value);
    });
}

int EndSgmt(Device& device, HandleArray handles, Slot slot) {
    return Traced(device, handles, slot, "EndSgmt()", [&](DeviceHandle handle) {
        return Vendor::ISPAccessWrite(device, handle, kCodeEndSegment, 0, 0, 0, 0, nullptr);
    });
}

int InitSgmt(Device& device, HandleArray handles, Slot slot, std::uint8_t a2, std::uint8_t a3, std::uint8_t a4,
             std::uint16_t length, const std::uint8_t* data) {
    const std::uint32_t address = (std::uint32_t{a2} << 16) | (std::uint32_t{a3} << 8) | a4;
    return Traced(device, handles, slot, "InitSgmt()", [&](DeviceHandle handle) {
        return Vendor::ISPAccessWrite(device, handle, kCodeInitSegment, 0, 0, address, length, data);
    });
}

int ReadFlashID(Device& device, HandleArray handles, Slot slot, std::uint8_t value, std::uint8_t* data) {
    return Traced(device, handles, slot, "ReadFlashID()", [&](DeviceHandle handle) {
        return Vendor::UFDSettingRead(device, handle, kCodeFlashId, value, 0, 0, 0, kFlashAreaLength, data);
    });
}

int ReadSYSReady(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t value,
                 std::uint8_t* data) {
    return TracedBySelector(
        device, handles, slot, read, "ReadSYSReady()", "WriteSYSReady()", [&](DeviceHandle h, bool r) {
            return r ? Vendor::UFDSettingRead(device, h, kCodeSysReadyRead, 0, 0, 0, 0, 1, data)
                     : Vendor::UFDSettingWrite(device, h, kCodeSysReadyWrite, value, 0, 0, 0, 0, nullptr);
        });
}

int ReadSYSAddress(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadSYSAddress()", "WriteSYSAddress()",
                            [&](DeviceHandle h, bool r) {
                                return FlashArea(device, h, r, kCodeSysAddressRead, kCodeSysAddressWrite, data);
                            });
}

int ReadFlashMethod(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadFlashMethod()", "WriteFlashMethod()",
                            [&](DeviceHandle h, bool r) {
                                return FlashArea(device, h, r, kCodeFlashMethodRead, kCodeFlashMethodWrite, data);
                            });
}

int ReadSpare(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb9, std::uint8_t cdb10,
              std::uint32_t address, std::uint16_t length, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadSpare()", "WriteSpare()", [&](DeviceHandle h, bool r) {
        return r ? Vendor::SpareAccessRead(device, h, kCodeSpareRead, cdb9, cdb10, 0, 0, address, length, data)
                 : Vendor::SpareAccessWrite(device, h, kCodeSpareWrite, cdb9, cdb10, 0, 0, address, length, data);
    });
}

int BlockAccess(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint8_t cdb7,
                std::uint8_t flags, std::uint32_t tag, std::uint16_t word14, std::uint32_t address,
                std::uint32_t length, std::uint8_t* data) {
    if (handles == nullptr) return 0;
    const DeviceHandle handle = handles[slot];
    const bool cis = (tag & kTagMask) == kCisTag;
    // The access itself decides the result, not the mode byte's read and writes. When the mode
    // byte cannot be read it is not written either: the controller never gets a guessed value.
    std::uint8_t mode = 0;
    bool modeRead = false;
    if (cis) {
        modeRead = Vendor::MemoryAccessRead(device, handle, kCodeXdataRead, 0, 0, kCisModeAddress, 1, &mode) != 0;
        if (modeRead) {
            const auto cleared = static_cast<std::uint8_t>(mode & ~kCisModeBit);
            Vendor::MemoryAccessWrite(device, handle, kCodeXdataWrite, 0, 0, kCisModeAddress, 1, &cleared);
        }
        flags = static_cast<std::uint8_t>(flags | kCisFlag);
    }
    const int result = read == kReadSelector ? Vendor::BlockAccessRead(device, handle, kCodeBlockRead, 0, 0, cdb7,
                                                                       flags, address, length, data)
                                             : Vendor::BlockAccessWrite(device, handle, kCodeBlockWrite, 0, 0, cdb7,
                                                                        flags, tag, word14, address, length, data);
    if (modeRead) Vendor::MemoryAccessWrite(device, handle, kCodeXdataWrite, 0, 0, kCisModeAddress, 1, &mode);
    return result;
}

int ReadBlockStatus(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t* data) {
    return Traced(device, handles, slot, "ReadBlockStatus()", [&](DeviceHandle handle) {
        return Vendor::BlockStatusRead(device, handle, kCodeBlockStatus, 0, 0, address, 1, data);
    });
}

int ReadSts(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t* data) {
    return Traced(device, handles, slot, "ReadSts()", [&](DeviceHandle handle) {
        return Vendor::BlockMarkRead(device, handle, kCodeBlockMarkRead, 0, 0, 0, kStatusMarkCdb11, 0, address, 1,
                                     data);
    });
}

int MarkBad(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t cdb8,
            std::uint8_t cdb11, std::uint8_t cdb12) {
    return Traced(device, handles, slot, "MarkBad()", [&](DeviceHandle handle) {
        return Vendor::BlockMarkWrite(device, handle, kCodeMarkBad, 0, 0, cdb8, cdb11, cdb12, address, 0, nullptr);
    });
}

int CheckBad(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t cdb9,
             std::uint8_t cdb10, std::uint8_t cdb11, std::uint8_t cdb12, std::uint16_t length, std::uint8_t* data) {
    return BadBlock(device, handles, slot, "CheckBad()", kCodeCheckBad, address, cdb9, cdb10, cdb11, cdb12, length,
                    data);
}

int EraseSys(Device& device, HandleArray handles, Slot slot, std::uint32_t address, std::uint8_t cdb9,
             std::uint8_t cdb10, std::uint8_t cdb11, std::uint8_t cdb12, std::uint16_t length, std::uint8_t* data) {
    return BadBlock(device, handles, slot, "EraseSys()", kCodeEraseSystem, address, cdb9, cdb10, cdb11, cdb12, length,
                    data);
}

int ReadTestCmd(Device& device, HandleArray handles, Slot slot, std::uint8_t read, std::uint32_t w1, std::uint32_t w2,
                std::uint32_t w3, std::uint32_t w4, std::uint32_t w5, std::uint8_t* data) {
    return TracedBySelector(device, handles, slot, read, "ReadTestCmd()", "WriteTestCmd()",
                            [&](DeviceHandle h, bool r) {
                                return r ? Vendor::TestCommandRead(device, h, 0, 0, w1, w2, w3, w4, w5, data)
                                         : Vendor::TestCommandWrite(device, h, 0, 0, w1, w2, w3, w4, w5, data);
                            });
}

}  // namespace corelink
