#pragma once
// A rig with one flash-controller enclosure whose NAND has CE x CH chips: a few factory-bad,
// system and weak blocks on every chip, at places that depend on the chip so a mix-up of chips
// shows. Shared by the rig's tests and the component's flash maintenance tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rig/core/nand_config.h"
#include "rig/core/rig.h"
#include "rig/core/rig_device_stack.h"
#include "rig/tests/rig_fixture.h"

namespace rig_test {

inline const char kFlashInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_flash_drive&rev_1.00#0003&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

struct NandLayout {
    std::uint8_t chipEnables = 1;
    std::uint8_t channels = 1;
    std::uint32_t blocks = 1024;
    std::uint16_t pagesPerBlock = 64;
    std::uint32_t pageSize = 2048;
};

inline std::uint8_t ChipByte(std::size_t ce, std::size_t ch) { return static_cast<std::uint8_t>(ch | (ce << 4)); }

// The blocks the fixture lists on chip (ce, ch).
inline std::vector<std::uint32_t> FixtureBadBlocks(std::size_t ce, std::size_t ch, std::uint32_t blocks) {
    const auto shift = static_cast<std::uint32_t>(ce * 4 + ch);
    return {3 + shift, blocks / 8 + 7 * shift, blocks - 1 - shift};
}
inline std::vector<std::uint32_t> FixtureSystemBlocks(std::size_t ce, std::size_t ch, std::uint32_t) {
    return {static_cast<std::uint32_t>(ce * 4 + ch) % 2};  // block 0 or 1
}
inline std::vector<std::uint32_t> FixtureWeakBlocks(std::size_t ce, std::size_t ch, std::uint32_t) {
    return {9 + static_cast<std::uint32_t>(ce * 4 + ch) * 2};
}

inline std::string NandRigText(const NandLayout& layout) {
    std::string text = std::string("[enclosure]\n"
                                   "name = flash\n"
                                   "kind = flash\n"
                                   "usb_vendor_id = 0x1A2B\n"
                                   "usb_product_id = 0x3C60\n"
                                   "sectors = 0x10000\n"
                                   "interface = ") +
                       kFlashInterface + "\n";
    text += "nand_chip_enables = " + std::to_string(layout.chipEnables) + "\n";
    text += "nand_channels = " + std::to_string(layout.channels) + "\n";
    text += "nand_blocks = " + std::to_string(layout.blocks) + "\n";
    text += "nand_pages_per_block = " + std::to_string(layout.pagesPerBlock) + "\n";
    text += "nand_page_size = " + std::to_string(layout.pageSize) + "\n";
    text += "nand_seed = 0x5EED\n";
    auto list = [&](const char* key, auto blocksOf) {
        for (std::size_t ce = 0; ce < layout.chipEnables; ++ce) {
            for (std::size_t ch = 0; ch < layout.channels; ++ch) {
                text += std::string(key) + " = " + std::to_string(ChipByte(ce, ch));
                for (std::uint32_t block : blocksOf(ce, ch, layout.blocks)) text += " " + std::to_string(block);
                text += "\n";
            }
        }
    };
    list("nand_bad", FixtureBadBlocks);
    list("nand_system", FixtureSystemBlocks);
    list("nand_weak", FixtureWeakBlocks);
    return text;
}

class NandRigTest : public ::testing::Test {
protected:
    void UseLayout(const NandLayout& chosen) {
        layout = chosen;
        rigPath = folder.File("flash.rig");
        WriteTextFile(rigPath, NandRigText(layout));
    }
    void SetUp() override { UseLayout(NandLayout{}); }

    std::unique_ptr<rig::RigDeviceStack> Program() {
        std::string error;
        auto machine = rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error);
        EXPECT_TRUE(machine) << error;
        if (!machine) return nullptr;
        return std::make_unique<rig::RigDeviceStack>(machine);
    }
    devio::DeviceHandle OpenFlash(devio::DeviceStack& stack) {
        std::uint32_t error = 0;
        return stack.Open(kFlashInterface, devio::kGenericRead | devio::kGenericWrite,
                          devio::kShareRead | devio::kShareWrite, devio::kOpenExisting, 0, error);
    }

    TestFolder folder;
    std::string rigPath;
    NandLayout layout;
};

}  // namespace rig_test
