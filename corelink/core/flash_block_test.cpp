#include "corelink/core/flash_block_test.h"

#include <bit>
#include <cstring>
#include <vector>

#include "common/core/bridge_protocol.h"
#include "corelink/core/scsi_commands.h"

namespace corelink {

using namespace devio::bridge;
namespace {

using Vendor = CVCommCMDControl;

constexpr int kAttempts = 10;
constexpr std::size_t kCompareBytes = 1024;
constexpr std::uint32_t kUnitBytesPerPage = 4096;  // a unit is 8 pages of pagesPerUnit x 512 bytes
constexpr std::uint32_t kRowsPerUnit = 8;

template <typename Step>
bool Attempts(FlashSession& session, const char* failure, Step step) {
    for (int i = 0; i < kAttempts; ++i) {
        if (step()) return true;
        session.Trace(failure);
    }
    return false;
}

bool Erase(FlashSession& s, std::uint32_t row) {
    std::uint8_t status = 0;
    return Vendor::BlockStatusRead(s.device, s.Handle(), kCodeBlockStatus, 0, 0, row, 1, &status) != 0;
}

// The bit errors of the first 1024 bytes of the two units that have more than `limit`; 0 when
// none has.
std::uint32_t FirstBitErrorsOverLimit(const std::vector<std::uint8_t>& written, const std::vector<std::uint8_t>& read,
                                      std::uint32_t limit) {
    for (std::size_t start = 0; start < written.size(); start += kCompareBytes) {
        std::uint32_t bits = 0;
        for (std::size_t i = start; i < start + kCompareBytes && i < written.size(); ++i) {
            bits += static_cast<std::uint32_t>(std::popcount(static_cast<unsigned>(written[i] ^ read[i])));
        }
        if (bits > limit) return bits;
    }
    return 0;
}

void KeepUnits(FlashSession& s, const std::string& name, const std::vector<std::uint8_t>& written,
               const std::vector<std::uint8_t>& read) {
    if (s.dumps == nullptr || !s.dumps->Prepare()) return;
    if (auto file = s.dumps->Create({}, name + "_1")) file->Write(written);
    if (auto file = s.dumps->Create({}, name + "_2")) file->Write(read);
}

}  // namespace

TableParameters ReadTableParameters(const std::uint8_t* r) {
    TableParameters p;
    p.chips = r[0];
    p.blockCount = std::uint32_t{r[1]} | std::uint32_t{r[2]} << 8 | std::uint32_t{r[3]} << 16 |
                   std::uint32_t{r[4]} << 24;
    p.pairs = r[5];
    p.options = r[6];
    p.allocatorCells = r[7];
    p.pagesPerUnit = r[9];
    p.bitErrorLimit = r[10];
    p.accessFlags = r[11];
    p.markCdb12 = r[12];
    p.markCdb11 = r[13];
    return p;
}

const char* CheckTableRequest(const FlashSession& session, const FlashChip& chip, const TableParameters& p,
                              std::uint32_t& searchBytes) {
    if (session.handles == nullptr) return "no handle array";
    if (!chip.Usable()) return "chip record not usable";
    if (session.geometry.pagesPerBlock == 0) return "no pages per block (scan first)";
    if (p.pagesPerUnit == 0 || p.pagesPerUnit > kMaxPagesPerUnit) return "pages per unit out of range";
    searchBytes = p.blockCount / session.geometry.pagesPerBlock / 8;
    if (searchBytes > chip.EntryBytes()) return "block count beyond the bitmaps";
    return nullptr;
}

std::uint32_t BlockRow(const FlashSession& session, std::size_t ce, std::size_t ch, std::uint32_t byte,
                       std::uint32_t bit) {
    const auto chip = static_cast<std::uint32_t>(ch | (ce << 4));
    return ((bit + byte * 8) * std::uint32_t{session.geometry.pagesPerBlock}) | (chip << 24);
}

bool SelfTestBlock(FlashSession& s, const TableParameters& p, std::size_t ce, std::size_t ch, std::uint32_t byte,
                   std::uint32_t bit) {
    const std::uint32_t e = BlockRow(s, ce, ch, byte, bit);
    const std::uint32_t unit = p.pagesPerUnit * kUnitBytesPerPage;
    const std::uint32_t units = s.geometry.pagesPerBlock / kRowsPerUnit;
    if (!Attempts(s, "BST_E Fail", [&] { return Erase(s, e); })) return false;
    std::vector<std::uint8_t> written(unit);
    std::vector<std::uint8_t> read(unit);
    for (std::uint32_t u = 0; u < units; ++u) {
        for (std::uint8_t& b : written) b = static_cast<std::uint8_t>(s.random.Next());
        const std::uint32_t row = e + u * kRowsPerUnit;
        if (!Attempts(s, "BST_W Fail", [&] {
                return Vendor::BlockAccessWrite(s.device, s.Handle(), kCodeBlockWrite, 0, 0, p.pagesPerUnit,
                                                p.accessFlags, 0, 0, row, unit, written.data()) != 0;
            })) {
            return false;
        }
        if (!Attempts(s, "BST_R Fail", [&] {
                return Vendor::BlockAccessRead(s.device, s.Handle(), kCodeBlockRead, 0, 0, p.pagesPerUnit,
                                               p.accessFlags, row, unit, read.data()) != 0;
            })) {
            return false;
        }
        const std::uint32_t bits = FirstBitErrorsOverLimit(written, read, p.bitErrorLimit);
        if (bits != 0) {
            if ((p.options & kOptionMarkBad) != 0) {
                const std::string text = Format("MarkBad(%d), Addr=%x, %d", s.slot, e, static_cast<int>(bits));
                s.Trace(text.c_str());
                KeepUnits(s, text, written, read);
                if (Vendor::BlockMarkWrite(s.device, s.Handle(), kCodeMarkBad, 0, 0, p.pagesPerUnit, p.markCdb11,
                                           p.markCdb12, e, 0, nullptr) == 0) {
                    s.Trace("Mark Bad fail");
                }
            }
            return false;
        }
    }
    Erase(s, e);
    return true;
}

}  // namespace corelink
