#include "nand_config.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace rig {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Decimal or 0x hexadecimal, at most `max`.
bool Number(std::string_view text, std::uint64_t max, std::uint64_t& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return error == std::errc() && end == text.data() + text.size() && out <= max;
}

// "CHIP BLOCK [BLOCK...]"
std::string BlockList(const std::string& key, std::string_view value, std::vector<NandBlock>& list) {
    const std::string usage = "'" + key + "' is a chip byte and block numbers, e.g. '" + key + " = 0x10 17 400'";
    std::vector<std::uint64_t> numbers;
    while (!(value = Trim(value)).empty()) {
        const auto end = value.find_first_of(" \t");
        std::uint64_t number = 0;
        if (!Number(value.substr(0, end), 0xFFFFFFFF, number)) return usage;
        numbers.push_back(number);
        value = end == std::string_view::npos ? std::string_view() : value.substr(end);
    }
    if (numbers.size() < 2 || numbers[0] > 0xFF) return usage;
    for (std::size_t i = 1; i < numbers.size(); ++i) {
        if (list.size() >= kMaxNandListedBlocks) {
            return "more than " + std::to_string(kMaxNandListedBlocks) + " blocks in '" + key + "'";
        }
        list.push_back({static_cast<std::uint8_t>(numbers[0]), static_cast<std::uint32_t>(numbers[i])});
    }
    return {};
}

}  // namespace

std::string ParseNandKey(const std::string& key, std::string_view value, NandConfig& nand) {
    std::uint64_t number = 0;
    if (key == "nand_channels" || key == "nand_chip_enables") {
        if (!Number(value, 4, number) || number == 0) return "'" + key + "' must be a number from 1 to 4";
        (key == "nand_channels" ? nand.channels : nand.chipEnables) = static_cast<std::uint8_t>(number);
        return {};
    }
    if (key == "nand_blocks") {
        if (!Number(value, kMaxNandBlocks, number) || number == 0) {
            return "'nand_blocks' must be a number from 1 to " + std::to_string(kMaxNandBlocks);
        }
        nand.blocksPerChip = static_cast<std::uint32_t>(number);
        return {};
    }
    if (key == "nand_pages_per_block") {
        if (!Number(value, 512, number) || (number != 64 && number != 128 && number != 256 && number != 512)) {
            return "'nand_pages_per_block' must be 64, 128, 256 or 512";
        }
        nand.pagesPerBlock = static_cast<std::uint16_t>(number);
        return {};
    }
    if (key == "nand_page_size") {
        if (!Number(value, kMaxNandPageSize, number) || number == 0 || number % 512 != 0) {
            return "'nand_page_size' must be a multiple of 512 up to " + std::to_string(kMaxNandPageSize);
        }
        nand.pageSize = static_cast<std::uint32_t>(number);
        return {};
    }
    if (key == "nand_seed") {
        if (!Number(value, 0xFFFFFFFF, number)) return "'nand_seed' must be a number from 0 to 0xFFFFFFFF";
        nand.seed = static_cast<std::uint32_t>(number);
        return {};
    }
    if (key == "nand_bad") return BlockList(key, value, nand.bad);
    if (key == "nand_system") return BlockList(key, value, nand.system);
    if (key == "nand_weak") return BlockList(key, value, nand.weak);
    return "unknown key '" + key + "' in [enclosure]";
}

std::string CheckNandConfig(const NandConfig& nand) {
    if (std::uint64_t{nand.blocksPerChip} * nand.pagesPerBlock > kNandRowPages) {
        return "'nand_blocks' x 'nand_pages_per_block' must stay within 2^24 pages (the row address's 24 bits)";
    }
    for (const auto* list : {&nand.bad, &nand.system, &nand.weak}) {
        for (const NandBlock& block : *list) {
            if (!nand.HasChip(block.chip)) {
                return "chip byte " + std::to_string(block.chip) + " names no chip of this NAND (channel in bits "
                       "0..3 below 'nand_channels', chip enable in bits 4..7 below 'nand_chip_enables')";
            }
            if (block.block >= nand.blocksPerChip) {
                return "block " + std::to_string(block.block) + " is past the chip's " +
                       std::to_string(nand.blocksPerChip) + " blocks";
            }
        }
    }
    return {};
}

}  // namespace rig
