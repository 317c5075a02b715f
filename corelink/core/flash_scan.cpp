#include "corelink/core/flash_scan.h"

#include <array>
#include <optional>

#include "common/core/bridge_protocol.h"
#include "corelink/core/flash_table.h"
#include "corelink/core/scsi_commands.h"

namespace corelink {

using namespace devio::bridge;
namespace {

using Vendor = CVCommCMDControl;

constexpr int kRegisterAttempts = 10;
constexpr int kScanAttempts = 9;  // the ninth failure of a step ends the scan
constexpr std::uint32_t kGroupBlocks = 512;
constexpr std::uint32_t kGroupBytes = kGroupBlocks / 8;
constexpr std::uint8_t kModeBit = 0x01;
constexpr std::uint8_t kFlagEraseSystem = 0x01;
constexpr std::uint8_t kFlagStopOnManyBad = 0x02;
constexpr std::uint8_t kFlagEraseGood = 0x04;
constexpr std::uint8_t kFlagOnePass = 0x40;
constexpr std::uint8_t kFlagDump = 0x80;
constexpr std::uint32_t kBadLimitPerByte = 7;
constexpr std::uint8_t kStatusBad = 1;
constexpr std::uint8_t kStatusSystem = 2;

using Statuses = std::array<std::uint8_t, kGroupBlocks>;

std::optional<std::uint8_t> GeometryCode(std::uint16_t pagesPerBlock) {
    switch (pagesPerBlock) {
        case 64: return 0;
        case 128: return 1;
        case 256: return 2;
        case 512: return 3;
        default: return std::nullopt;
    }
}

// Runs `step` until it succeeds, tracing `failure` after each failed attempt; false after
// `attempts` failures.
template <typename Step>
bool Retried(FlashSession& session, int attempts, const char* failure, Step step) {
    for (int i = 0; i < attempts; ++i) {
        if (step()) return true;
        session.Trace(failure);
    }
    return false;
}

class Scan {
public:
    Scan(FlashSession& session, FlashChip chip, std::uint8_t flags) : s_(session), chip_(chip), flags_(flags) {}

    // Steps 5's cells; false when the scan ended early.
    bool Cells(std::uint8_t r2360) {
        const std::size_t channels = chip_.Channels();
        for (std::size_t cell = 0; cell < chip_.Cells(); ++cell) {
            const std::size_t ce = cell / channels;
            const std::size_t ch = cell % channels;
            const std::uint32_t chip = (static_cast<std::uint32_t>(ch | (ce << 4))) << 24;
            chip_.SetCounter(cell, 0);
            const auto bitmap = chip_.Bitmap(ce, ch);
            for (std::uint32_t g = 0; std::uint64_t{g} * kGroupBytes < bitmap.size(); ++g) {
                if (!Group(r2360, cell, chip, g, bitmap)) return false;
            }
            Dump(Format("ChipAddress: 0x%08x, Bad Block Count: %d\r\n", chip, static_cast<int>(chip_.Counter(cell))));
            if ((flags_ & kFlagStopOnManyBad) != 0 && chip_.Counter(cell) >= kBadLimitPerByte * chip_.EntryBytes()) {
                s_.Trace("bad block count too much");
                return false;
            }
        }
        return true;
    }

    void OpenDump() {
        if ((flags_ & kFlagDump) == 0 || s_.dumps == nullptr || !s_.dumps->Prepare()) return;
        dump_ = s_.dumps->Create({}, "BadBlockRec.txt");
    }
    void Dump(const std::string& line) {
        if (dump_ && !dump_->WriteText(line)) dump_.reset();  // the dump fails, the scan goes on
    }
    void CloseDump() { dump_.reset(); }

private:
    bool ScanCommand(std::uint32_t row, Statuses& out, const char* failure) {
        const std::uint16_t ppb = s_.geometry.pagesPerBlock;
        const std::uint16_t value = s_.geometry.scanValue;
        return Retried(s_, kScanAttempts, failure, [&] {
            return Vendor::BadBlockCommand(s_.device, s_.Handle(), kCodeCheckBad, static_cast<std::uint8_t>(value >> 8),
                                           static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(ppb >> 8),
                                           static_cast<std::uint8_t>(ppb), 0, 0, row, kGroupBlocks, out.data()) != 0;
        });
    }

    bool Mode(std::uint8_t value, const char* failure) {
        return Retried(s_, kScanAttempts, failure,
                       [&] { return WriteXdataByte(s_, kSystemModeRegister, value); });
    }

    bool StatusRead(std::uint32_t row, const char* failure) {
        std::uint8_t status = 0;
        return Retried(s_, kScanAttempts, failure, [&] {
            return Vendor::BlockStatusRead(s_.device, s_.Handle(), kCodeBlockStatus, 0, 0, row, 1, &status) != 0;
        });
    }

