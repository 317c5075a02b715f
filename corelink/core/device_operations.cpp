#include "corelink/core/device_operations.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/core/bridge_protocol.h"
#include "common/core/scsi_pass_through.h"
#include "corelink/core/scsi_commands.h"
#include "corelink/core/setting_commands.h"

namespace corelink {

using namespace devio::bridge;
namespace {

using devio::DeviceHandle;
using Std = CSTDCMDControl;
using Vendor = CVCommCMDControl;

constexpr std::uint8_t kReadSelector = 1;

// Enclosure settings (group 0x80) and power (group 0x8B) operation codes.

constexpr std::uint16_t kPowerInfoSize = 4;
constexpr std::uint16_t kEepromLength = kEepromSize;
constexpr std::size_t kPowerInfoEepromByte = 3;  // goes to CDB byte 12 of the EEPROM commands
constexpr std::uint32_t kFirmwareSize = 0x6000;
constexpr std::uint32_t kFirmwarePiece = 4096;

// The handle in `slot`; a missing array has none.
DeviceHandle HandleAt(const HandleArray handles, std::uint8_t slot) {
    return handles != nullptr ? handles[slot] : devio::kInvalidDeviceHandle;
}

// Runs `command` on the handle in `slot`. Without a handle array there is no device to talk
// to: 0, and nothing is sent.
template <typename Command>
int OnSlot(const HandleArray handles, std::uint8_t slot, Command command) {
    return handles != nullptr ? command(handles[slot]) : 0;
}

void TraceSlotAndHandle(Device& device, const char* operation, std::uint8_t slot, DeviceHandle handle) {
    char text[96];
    std::snprintf(text, sizeof text, "%s(Index=%d, Handle=%x)", operation, static_cast<int>(slot),
                  static_cast<unsigned>(handle & 0xFFFFFFFFu));
    device.tracer.Trace(text);
}

// Opens a device path for commands and stores the handle (the invalid value when the open
// failed) in `slot`. 1 when the device could be opened.
int OpenIntoSlot(Device& device, HandleArray handles, std::uint8_t slot, const std::string& path,
                 const char* traceName) {
    // Without an array to keep it in, an opened handle could never be closed: nothing is opened.
    if (handles == nullptr) return 0;
    std::uint32_t lastError = 0;
    const DeviceHandle handle =
        device.stack.Open(path, devio::kGenericRead | devio::kGenericWrite, devio::kShareRead | devio::kShareWrite,
                          devio::kOpenExisting, 0, lastError);
    handles[slot] = handle;
    int result = 0;
    if (handle != devio::kInvalidDeviceHandle) {
        // The device's answer does not matter: the request only wakes the device up.
        std::uint8_t status = 0;
        int delivered = 0;
        try {
            delivered = Std::SendTestUnitReady(device, handle, 0, 0, 0, &status);
        } catch (...) {
            // The caller learns of no handle, so none may stay open.
            device.stack.Close(handle);
            handles[slot] = devio::kInvalidDeviceHandle;
            throw;
        }
        result = delivered != 0 || status == devio::kScsiStatusGood ? 1 : 0;
    }
    if (traceName != nullptr) TraceSlotAndHandle(device, traceName, slot, handle);
    return result;
}

// --- the enclosure settings commands with PathId/TargetId 0

int PowerWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11, std::uint8_t cdb12) {
    return Vendor::USDPowerWrite(device, handle, code, cdb11, cdb12, 0, 0, 0, nullptr);
}

// --- the suspend and timer settings: the controller takes them from its EEPROM and firmware
// area, which are read, changed and written back around the power command.

struct SettingsImage {
    std::vector<std::uint8_t> firmware = std::vector<std::uint8_t>(kFirmwareSize);
    std::vector<std::uint8_t> eeprom = std::vector<std::uint8_t>(kEepromSize);
    std::uint8_t powerInfo[kPowerInfoSize] = {};

