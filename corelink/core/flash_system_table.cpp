#include "corelink/core/flash_system_table.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "corelink/core/flash_block_test.h"
#include "corelink/core/flash_table.h"
#include "corelink/core/flash_table_pages.h"

namespace corelink {
namespace {

constexpr int kAllocatorFailures = 6;
constexpr std::uint8_t kEntryUsedUp = 8;
constexpr std::uint8_t kNoCell = 255;
constexpr std::uint8_t kPairInUse = 3;
constexpr std::uint8_t kTablePage = 1;
constexpr std::uint32_t kTableIndexOfWct = 88888;
constexpr std::uint16_t kUnused = 0xFFFF;

struct MapPointer {
    std::uint32_t byte = 0;
    std::uint8_t entry = 0;  // 0, 2, 4, 6; kEntryUsedUp once the byte is used up
};

struct Pair {
    std::uint8_t chip = 0;
    std::uint16_t block = 0;  // the first of the two
    std::uint32_t Row(std::uint16_t pagesPerBlock) const {
        return (std::uint32_t{chip} << 24) | (std::uint32_t{block} * pagesPerBlock);
    }
};

class Allocator {
public:
    Allocator(FlashSession& session, FlashChip chip, const TableParameters& p, std::uint32_t searchBytes)
        : s_(session), chip_(chip), p_(p), searchBytes_(searchBytes), pointers_(chip.Cells()) {}

    std::optional<Pair> Allocate() {
        int failures = 0;
        while (failures < kAllocatorFailures) {
            if (UsedUp(cell_) && !NextCell()) return std::nullopt;
            MapPointer& at = pointers_[cell_];
            if (at.entry == kEntryUsedUp) {
                ++at.byte;
                at.entry = 0;
            }
            const std::size_t ce = cell_ / chip_.Channels();
            const std::size_t ch = cell_ % chip_.Channels();
            const auto bitmap = chip_.Bitmap(ce, ch);
            const std::uint32_t byte = at.byte;
            const std::uint8_t k = at.entry;
            at.entry = static_cast<std::uint8_t>(at.entry + 2);  // past the entry; 8 = byte used up
            if (EntryOf(bitmap[byte], k) != 0) continue;
            bitmap[byte] = static_cast<std::uint8_t>(bitmap[byte] | (3u << k));
            chip_.SetCounter(cell_, chip_.Counter(cell_) + 2);
            const bool first = SelfTestBlock(s_, p_, ce, ch, byte, k);
            const bool second = first && SelfTestBlock(s_, p_, ce, ch, byte, k + 1u);
            if (first && second) {
                return Pair{static_cast<std::uint8_t>(ch | (ce << 4)), static_cast<std::uint16_t>(byte * 8 + k)};
            }
            ++failures;
        }
        return std::nullopt;
    }

    // Per cell: the next bitmap byte (32-bit, little-endian) and the entry, as the dump holds them.
    std::vector<std::uint8_t> MapPointerBytes() const {
        std::vector<std::uint8_t> out;
        for (const MapPointer& m : pointers_) {
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(m.byte >> (8 * i)));
            out.push_back(m.entry);
        }
        return out;
    }

private:
    bool UsedUp(std::size_t cell) const {
        const MapPointer& m = pointers_[cell];
        const std::uint64_t next = m.entry == kEntryUsedUp ? std::uint64_t{m.byte} + 1 : m.byte;
        return next >= searchBytes_;
    }
    bool NextCell() {
        std::uint8_t best = kNoCell;
        for (std::size_t cell = 0; cell < p_.allocatorCells && cell < pointers_.size(); ++cell) {
            if (UsedUp(cell)) continue;
            if (best == kNoCell || chip_.Counter(cell) < chip_.Counter(best)) best = static_cast<std::uint8_t>(cell);
        }
        s_.TraceF("CIndex=%x", best);
        if (best == kNoCell || best == cell_) return false;
        cell_ = best;
        return true;
    }

    FlashSession& s_;
    FlashChip chip_;
    const TableParameters& p_;
    std::uint32_t searchBytes_;
    std::vector<MapPointer> pointers_;
    std::size_t cell_ = 0;
};

std::uint32_t BigEndian32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

}  // namespace

std::uint32_t VirtualBlockLimit(const std::uint8_t* capacity, std::size_t cells) {
    const std::uint32_t value = std::uint32_t{capacity[20]} << 8 | capacity[21];
    const std::uint32_t count = capacity[22];
    if (value == 0 || count == 0 || cells == 0) return 0;
    return BigEndian32(&capacity[26]) / (value * count) / static_cast<std::uint32_t>(cells * 2) + 16;
}

