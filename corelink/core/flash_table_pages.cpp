#include "corelink/core/flash_table_pages.h"

#include <bit>

#include "common/core/bridge_protocol.h"
#include "corelink/core/scsi_commands.h"

namespace corelink {

using namespace devio::bridge;
namespace {

using Vendor = CVCommCMDControl;

constexpr int kPageAttempts = 3;
constexpr std::uint8_t kTablePageSectors = 4;  // CDB byte 7 of a table page
constexpr std::size_t kCompareBytes = 1024;

void PutEntry(std::vector<std::uint8_t>& out, const TatEntry& e, bool bigEndian) {
    out.push_back(e.chip);
    out.push_back(e.value);
    out.push_back(static_cast<std::uint8_t>(bigEndian ? e.block >> 8 : e.block));
    out.push_back(static_cast<std::uint8_t>(bigEndian ? e.block : e.block >> 8));
}

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t word, bool bigEndian) {
    out.push_back(static_cast<std::uint8_t>(bigEndian ? word >> 8 : word));
    out.push_back(static_cast<std::uint8_t>(bigEndian ? word : word >> 8));
}

const char* TagOf(TableKind kind) {
    switch (kind) {
        case TableKind::TatTable: return "TATSYS";
        case TableKind::LftTable: return "LFTSYS";
        case TableKind::WctTable: return "WCTSYS";
    }
    return "";
}

const char* ErrorOf(TableKind kind) {
    switch (kind) {
        case TableKind::TatTable: return "Write TAT Error";
        case TableKind::LftTable: return "Write LFT Error";
        case TableKind::WctTable: return "Write WCT Error";
    }
    return "";
}

bool WithinLimit(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::uint32_t limit) {
    for (std::size_t start = 0; start < a.size(); start += kCompareBytes) {
        std::uint32_t bits = 0;
        for (std::size_t i = start; i < start + kCompareBytes && i < a.size(); ++i) {
            bits += static_cast<std::uint32_t>(std::popcount(static_cast<unsigned>(a[i] ^ b[i])));
        }
        if (bits > limit) return false;
    }
    return true;
}

bool Erase(FlashSession& s, std::uint32_t row) {
    std::uint8_t status = 0;
    return Vendor::BlockStatusRead(s.device, s.Handle(), kCodeBlockStatus, 0, 0, row, 1, &status) != 0;
}

}  // namespace

std::vector<std::uint8_t> TatBytes(std::span<const TatEntry> entries) {
    std::vector<std::uint8_t> out;
    for (const TatEntry& e : entries) PutEntry(out, e, false);
    return out;
}

std::vector<std::uint8_t> WordBytes(std::span<const std::uint16_t> words) {
    std::vector<std::uint8_t> out;
    for (std::uint16_t w : words) PutWord(out, w, false);
    return out;
}

std::vector<std::uint8_t> TatPage(const Tat& tat) {
    std::vector<std::uint8_t> out;
    for (const TatEntry& e : tat) PutEntry(out, e, true);
    return out;
}

std::vector<std::uint8_t> LftPage(const Lft& lft) {
    std::vector<std::uint8_t> out;
    for (std::uint16_t w : lft) PutWord(out, w, true);
    return out;
}

std::vector<std::uint8_t> WctPage(const Wct& wct) {
    std::vector<std::uint8_t> out;
    for (const TatEntry& e : wct.tables) PutEntry(out, e, true);
    for (std::uint16_t w : wct.blocks) PutWord(out, w, true);
    return out;
}

bool WriteTablePage(FlashSession& s, const TableParameters& p, TableKind kind, std::uint32_t row,
                    const std::vector<std::uint8_t>& page) {
    const char* tag = TagOf(kind);
    const std::uint32_t tag0to3 = std::uint32_t{std::uint8_t(tag[0])} | std::uint32_t{std::uint8_t(tag[1])} << 8 |
                                  std::uint32_t{std::uint8_t(tag[2])} << 16 | std::uint32_t{std::uint8_t(tag[3])} << 24;
    const auto tag4to5 = static_cast<std::uint16_t>(std::uint8_t(tag[4]) | std::uint8_t(tag[5]) << 8);
    std::vector<std::uint8_t> back(page.size());
    for (int attempt = 0; attempt < kPageAttempts; ++attempt) {
        // Both blocks of the pair are erased before every attempt, a failed comparison's too.
        Erase(s, row);
        Erase(s, row + s.geometry.pagesPerBlock);
        if (Vendor::BlockAccessWrite(s.device, s.Handle(), kCodeBlockWrite, 0, 0, kTablePageSectors, p.accessFlags,
                                     tag0to3, tag4to5, row, static_cast<std::uint32_t>(page.size()),
                                     page.data()) == 0) {
            continue;
        }
        if (Vendor::BlockAccessRead(s.device, s.Handle(), kCodeBlockRead, 0, 0, kTablePageSectors, p.accessFlags, row,
                                    static_cast<std::uint32_t>(back.size()), back.data()) == 0) {
            continue;
        }
        if (WithinLimit(page, back, p.bitErrorLimit)) return true;
    }
    if (s.notice != nullptr) s.notice->Show(ErrorOf(kind));
    if ((p.options & kOptionMarkBad) != 0 &&
        Vendor::BlockMarkWrite(s.device, s.Handle(), kCodeMarkBad, 0, 0, p.pagesPerUnit, p.markCdb11, p.markCdb12,
                               row, 0, nullptr) == 0) {
        s.Trace("Mark Bad fail");
    }
    return false;
}

void DumpTableFile(FlashSession& s, const std::string& subfolder, const std::string& name,
                   const std::vector<std::uint8_t>& bytes) {
    if (s.dumps == nullptr || !s.dumps->Prepare(subfolder)) return;
    if (auto file = s.dumps->Create(subfolder, name)) file->Write(bytes);
}

}  // namespace corelink