    std::span<std::uint8_t, kEepromSize> Eeprom() {
        return std::span<std::uint8_t, kEepromSize>(eeprom.data(), kEepromSize);
    }
    std::uint8_t EepromCdb12() const { return powerInfo[kPowerInfoEepromByte]; }
};

// Runs `command` for each piece of the firmware area in order; false at the first piece whose
// command fails (the later pieces are not tried).
template <typename PieceCommand>
bool ForEachFirmwarePiece(PieceCommand command) {
    for (std::uint32_t offset = 0; offset < kFirmwareSize; offset += kFirmwarePiece) {
        if (command(offset, static_cast<std::uint16_t>(std::min(kFirmwarePiece, kFirmwareSize - offset))) == 0) {
            return false;
        }
    }
    return true;
}

// Reads what the settings operations write back: the power information (it addresses the
// EEPROM), the firmware area and the EEPROM. False at the first read that fails: the buffers
// then do not hold the device's data and must not be written anywhere.
bool ReadSettings(Device& device, DeviceHandle handle, SettingsImage& image) {
    if (Vendor::USDPowerRead(device, handle, kPowerInfo, 0, 0, 0, 0, kPowerInfoSize, image.powerInfo) == 0) {
        return false;
    }
    const bool firmwareRead = ForEachFirmwarePiece([&](std::uint32_t offset, std::uint16_t length) {
        return SettingRead(device, handle, kCodeFirmware, kReadSelector, offset, length, &image.firmware[offset]);
    });
    return firmwareRead && SettingRead(device, handle, kCodeEeprom, kReadSelector, 0, kEepromLength,
                                       image.eeprom.data(), image.EepromCdb12(), 0) != 0;
}

// Writes the firmware area and the sealed EEPROM back. 1 when every write succeeded; a failed
// write ends the operation there.
int WriteSettings(Device& device, DeviceHandle handle, SettingsImage& image) {
    const bool firmwareWritten = ForEachFirmwarePiece([&](std::uint32_t offset, std::uint16_t length) {
        return SettingWrite(device, handle, kCodeFirmware, 0, offset, length, &image.firmware[offset]);
    });
    if (!firmwareWritten) return 0;
    SealEeprom(image.Eeprom());
    return SettingWrite(device, handle, kCodeEeprom, 0, 0, kEepromLength, image.eeprom.data(),
                        image.EepromCdb12(), 0);
}

// A settings change: read the device's data, change the EEPROM image, send the power command,
// write the data back. Nothing is sent after a failed read or a refused power command, so a
// device that cannot be read never gets zeros or stale bytes written over its data.
template <typename Change>
int ChangeSettings(Device& device, HandleArray handles, std::uint8_t slot, Change change) {
    if (handles == nullptr) return 0;
    const DeviceHandle handle = handles[slot];
    SettingsImage image;
    if (!ReadSettings(device, handle, image)) return 0;
    if (!change(handle, image)) return 0;
    return WriteSettings(device, handle, image);
}

std::uint8_t HighByte(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t LowByte(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

// The CDB of the controller's SPI access, sent as a test command.
Cdb SpiCdb(std::uint8_t mode, std::uint32_t word12, std::uint32_t address, std::uint8_t byte10, std::uint16_t word9,
           std::uint16_t length) {
    Cdb cdb{};
    cdb[0] = 0xEE;
    cdb[1] = 0x80;
    devio::PutBigEndian32(&cdb[2], address);
    cdb[6] = 0x7F;
    devio::PutBigEndian16(&cdb[7], length);
    cdb[9] = static_cast<std::uint8_t>((word9 >> 4) & 0xFF);
    cdb[10] = byte10;
    cdb[11] = mode;
    devio::PutBigEndian32(&cdb[12], word12);
    return cdb;
}

}  // namespace

// ---------------------------------------------------------------- standard output

Tracer& StandardOutput() noexcept {
    class Printer final : public Tracer {
    public:
        void Trace(const char* text) override {
            std::fputs(text, stdout);
            std::fflush(stdout);
        }
    };
    static Printer printer;
    return printer;
}

// ---------------------------------------------------------------- EEPROM image

std::uint16_t EepromChecksum(std::span<const std::uint8_t, kEepromSize> image) {
    std::uint32_t sum = 0;
    for (std::size_t at = 2; at < kEepromSize; at += 2) sum += devio::GetBigEndian16(&image[at]);
    return static_cast<std::uint16_t>(0x10000u - (sum & 0xFFFFu));
}

void SealEeprom(std::span<std::uint8_t, kEepromSize> image) {
    devio::PutBigEndian16(&image[0], EepromChecksum(image));
}

// ---------------------------------------------------------------- open and close

int OpenDiskPathBySymbolicName(Device& device, HandleArray handles, std::uint8_t slot, const char* devicePath) {
    return OpenIntoSlot(device, handles, slot, devicePath != nullptr ? devicePath : "",
                        "OpenDiskPathBySymbolicName");
}

int OpenDiskPath(Device& device, HandleArray handles, int letterIndex) {
    device.tracer.Trace("OpenDiskPath()");
    constexpr int kLetters = 'Z' - 'C' + 1;
    if (letterIndex < 0 || letterIndex >= kLetters) return 0;
    std::string path = "\\\\.\\C:";
    path[4] = static_cast<char>('C' + letterIndex);
    return OpenIntoSlot(device, handles, static_cast<std::uint8_t>(letterIndex), path, nullptr);
}

int CloseDiskPath(Device& device, HandleArray handles, std::uint8_t slot) {
    const DeviceHandle handle = HandleAt(handles, slot);
    TraceSlotAndHandle(device, "CloseDiskPath", slot, handle);
    if (handles == nullptr) return 0;
    if (handle != devio::kInvalidDeviceHandle) device.stack.Close(handle);
    // The system hands closed handle values out again: a stale value in the slot could reach
    // another file or device.
    handles[slot] = devio::kInvalidDeviceHandle;
    return 1;
}

int ReadInquery(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t* data) {
    device.tracer.Trace("ReadInquery()");
    return OnSlot(handles, slot, [&](DeviceHandle handle) { return Std::SendInquiry(device, handle, 0, 0, data); });
}

// ---------------------------------------------------------------- storage-device operations

int ReadButton_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t read, std::uint8_t value,
                   std::uint8_t* data) {
    const bool reads = read == kReadSelector;
    device.tracer.Trace(reads ? "ReadButton_USD()" : "WriteButton_USD()");
    return OnSlot(handles, slot, [&](DeviceHandle handle) {
        return reads ? SettingRead(device, handle, kCodeButtonRead, 0, 0, 1, data)
                     : SettingWrite(device, handle, kCodeButtonWrite, 0, 0, 1, &value);
    });
}

int ReadEEPROM_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t read, std::uint8_t extra12,
                   std::uint8_t extra13, std::uint32_t address, std::uint16_t length, std::uint8_t* data) {
    const bool reads = read == kReadSelector;
    device.tracer.Trace(reads ? "ReadEEPROM_USD()" : "WriteEEPROM_USD()");
    return OnSlot(handles, slot, [&](DeviceHandle handle) {
        return reads ? SettingRead(device, handle, kCodeEeprom, kReadSelector, address, length, data, extra12, extra13)
                     : SettingWrite(device, handle, kCodeEeprom, read, address, length, data, extra12, extra13);
    });
}

