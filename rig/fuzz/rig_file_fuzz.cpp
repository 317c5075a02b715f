// Feeds arbitrary bytes to the rig file parser and checks that whatever it accepts keeps
// within the rig's limits, and that the machine it describes can be built, plugged or not.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rig/core/bridge_emulator.h"
#include "rig/core/machine_view.h"
#include "rig/core/rig_file_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const rig::RigParseResult result = rig::ParseRigFile(text, "/fuzz/rigs/sample.rig");
    if (!result.config) {
        if (result.error.empty()) __builtin_trap();
        return 0;
    }
    const rig::RigConfig& config = *result.config;
    if (config.enclosures.size() > rig::kMaxEnclosures) __builtin_trap();
    for (const rig::EnclosureConfig& enclosure : config.enclosures) {
        if (enclosure.drives.size() > rig::kMaxDrivesPerEnclosure) __builtin_trap();
        if (enclosure.interfacePath.empty() || enclosure.interfacePath.size() > rig::kMaxInterfacePathLength) {
            __builtin_trap();
        }
        if (enclosure.signature.size() != 4 || enclosure.model.size() != 4) __builtin_trap();
        if (enclosure.sectors == 0 || enclosure.sectors > rig::kMaxSectors) __builtin_trap();
        if (enclosure.sectorSize % 512 != 0 || enclosure.sectorSize == 0) __builtin_trap();
        if (enclosure.inquiryVendor.size() > 8 || enclosure.inquiryProduct.size() > 16 ||
            enclosure.inquiryRevision.size() > 4 || enclosure.ataModel.size() > 40 || enclosure.ataSerial.size() > 20 ||
            enclosure.ataFirmware.size() > 8) {
            __builtin_trap();
        }
        // Failing-command rules are well formed and read back from their own text.
        for (const rig::FaultRule& rule : enclosure.faults) {
            if (!rule.Valid()) __builtin_trap();
            if (!rule.Active()) continue;
            std::string error;
            const auto again = rig::ParseFaultRule(rig::FormatFaultRule(rule), error);
            if (!again || !(*again == rule)) __builtin_trap();
        }
        (void)rig::InquiryData(enclosure);
        (void)rig::AtaIdentifyData(enclosure);
    }
    for (const std::uint32_t unplugged : {0u, 0x55555555u}) {
        const rig::MachineView view(config, unplugged);
        for (const rig::VolumeView& volume : view.Volumes()) {
            if (volume.extents.empty() || volume.extents.size() > rig::kMaxExtentsPerVolume) __builtin_trap();
        }
    }
    return 0;
}