int BuildUFDSystemTable(FlashSession& session, std::uint8_t* chipRecord, const std::uint8_t* parameterRecord,
                        const std::uint8_t* capacityRecord) {
    session.TraceF("BuildUFDSystemTable(%d)", session.slot);
    if (chipRecord == nullptr || parameterRecord == nullptr || capacityRecord == nullptr) return 0;
    const FlashChip chip(chipRecord);
    const TableParameters p = ReadTableParameters(parameterRecord);
    std::uint32_t searchBytes = 0;
    const char* refusal = CheckTableRequest(session, chip, p, searchBytes);
    if (refusal == nullptr && p.allocatorCells > chip.Cells()) refusal = "allocator cells beyond the record";
    if (refusal != nullptr) {
        session.TraceF("BuildUFDSystemTable refused: %s", refusal);
        return 0;
    }
    const std::uint32_t limit = VirtualBlockLimit(capacityRecord, chip.Cells());
    if (limit == 0 || (limit + kTatEntries - 1) / kTatEntries > kMaxSystemTables) return 0;
    session.TraceF(" @@ VB Limit =0x%X", limit);

    const bool dump = (p.options & kOptionDumpTables) != 0;
    const std::uint16_t ppb = session.geometry.pagesPerBlock;
    Allocator allocator(session, chip, p, searchBytes);
    Wct wct;
    wct.blocks.fill(kUnused);
    std::uint32_t mapped = 0;
    std::uint32_t tables = 0;
    bool written = true;
    auto writePage = [&](TableKind kind, const Pair& pair, const std::vector<std::uint8_t>& page) {
        session.TraceF(" @@ PageAddress = %d", static_cast<int>(pair.Row(ppb)));
        written = WriteTablePage(session, p, kind, pair.Row(ppb), page) && written;
    };
    while (mapped < limit) {
        session.TraceF("BuildTAT(%d)", static_cast<int>(tables));
        Tat tat{};
        Lft lft;
        lft.fill(kUnused);
        const std::uint32_t count = std::min<std::uint32_t>(kTatEntries, limit - mapped);
        std::uint32_t filled = 0;
        for (; filled < count; ++filled) {
            const auto pair = allocator.Allocate();
            if (!pair) break;
            tat[filled] = {pair->chip, kPairInUse, pair->block};
        }
        const auto tatPair = filled == count ? allocator.Allocate() : std::nullopt;
        const auto lftPair = tatPair ? allocator.Allocate() : std::nullopt;
        if (!lftPair) {
            session.Trace(" STOP_LOOP");
            return 0;
        }
        session.Trace("BuildTheLFT()");
        for (std::uint32_t i = 0; i < filled; ++i) lft[i] = static_cast<std::uint16_t>(i);
        if (dump) {
            DumpTableFile(session, {}, Format("MapPtr_%03u.txt", tables), allocator.MapPointerBytes());
            DumpTableFile(session, {}, Format("TAT_%03u.txt", tables), TatBytes(tat));
            DumpTableFile(session, {}, Format("LFT_INFO_%03u.txt", tables), WordBytes(lft));
        }
        session.TraceF("WriteTAT_INFO(%d)", session.slot);
        writePage(TableKind::TatTable, *tatPair, TatPage(tat));
        session.TraceF("WriteLFT_INFO(%d)", session.slot);
        writePage(TableKind::LftTable, *lftPair, LftPage(lft));
        if (dump) {
            DumpTableFile(session, "FW", Format("TAT_%03u.txt", tables), TatPage(tat));
            DumpTableFile(session, "FW", Format("LFT_INFO_%03u.txt", tables), LftPage(lft));
        }
        wct.tables[tables] = {tatPair->chip, kTablePage, tatPair->block};
        wct.blocks[2 * tables] = lftPair->chip;
        wct.blocks[2 * tables + 1] = lftPair->block;
        mapped += filled;
        ++tables;
    }
    const auto wctPair = allocator.Allocate();
    if (!wctPair) {
        session.Trace(" STOP_LOOP");
        return 0;
    }
    Lft tableMap;
    tableMap.fill(kUnused);
    for (std::uint32_t t = 0; t < tables; ++t) tableMap[t] = static_cast<std::uint16_t>(t);
    if (dump) {
        static_assert(kTableIndexOfWct == 88888, "the WCT's dumps stand for table index 88888");
        DumpTableFile(session, {}, "MapPtr_WCT.txt", allocator.MapPointerBytes());
        DumpTableFile(session, {}, "LFT_INFO_WCT.txt", WordBytes(tableMap));
        DumpTableFile(session, {}, "WCT_TAT_A.txt", TatBytes(wct.tables));
        DumpTableFile(session, {}, "WCT_BLK_A.txt", WordBytes(wct.blocks));
    }
    session.TraceF("WriteWCT_INFO(%d, addr=%x)", session.slot, wctPair->Row(ppb));
    writePage(TableKind::WctTable, *wctPair, WctPage(wct));
    if (dump) {
        std::vector<std::uint8_t> fwTat = TatPage(Tat{});
        fwTat.resize(kWctTatEntries * 4);
        const std::vector<std::uint8_t> page = WctPage(wct);
        std::copy(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(kWctTatEntries * 4), fwTat.begin());
        fwTat.push_back(0x00);
        fwTat.push_back(0x01);
        fwTat.push_back(static_cast<std::uint8_t>(wctPair->block >> 8));
        fwTat.push_back(static_cast<std::uint8_t>(wctPair->block));
        DumpTableFile(session, "FW", "WCT_TAT_A.txt", fwTat);
        DumpTableFile(session, "FW", "WCT_BLK_A.txt",
                      std::vector<std::uint8_t>(page.begin() + static_cast<std::ptrdiff_t>(kWctTatEntries * 4),
                                                page.end()));
    }
    return written ? 1 : 0;
}

}  // namespace corelink
