// Feeds arbitrary pass-through blocks to the emulated controller: bit 0 of the first byte picks the
// output size (the block's own size or a full block), bit 1 a flash-controller enclosure with a
// small NAND (in memory), the rest is the request's input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "rig/core/bridge_emulator.h"
#include "rig/core/nand_store.h"
#include "rig/core/pass_through_request.h"
#include "rig/fuzz/memory_file_system.h"

namespace {

rig::EnclosureConfig FuzzEnclosure() {
    rig::EnclosureConfig config;
    config.usbVendorId = 0x1A2B;
    config.usbProductId = 0x3C4D;
    config.sectors = 4096;
    config.interfacePath = "\\\\?\\usbstor#disk&ven_tovi#fuzz#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    config.ataModel = "TOVI USB Enclosure";
    config.ataSerial = "RIG00000";
    config.ataFirmware = "1.00";
    return config;
}

rig::NandConfig FuzzNand() {
    rig::NandConfig nand;
    nand.present = true;
    nand.channels = 2;
    nand.chipEnables = 2;
    nand.blocksPerChip = 64;
    nand.pagesPerBlock = 64;
    nand.pageSize = 2048;
    nand.bad = {{0x00, 3}, {0x11, 63}};
    nand.system = {{0x01, 0}};
    nand.weak = {{0x10, 9}};
    nand.path = "fuzz.nand";
    return nand;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const rig::EnclosureConfig config = FuzzEnclosure();
    static const rig::DeviceState initial = rig::DefaultState(config, 0);
    static auto state = std::make_unique<rig::DeviceState>();
    if (size < 1) return 0;

    const std::size_t blockSize = sizeof(devio::ScsiPassThroughBlock);
    auto buffer = std::make_unique<std::uint8_t[]>(blockSize);
    const std::size_t inputSize = std::min(size - 1, blockSize);
    std::memcpy(buffer.get(), data + 1, inputSize);
    const auto outputSize = static_cast<std::uint32_t>((data[0] & 1) ? blockSize : inputSize);

    std::string why;
    const auto command =
        rig::DecodePassThrough(buffer.get(), static_cast<std::uint32_t>(inputSize), outputSize, why);
    if (!command) {
        if (why.empty()) __builtin_trap();
        return 0;
    }
    *state = initial;
    rig::MemoryBlockStore medium(config.sectorSize);
    static const rig::NandConfig nandConfig = FuzzNand();
    rig_fuzz::MemoryFileSystem files;
    rig::NandStore nand(files, nandConfig);
    const bool flash = (data[0] & 2) != 0;
    const rig::PassThroughAnswer answer = rig::ExecuteCommand(config, *state, medium, *command, flash ? &nand : nullptr);
    if (answer.status == devio::kScsiStatusGood && command->direction == devio::kDataIn &&
        answer.dataIn.size() != command->transferLength) {
        __builtin_trap();
    }
    if (answer.status != devio::kScsiStatusGood && !answer.dataIn.empty()) __builtin_trap();
    const std::uint32_t returned = rig::WriteAnswer(*command, answer, buffer.get(), outputSize);
    if (returned > outputSize) __builtin_trap();
    if (rig::EepromWordSum(state->eeprom) != 0 && state->eeprom == initial.eeprom) __builtin_trap();
    return 0;
}
