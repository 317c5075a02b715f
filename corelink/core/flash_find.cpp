#include "corelink/core/flash_find.h"

#include <cstring>

#include "corelink/core/flash_block_test.h"
#include "corelink/core/flash_table.h"

namespace corelink {
namespace {

constexpr int kFailureLimit = 3;  // a fourth failed test ends a pass
constexpr std::size_t kFoundRecord = sizeof(CorelinkFoundBlock);
constexpr std::uint32_t kMaxFoundBlocks = 255;  // the list's count is one byte

class Search {
public:
    Search(FlashSession& session, FlashChip chip, std::uint8_t* list, const TableParameters& p,
           std::uint32_t searchBytes)
        : s_(session), chip_(chip), list_(list), p_(p), searchBytes_(searchBytes), target_(p.pairs * 2u) {}

    // One pass: `second` takes both blocks of free pairs, else the free block of half-used pairs.
    int Pass(bool second) {
        if (Count() >= target_) return 1;  // no pairs asked for: nothing to test, nothing to list
        int failures = 0;
        const std::size_t channels = chip_.Channels();
        const std::size_t lastCe = (p_.chips - 1u) / channels;
        const std::size_t lastCh = (p_.chips - 1u) % channels;
        for (std::size_t ce = 0; ce <= lastCe; ++ce) {
            for (std::size_t ch = 0; ch <= lastCh; ++ch) {
                const auto bitmap = chip_.Bitmap(ce, ch);
                for (std::uint32_t i = 0; i < searchBytes_; ++i) {
                    for (unsigned k = 0; k < 8; k += 2) {
                        const std::uint8_t entry = EntryOf(bitmap[i], k);
                        unsigned bits[2] = {k, k + 1};
                        std::size_t count = 0;
                        if (!second && entry == 2) {
                            count = 1;
                        } else if (!second && entry == 1) {
                            bits[0] = k + 1;
                            count = 1;
                        } else if (second && entry == 0) {
                            count = 2;
                        }
                        for (std::size_t b = 0; b < count; ++b) {
                            const unsigned bit = bits[b];
                            if (Take(ce, ch, i, bit, second, bit == k)) {
                                if (Count() >= target_) return 1;
                            } else if (++failures > kFailureLimit) {
                                return 0;
                            }
                        }
                    }
                }
            }
        }
        return 0;
    }

private:
    std::uint8_t Count() const { return list_[0]; }

    bool Take(std::size_t ce, std::size_t ch, std::uint32_t byte, unsigned bit, bool second, bool firstOfPair) {
        const auto bitmap = chip_.Bitmap(ce, ch);
        bitmap[byte] = static_cast<std::uint8_t>(bitmap[byte] | (1u << bit));
        const std::size_t cell = ce * chip_.Channels() + ch;
        chip_.SetCounter(cell, chip_.Counter(cell) + 1);
        if (!SelfTestBlock(s_, p_, ce, ch, byte, bit)) return false;
        std::uint8_t* record = list_ + 1 + std::size_t{Count()} * kFoundRecord;
        record[offsetof(CorelinkFoundBlock, channel)] = static_cast<std::uint8_t>(ch);
        record[offsetof(CorelinkFoundBlock, chipEnable)] = static_cast<std::uint8_t>(ce);
        std::memcpy(record + offsetof(CorelinkFoundBlock, bitmapByte), &byte, sizeof byte);
        record[offsetof(CorelinkFoundBlock, bit)] = static_cast<std::uint8_t>(bit);
        list_[0] = static_cast<std::uint8_t>(Count() + 1);
        const char* name = second ? (firstOfPair ? "FpB1" : "FpB2") : (firstOfPair ? "FsB02" : "FsB01");
        s_.TraceF("%s(%d, %d, %d, %d, %d)=>%d", name, Count(), static_cast<int>(ce), static_cast<int>(ch),
                  static_cast<int>(byte), static_cast<int>(bit), s_.slot);
        return true;
    }

    FlashSession& s_;
    FlashChip chip_;
    std::uint8_t* list_;
    const TableParameters& p_;
    std::uint32_t searchBytes_;
    std::uint32_t target_;
};

}  // namespace

void DumpBlockMap(FlashSession& session, const std::uint8_t* chipRecord, const std::string& name) {
    if (session.dumps == nullptr || !session.dumps->Prepare()) return;
    auto file = session.dumps->Create({}, name);
    if (!file) return;
    const FlashChip chip(const_cast<std::uint8_t*>(chipRecord));
    for (std::size_t ce = 0; ce < chip.ChipEnables(); ++ce) {
        for (std::size_t ch = 0; ch < chip.Channels(); ++ch) {
            if (!file->Write(chip.Bitmap(ce, ch))) return;
        }
    }
}

int FindISPAndCISUseBlock(FlashSession& session, std::uint8_t* chipRecord, std::uint8_t* foundList,
                          const std::uint8_t* parameterRecord) {
    session.TraceF("FindISPAndCISUseBlock(%d)", session.slot);
    if (chipRecord == nullptr || foundList == nullptr || parameterRecord == nullptr) return 0;
    const FlashChip chip(chipRecord);
    const TableParameters p = ReadTableParameters(parameterRecord);
    std::uint32_t searchBytes = 0;
    const char* refusal = CheckTableRequest(session, chip, p, searchBytes);
    if (refusal == nullptr && (p.chips == 0 || p.chips > chip.Cells())) refusal = "chip count beyond the record";
    if (refusal == nullptr && std::uint32_t{p.pairs} * 2 > kMaxFoundBlocks) refusal = "pair count beyond the found list";
    if (refusal != nullptr) {
        session.TraceF("FindISPAndCISUseBlock refused: %s", refusal);
        return 0;
    }
    if ((p.options & kOptionDumpTables) != 0) DumpBlockMap(session, chipRecord, Format("BlockMap_%02d.txt", session.slot));
    foundList[0] = 0;
    Search search(session, chip, foundList, p, searchBytes);
    int result = search.Pass(false);
    session.TraceF("FSTB=>%d", result);
    if (result == 0) {
        result = search.Pass(true);
        session.TraceF("FPTB=>%d", result);
    }
    return result;
}

}  // namespace corelink