    bool Group(std::uint8_t r2360, std::size_t cell, std::uint32_t chip, std::uint32_t g,
               std::span<std::uint8_t> bitmap) {
        const std::uint16_t ppb = s_.geometry.pagesPerBlock;
        const std::uint32_t o = chip | ((g * std::uint32_t{ppb}) << 9);
        Statuses a{}, b{}, c{}, d{};
        if (!Mode(static_cast<std::uint8_t>(r2360 & ~kModeBit), "ReWrite 2360 Off")) return false;
        if (!ScanCommand(o, a, "scan block Er0 Off") || !ScanCommand(o + ppb - 1, b, "scan block Er1 Off")) {
            return false;
        }
        const bool onePass = (flags_ & kFlagOnePass) != 0;
        if (!onePass) {
            if (!Mode(static_cast<std::uint8_t>(r2360 | kModeBit), "ReWrite 2360 On")) return false;
            if (!ScanCommand(o, c, "scan block Er0 On") || !ScanCommand(o + ppb - 1, d, "scan block Er1 On")) {
                return false;
            }
        }
        for (std::uint32_t j = 0; j < kGroupBlocks; ++j) {
            const std::uint64_t byte = std::uint64_t{g} * kGroupBytes + j / 8;
            if (byte >= bitmap.size()) break;
            const auto mask = static_cast<std::uint8_t>(1u << (j % 8));
            auto status = [](std::uint8_t off, std::uint8_t on) -> std::uint8_t {
                if (off == kStatusBad || on == kStatusBad) return kStatusBad;
                return off == kStatusSystem ? kStatusSystem : 0;
            };
            const std::uint8_t s1 = status(a[j], c[j]);
            const std::uint8_t s2 = onePass ? s1 : status(b[j], d[j]);
            const std::uint32_t row = o + j * ppb;
            if (s1 == kStatusSystem || s2 == kStatusSystem) {
                if ((flags_ & kFlagEraseSystem) != 0 && !StatusRead(row, "scan block Er3")) return false;
                bitmap[byte] = static_cast<std::uint8_t>(bitmap[byte] & ~mask);
                Dump(Format("System Block RowAddress: 0x%08x\r\n", row));
            } else if (s1 == 0 || s2 == 0) {
                if ((flags_ & kFlagEraseGood) != 0 && !StatusRead(row, "scan block Er4")) return false;
                bitmap[byte] = static_cast<std::uint8_t>(bitmap[byte] & ~mask);
            } else {
                chip_.SetCounter(cell, chip_.Counter(cell) + 1);
                bitmap[byte] = static_cast<std::uint8_t>(bitmap[byte] | mask);
                Dump(Format("Bad Block RowAddress: 0x%08x\r\n", row));
            }
        }
        return true;
    }

    FlashSession& s_;
    FlashChip chip_;
    std::uint8_t flags_;
    std::unique_ptr<DumpFile> dump_;
};

}  // namespace

bool ReadXdataByte(FlashSession& session, std::uint16_t address, std::uint8_t& value) {
    return Vendor::MemoryAccessRead(session.device, session.Handle(), kCodeXdataRead, 0, 0, address, 1, &value) != 0;
}

bool WriteXdataByte(FlashSession& session, std::uint16_t address, std::uint8_t value) {
    return Vendor::MemoryAccessWrite(session.device, session.Handle(), kCodeXdataWrite, 0, 0, address, 1, &value) !=
           0;
}

int ScanFlashBlock(FlashSession& session, std::uint8_t* chipRecord, std::uint16_t pagesPerBlock,
                   std::uint16_t scanValue, std::uint8_t flags) {
    session.TraceF("ScanFlashBlock(%d)", session.slot);
    const FlashChip chip(chipRecord);
    const auto code = GeometryCode(pagesPerBlock);
    if (session.handles == nullptr || chipRecord == nullptr || !chip.Usable() || !code) return 0;
    session.geometry.pagesPerBlock = pagesPerBlock;
    session.geometry.scanValue = scanValue;

    std::uint8_t r2360 = 0;
    if (!ReadXdataByte(session, kSystemModeRegister, r2360)) return 0;
    session.TraceF("REG_2360=(%X)", r2360);
    std::uint8_t r2300 = 0;
    if (!ReadXdataByte(session, kGeometryRegister, r2300)) return 0;
    const auto geometry = static_cast<std::uint8_t>((r2300 & ~0x03) | *code);

    // From here on the mode register is put back on every way out, an exception's included.
    Scan scan(session, chip, flags);
    bool completed = false;
    try {
        if (Retried(session, kRegisterAttempts, "ReWrite 2300",
                    [&] { return WriteXdataByte(session, kGeometryRegister, geometry); })) {
            session.TraceF("REG_2300=(%X) => (%X)", r2300, geometry);
            scan.OpenDump();
            completed = scan.Cells(r2360);
        }
    } catch (...) {
        WriteXdataByte(session, kSystemModeRegister, r2360);
        throw;
    }
    const bool restored = WriteXdataByte(session, kSystemModeRegister, r2360);
    scan.Dump(Format("CE: %d, CH: %d, Entry: %d\r\n", chip.ChipEnables(), chip.Channels(),
                     static_cast<int>(chip.EntryBytes())));
    scan.CloseDump();
    return completed && restored ? 1 : 0;
}

}  // namespace corelink
