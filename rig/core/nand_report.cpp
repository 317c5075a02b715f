#include "nand_report.h"

#include <cstdio>
#include <string>
#include <vector>

#include "command_log.h"

namespace rig {
namespace {

constexpr std::uint32_t kBlocksPerLine = 64;

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string ChipName(std::uint8_t chip) {
    return Hex(chip, 2) + " (CE " + std::to_string(chip >> 4) + ", CH " + std::to_string(chip & 0x0F) + ")";
}

std::string Joined(const std::vector<std::uint32_t>& blocks) {
    std::string text;
    for (std::uint32_t block : blocks) text += (text.empty() ? "" : " ") + std::to_string(block);
    return text.empty() ? "none" : text;
}

}  // namespace

bool PrintNandMap(NandStore& nand, std::uint8_t chip, std::ostream& out, std::string& error) {
    const NandConfig& config = nand.Config();
    if (!config.HasChip(chip)) {
        error = "the NAND has no chip " + Hex(chip, 2) + " (chip byte: channel in bits 0..3, chip enable in 4..7)";
        return false;
    }
    const std::size_t cell = config.CellOf(chip);
    out << "chip " << ChipName(chip) << ": " << config.blocksPerChip << " blocks of " << config.pagesPerBlock
        << " pages x " << config.pageSize << " bytes\n";
    std::vector<std::uint32_t> bad, system, weak;
    std::string line;
    for (std::uint32_t block = 0; block < config.blocksPerChip; ++block) {
        NandBlockState state = NandBlockState::Good;
        if (!nand.State(cell, block, state)) {
            error = nand.Error();
            return false;
        }
        char mark = '.';
        if (state == NandBlockState::Bad) {
            mark = 'B';
            bad.push_back(block);
        } else if (state == NandBlockState::System) {
            mark = 'S';
            system.push_back(block);
        } else if (nand.Weak(cell, block)) {
            mark = 'w';
        }
        if (nand.Weak(cell, block)) weak.push_back(block);
        if (block % kBlocksPerLine == 0) {
            char head[16];
            std::snprintf(head, sizeof head, "  %5u  ", static_cast<unsigned>(block));
            line = head;
        }
        line += mark;
        if (block % kBlocksPerLine == kBlocksPerLine - 1 || block + 1 == config.blocksPerChip) out << line << "\n";
    }
    out << "bad blocks:    " << Joined(bad) << "\n";
    out << "system blocks: " << Joined(system) << "\n";
    out << "weak blocks:   " << Joined(weak) << "\n";
    return true;
}

bool PrintNandPage(NandStore& nand, std::uint32_t row, std::ostream& out, std::string& error) {
    const auto place = nand.Locate(row);
    if (!place) {
        error = "row " + Hex(row, 8) + " names no page of this NAND";
        return false;
    }
    std::vector<std::uint8_t> page(nand.Config().pageSize);
    NandTag tag{};
    if (!nand.ReadPage(*place, page, &tag)) {
        error = nand.Error();
        return false;
    }
    std::string tagText;
    for (std::uint8_t c : tag) tagText += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    out << "row " << Hex(row, 8) << ": chip " << ChipName(place->chip) << ", block " << place->block << ", page "
        << place->page << ", tag \"" << tagText << "\"" << (nand.Weak(place->cell, place->block) ? ", weak" : "")
        << "\n";
    std::string previous;
    bool skipping = false;
    for (std::size_t offset = 0; offset < page.size(); offset += 16) {
        const std::string bytes = HexBytes(&page[offset], 16);
        if (bytes == previous && offset + 16 < page.size()) {
            if (!skipping) out << "  *\n";
            skipping = true;
            continue;
        }
        skipping = false;
        previous = bytes;
        char head[16];
        std::snprintf(head, sizeof head, "  %04X: ", static_cast<unsigned>(offset));
        out << head << bytes << "\n";
    }
    return true;
}

}  // namespace rig
