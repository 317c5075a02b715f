// ATA PASS-THROUGH (12), operation code 0xA1, as the bridge translates it to the attached
// drive. Only IDENTIFY DEVICE (0xEC) with PIO data-in is answered.
#include <algorithm>
#include <string_view>

#include "common/core/bridge_protocol.h"
#include "bridge_emulator.h"
#include "command_context.h"

namespace rig {

using namespace devio::bridge;
namespace {

constexpr unsigned kProtocolPioDataIn = 4;

using Words = std::array<std::uint16_t, kAtaIdentifySize / 2>;

// ATA strings hold two characters per word, the first in the high byte, space-padded.
void PutAtaString(Words& words, std::size_t first, std::size_t count, std::string_view text) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto high = static_cast<std::uint8_t>(2 * i < text.size() ? text[2 * i] : ' ');
        const auto low = static_cast<std::uint8_t>(2 * i + 1 < text.size() ? text[2 * i + 1] : ' ');
        words[first + i] = static_cast<std::uint16_t>((high << 8) | low);
    }
}

}  // namespace

std::array<std::uint8_t, kAtaIdentifySize> AtaIdentifyData(const EnclosureConfig& config) {
    Words w{};
    const std::uint64_t sectors512 = config.sectors * (config.sectorSize / 512);
    const std::uint64_t lba28 = std::min<std::uint64_t>(sectors512, 0x0FFFFFFF);
    const std::uint64_t cylinders = std::min<std::uint64_t>(sectors512 / (16 * 63), 16383);
    w[0] = 0x0040;  // fixed device
    w[1] = static_cast<std::uint16_t>(cylinders);
    w[3] = 16;  // heads
    w[6] = 63;  // sectors per track
    PutAtaString(w, 10, 10, config.ataSerial);
    PutAtaString(w, 23, 4, config.ataFirmware);
    PutAtaString(w, 27, 20, config.ataModel);
    w[47] = 0x8010;  // READ/WRITE MULTIPLE: 16 sectors
    w[49] = 0x0300;  // LBA and DMA
    w[53] = 0x0006;  // words 64..70 and 88 valid
    w[54] = w[1];
    w[55] = w[3];
    w[56] = w[6];
    const std::uint64_t chs = cylinders * 16 * 63;
    w[57] = static_cast<std::uint16_t>(chs);
    w[58] = static_cast<std::uint16_t>(chs >> 16);
    w[60] = static_cast<std::uint16_t>(lba28);
    w[61] = static_cast<std::uint16_t>(lba28 >> 16);
    w[80] = 0x01F0;  // ATA/ATAPI-4 to -8
    w[82] = 0x7469;
    w[83] = 0x7C01 | 0x0400;  // 48-bit addressing supported
    w[84] = 0x4163;
    w[85] = 0x7469;
    w[86] = 0xBC01 | 0x0400;  // 48-bit addressing enabled
    w[87] = 0x4163;
    w[88] = 0x207F;  // UDMA 0..6 supported, mode 5 selected
    for (std::size_t i = 0; i < 4; ++i) w[100 + i] = static_cast<std::uint16_t>(sectors512 >> (16 * i));

    std::array<std::uint8_t, kAtaIdentifySize> data{};
    for (std::size_t i = 0; i < w.size(); ++i) {
        data[2 * i] = static_cast<std::uint8_t>(w[i]);
        data[2 * i + 1] = static_cast<std::uint8_t>(w[i] >> 8);
    }
    // Integrity word: signature 0xA5, and a checksum byte that makes all 512 bytes sum to 0.
    data[510] = 0xA5;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 511; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    data[511] = static_cast<std::uint8_t>(0x100 - sum);
    return data;
}

PassThroughAnswer ExecuteAtaPassThrough(CommandContext& context) {
    const unsigned protocol = (context.Cdb(1) >> 1) & 0x0F;
    if (protocol != kProtocolPioDataIn || context.Cdb(9) != kAtaIdentifyDevice) {
        return CheckCondition(kInvalidFieldInCdb);
    }
    if (!ReadsData(context.command) || context.command.transferLength > kAtaIdentifySize) {
        return CheckCondition(kInvalidFieldInCdb);
    }
    const auto data = AtaIdentifyData(context.config);
    return GoodWithData(context.command, data);
}

}  // namespace rig
