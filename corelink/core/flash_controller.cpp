#include "corelink/core/flash_controller.h"

#include <string>

#include "common/core/bridge_protocol.h"
#include "corelink/core/flash_session.h"
#include "corelink/core/scsi_commands.h"
#include "common/core/scsi_pass_through.h"
#include "corelink/core/volume_lock.h"

namespace corelink {

using namespace devio::bridge;
namespace {

using Vendor = CVCommCMDControl;
using devio::DeviceHandle;

constexpr std::uint8_t kCodeIspImage = 0x81;  // group 0x90
constexpr std::uint16_t kCpuControl = 0x001C;
constexpr std::uint8_t kCpuHoldBit = 0x40;
constexpr std::uint8_t kChipResetClearBit = 0x20;
constexpr std::uint16_t kCpuStart = 0x2311;
constexpr std::uint16_t kChipResetRegister = 0x0001;
constexpr std::uint8_t kLunResetCode = 0x02;  // ConfigureLUNWrite code of ChipResetEx

bool ReadXdata(Device& device, DeviceHandle handle, std::uint16_t address, std::uint8_t& value) {
    return Vendor::MemoryAccessRead(device, handle, kCodeXdataRead, 0, 0, address, 1, &value) != 0;
}

bool WriteXdata(Device& device, DeviceHandle handle, std::uint16_t address, std::uint8_t value) {
    return Vendor::MemoryAccessWrite(device, handle, kCodeXdataWrite, 0, 0, address, 1, &value) != 0;
}

template <typename Command>
int Named(Device& device, HandleArray handles, std::uint8_t slot, const char* name, Command command) {
    device.tracer.Trace(Format("%s(%d)", name, slot).c_str());
    return handles != nullptr ? command(handles[slot]) : 0;
}

}  // namespace

int ReadFlashID_UFD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t value, std::uint8_t* data) {
    return Named(device, handles, slot, "ReadFlashID_UFD", [&](DeviceHandle handle) {
        return Vendor::UFDSettingRead(device, handle, kCodeFlashId, value, 0, 0, 0, kFlashIdLength, data);
    });
}

int INITISP_UFD(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t address, std::uint16_t length,
                const std::uint8_t* data) {
    return Named(device, handles, slot, "INITISP_UFD", [&](DeviceHandle handle) {
        DismountVolume(device, handle, false);
        return Vendor::UFDSettingWrite(device, handle, kCodeIspImage, 0, 0, 0, address, length, data);
    });
}

int CPUReset_UFD(Device& device, HandleArray handles, std::uint8_t slot) {
    std::string text = Format("CPUReset_UFD(%d)", slot);
    if (handles == nullptr) {
        device.tracer.Trace(text.c_str());
        return 0;
    }
    const DeviceHandle handle = handles[slot];
    bool started = false;
    for (int round = 0; round < kCpuResetRounds && !started; ++round) {
        std::uint8_t control = 0;
        if (!ReadXdata(device, handle, kCpuControl, control)) {
            text += "_F1";
        } else if (!WriteXdata(device, handle, kCpuControl, static_cast<std::uint8_t>(control | kCpuHoldBit))) {
            text += "_F2";
        } else if (!WriteXdata(device, handle, kCpuStart, 0x01)) {
            text += "_F3";
        } else {
            started = true;
        }
    }
    device.tracer.Trace(text.c_str());
    if (!started || Vendor::ConfigureLUNWrite(device, handle, kCodeCpuReset, 0, 0, 0, 0, nullptr) == 0) {
        device.tracer.Trace("CPU Rst Fail");
        return 0;
    }
    for (int poll = 0; poll < kCpuResetPolls; ++poll) {
        device.clock.Pause(kCpuResetPollMs);
        std::uint8_t status = 0xFF;
        if (CSTDCMDControl::SendTestUnitReady(device, handle, 0, 0, 0, &status) == 0) {
            device.tracer.Trace("TURDY_Fail");
        } else if (status == devio::kScsiStatusGood) {
            return 1;
        }
    }
    device.tracer.Trace(Format("CPU_Rst_Timeout(%d)", slot).c_str());
    return 0;
}

int ChipReset(Device& device, HandleArray handles, std::uint8_t slot) {
    return Named(device, handles, slot, "ChipReset", [&](DeviceHandle handle) {
        std::uint8_t control = 0;
        if (ReadXdata(device, handle, kCpuControl, control)) {
            WriteXdata(device, handle, kCpuControl, static_cast<std::uint8_t>(control & ~kChipResetClearBit));
        }
        bool last = false;
        for (std::uint8_t value : {std::uint8_t{0x80}, std::uint8_t{0x00}, std::uint8_t{0x80}, std::uint8_t{0x80}}) {
            last = WriteXdata(device, handle, kChipResetRegister, value);
        }
        return last ? 1 : 0;
    });
}

int ChipResetEx(Device& device, HandleArray handles, std::uint8_t slot) {
    return Named(device, handles, slot, "ChipResetEx", [&](DeviceHandle handle) {
        return Vendor::ConfigureLUNWrite(device, handle, kLunResetCode, 0, 0, 0, 0, nullptr);
    });
}

int UFDCacheClear_UFD(Device& device, HandleArray handles, std::uint8_t slot) {
    return Named(device, handles, slot, "UFDCacheClear_UFD",
                 [&](DeviceHandle handle) { return Vendor::CacheClear(device, handle, 0, 0); });
}

int MediumLoadUnload_UFD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun,
                         std::uint8_t control) {
    return Named(device, handles, slot, "MediumLoadUnload_UFD", [&](DeviceHandle handle) {
        return CSTDCMDControl::SCSI_LoadUnload(device, handle, lun, 0, 0, control);
    });
}

}  // namespace corelink
