// The flash controller's NAND commands (an enclosure of `kind = flash`): the bad-block scan
// (group 0x51), whole pages and block erase (0x95), block marks (0x50). Row addresses carry the
// chip byte in CDB byte 2 and the chip's page below it. Other enclosures refuse these groups.
#include <vector>

#include "common/core/bridge_protocol.h"
#include "command_context.h"
#include "nand_store.h"

namespace rig {

using namespace devio::bridge;
namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint16_t kSystemModeAddress = 0x2360;  // xdata: bit 0 set hides the system blocks' marks
constexpr std::uint8_t kScanGood = 0;
constexpr std::uint8_t kScanBad = 1;
constexpr std::uint8_t kScanSystem = 2;
constexpr Sense kMediumError = kReadError;

std::uint32_t Row(const CommandContext& c) { return devio::GetBigEndian32(&c.command.cdb[2]); }

// Fails the answer when the NAND file does not work: the rig reports why.
PassThroughAnswer StoreTrouble(const NandStore& nand, CommandContext& c) {
    if (c.report) c.report(nand.Error());
    return CheckCondition(kInternalTargetFailure);
}

// Group 0x51 code 0x00: one status byte per block for the blocks from the row's block on, each
// taken at the row's page within its block: 0 good, 1 bad, 2 system (only while xdata 0x2360 bit 0
// is clear). Blocks past the chip's end read bad. CDB bytes 11..12 carry the pages per block.
PassThroughAnswer BadBlockScan(CommandContext& c, NandStore& nand) {
    const std::uint32_t length = devio::GetBigEndian16(&c.command.cdb[7]);
    if (!ReadsData(c.command) || length != c.command.transferLength) return CheckCondition(kInvalidFieldInCdb);
    if (devio::GetBigEndian16(&c.command.cdb[11]) != nand.Config().pagesPerBlock) {
        return CheckCondition(kInvalidFieldInCdb);
    }
    const auto place = nand.Locate(Row(c));
    if (!place) return CheckCondition(kLbaOutOfRange);
    const bool systemVisible = (c.state.xdataMemory[kSystemModeAddress] & 0x01) == 0;
    std::vector<std::uint8_t> statuses(length, kScanBad);
    for (std::uint32_t j = 0; j < length && place->block + j < nand.Config().blocksPerChip; ++j) {
        NandBlockState state = NandBlockState::Good;
        if (!nand.State(place->cell, place->block + j, state)) return StoreTrouble(nand, c);
        statuses[j] = state == NandBlockState::Bad      ? kScanBad
                      : state == NandBlockState::System ? (systemVisible ? kScanSystem : kScanGood)
                                                        : kScanGood;
    }
    return GoodWithData(c.command, statuses);
}

// Pages moved by a block access: CDB byte 7 = sectors per page, byte 8 = sectors in all.
bool PageCount(const CommandContext& c, const NandStore& nand, std::uint32_t& pages) {
    const std::uint32_t pageSize = nand.Config().pageSize;
    const std::uint32_t length = c.command.transferLength;
    if (c.Cdb(7) * kSector != pageSize || length == 0 || length % pageSize != 0 ||
        (length / kSector) % 256 != c.Cdb(8)) {
        return false;
    }
    pages = length / pageSize;
    return true;
}

PassThroughAnswer PageRead(CommandContext& c, NandStore& nand) {
    std::uint32_t pages = 0;
    if (!ReadsData(c.command) || !PageCount(c, nand, pages)) return CheckCondition(kInvalidFieldInCdb);
    const std::uint32_t pageSize = nand.Config().pageSize;
    std::vector<std::uint8_t> data(std::size_t{pages} * pageSize);
    for (std::uint32_t i = 0; i < pages; ++i) {
        const auto place = nand.Locate(Row(c) + i);
        if (!place || place->chip != (Row(c) >> 24)) return CheckCondition(kLbaOutOfRange);
        NandBlockState state = NandBlockState::Good;
        if (!nand.State(place->cell, place->block, state)) return StoreTrouble(nand, c);
        if (state == NandBlockState::Bad) return CheckCondition(kMediumError);
        if (!nand.ReadPage(*place, std::span(data).subspan(std::size_t{i} * pageSize, pageSize))) {
            return StoreTrouble(nand, c);
        }
    }
    return GoodWithData(c.command, data);
}

// CDB bytes 10..15 are the pages' tag ("TATSYS" and the like).
PassThroughAnswer PageWrite(CommandContext& c, NandStore& nand) {
    std::uint32_t pages = 0;
    if (!WritesData(c.command) || c.command.direction != devio::kDataOut || !PageCount(c, nand, pages)) {
        return CheckCondition(kInvalidFieldInCdb);
    }
    NandTag tag{};
    for (std::size_t i = 0; i < kNandTagSize; ++i) tag[i] = c.Cdb(10 + i);
    const std::uint32_t pageSize = nand.Config().pageSize;
    for (std::uint32_t i = 0; i < pages; ++i) {
        const auto place = nand.Locate(Row(c) + i);
        if (!place || place->chip != (Row(c) >> 24)) return CheckCondition(kLbaOutOfRange);
        NandBlockState state = NandBlockState::Good;
        if (!nand.State(place->cell, place->block, state)) return StoreTrouble(nand, c);
        if (state == NandBlockState::Bad) return CheckCondition(kWriteError);
        if (!nand.ProgramPage(*place, std::span(c.command.dataOut).subspan(std::size_t{i} * pageSize, pageSize),
                              tag)) {
            return StoreTrouble(nand, c);
        }
    }
    return Good();
}

// Code 0x8E: erases the row's block and answers one status byte (0). A bad block does not erase.
PassThroughAnswer BlockErase(CommandContext& c, NandStore& nand) {
    if (!ReadsData(c.command) || c.Cdb(7) != 0 || c.Cdb(8) != 0) return CheckCondition(kInvalidFieldInCdb);
    const auto place = nand.Locate(Row(c));
    if (!place) return CheckCondition(kLbaOutOfRange);
    NandBlockState state = NandBlockState::Good;
    if (!nand.State(place->cell, place->block, state)) return StoreTrouble(nand, c);
    if (state == NandBlockState::Bad) return CheckCondition(kWriteError);
    if (!nand.Erase(place->cell, place->block)) return StoreTrouble(nand, c);
    const std::uint8_t status = 0;
    return GoodWithData(c.command, std::span(&status, 1));
}

PassThroughAnswer BlockMark(CommandContext& c, NandStore& nand) {
    const auto place = nand.Locate(Row(c));
    if (!place) return CheckCondition(kLbaOutOfRange);
    switch (c.Cdb(6)) {
        case kCodeMarkBad:  // sent as data-in without data
            if (!MovesNoData(c.command)) return CheckCondition(kInvalidFieldInCdb);
            if (!nand.MarkBad(place->cell, place->block)) return StoreTrouble(nand, c);
            return Good();
        case kCodeBlockMarkRead: {  // the block's state: 0 good, 1 bad, 2 system
            if (!ReadsData(c.command)) return CheckCondition(kInvalidFieldInCdb);
            NandBlockState state = NandBlockState::Good;
            if (!nand.State(place->cell, place->block, state)) return StoreTrouble(nand, c);
            const auto byte = static_cast<std::uint8_t>(state);
            return GoodWithData(c.command, std::span(&byte, 1));
        }
        default: return CheckCondition(kInvalidFieldInCdb);
    }
}

}  // namespace

PassThroughAnswer ExecuteNandCommand(CommandContext& context) {
    if (context.nand == nullptr) return CheckCondition(kInvalidFieldInCdb);
    NandStore& nand = *context.nand;
    const std::uint8_t group = context.Cdb(1);
    const std::uint8_t code = context.Cdb(6);
    if (group == kGroupBadBlock && code == kCodeCheckBad) return BadBlockScan(context, nand);
    if (group == kGroupBlockMark) return BlockMark(context, nand);
    if (group == kGroupFlash) {
        switch (code) {
            case kCodeBlockRead: return PageRead(context, nand);
            case kCodeBlockWrite: return PageWrite(context, nand);
            case kCodeBlockStatus: return BlockErase(context, nand);
            default: break;  // spare areas are not emulated
        }
    }
    return CheckCondition(kInvalidFieldInCdb);
}

}  // namespace rig