int ReadFW_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t read, std::uint8_t extra13,
               std::uint32_t address, std::uint16_t length, std::uint8_t* data) {
    const bool reads = read == kReadSelector;
    device.tracer.Trace(reads ? "ReadFW_USD()" : "WriteFW_USD()");
    return OnSlot(handles, slot, [&](DeviceHandle handle) {
        return reads ? SettingRead(device, handle, kCodeFirmware, kReadSelector, address, length, data)
                     : SettingWrite(device, handle, kCodeFirmware, read, address, length, data, 0, extra13);
    });
}

int GetPMInfo_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint16_t length, std::uint8_t* data) {
    device.tracer.Trace("GetPMInfo_USD()");
    return OnSlot(handles, slot, [&](DeviceHandle handle) {
        return Vendor::USDPowerRead(device, handle, kPowerInfo, 0, 0, 0, 0, length, data);
    });
}

int EnableSuspned_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t enable) {
    return ChangeSettings(device, handles, slot, [&](DeviceHandle handle, SettingsImage& image) {
        const bool on = enable == 1;
        device.tracer.Trace(on ? "EnableSuspned_USD()" : "DisableSuspned_USD()");
        image.eeprom[kEepromSuspendSwitch] = on ? std::uint8_t{1} : std::uint8_t{0};
        return PowerWrite(device, handle, on ? kPowerSuspendOn : kPowerSuspendOff, 0, 0) != 0;
    });
}

int SetTimer_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint16_t timer) {
    return ChangeSettings(device, handles, slot, [&](DeviceHandle handle, SettingsImage& image) {
        device.tracer.Trace("SetTimer_USD()");
        devio::PutBigEndian16(&image.eeprom[kEepromTimer], timer);
        return PowerWrite(device, handle, kPowerTimer, HighByte(timer), LowByte(timer)) != 0;
    });
}

int SetHDCapLED_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t value) {
    device.tracer.Trace("SetHDCapLED_USD()");
    return OnSlot(handles, slot,
                  [&](DeviceHandle handle) { return PowerWrite(device, handle, kPowerCapacityLed, value, 0); });
}

int ATAIdentify_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint16_t length,
                    std::uint8_t* data) {
    device.tracer.Trace("ATAIdentify_USD()");
    // ATA PASS-THROUGH (12): PIO data-in, device 0xA0, IDENTIFY DEVICE (0xEC).
    return OnSlot(handles, slot, [&](DeviceHandle handle) {
        return Vendor::ATACommandRead(device, handle, 0, 0, 0x08A1, 0x0D000000, 0x00A00000, 0xEC00, 0, length, data);
    });
}

int ReadSPI_USD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t mode, std::uint32_t word12,
                std::uint32_t address, std::uint8_t byte10, std::uint16_t word9, std::uint16_t length,
                std::uint8_t* data) {
    const bool reads = (mode & 0x01) != 0;
    device.tracer.Trace(reads ? "ReadSPI_USD()" : "WriteSPI_USD()");
    const TestCommandWords w = TestWordsFor(SpiCdb(mode, word12, address, byte10, word9, length));
    return OnSlot(handles, slot, [&](DeviceHandle handle) {
        return reads ? Vendor::TestCommandRead(device, handle, 0, 0, w.w1, w.w2, w.w3, w.w4, w.w5, data)
                     : Vendor::TestCommandWrite(device, handle, 0, 0, w.w1, w.w2, w.w3, w.w4, w.w5, data);
    });
}

}  // namespace corelink
