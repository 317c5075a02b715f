#include "nand_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "little_endian.h"

namespace rig {
namespace {

constexpr char kMagic[8] = {'R', 'I', 'G', 'N', 'A', 'N', 'D', '1'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint64_t kHeaderSize = 32;
constexpr std::uint64_t kEntrySize = 8;
constexpr std::uint64_t kSpareSize = 16;  // written, 0, generation (2), tag (6), 0 (6)
constexpr std::uint8_t kMarkedBad = 0x01;
constexpr std::uint8_t kErased = 0x02;  // erased at least once: the rig file's system data is gone
constexpr std::uint8_t kErasedByte = 0xFF;
constexpr std::size_t kErrorPiece = 1024;
constexpr std::uint32_t kMinWeakErrors = 24;  // bit errors per 1024 bytes of a weak block, at least
constexpr std::uint32_t kWeakErrorSpread = 16;

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool IsSystemTag(const NandTag& tag) { return tag[3] == 'S' && tag[4] == 'Y' && tag[5] == 'S'; }

}  // namespace

void ApplyWeakBitErrors(std::uint32_t seed, std::uint32_t row, std::span<std::uint8_t> page) {
    for (std::size_t piece = 0; piece * kErrorPiece < page.size(); ++piece) {
        const std::size_t start = piece * kErrorPiece;
        const std::size_t length = std::min(kErrorPiece, page.size() - start);
        std::uint64_t state = Mix((std::uint64_t{seed} << 32) ^ (std::uint64_t{row} << 8) ^ piece);
        const std::uint32_t count = kMinWeakErrors + static_cast<std::uint32_t>(state % kWeakErrorSpread);
        for (std::uint32_t i = 0; i < count; ++i) {
            state = Mix(state);
            const std::uint64_t bit = state % (length * 8);
            page[start + bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        }
    }
}

NandStore::NandStore(FileSystem& files, const NandConfig& config) : files_(files), config_(config) {
    tableEnd_ = kHeaderSize + config_.Cells() * std::uint64_t{config_.blocksPerChip} * kEntrySize;
}

bool NandStore::Fail(const std::string& why) {
    error_ = config_.path + ": " + why;
    return false;
}

std::optional<NandPlace> NandStore::Locate(std::uint32_t row) const {
    NandPlace place;
    place.chip = static_cast<std::uint8_t>(row >> 24);
    if (!config_.HasChip(place.chip)) return std::nullopt;
    const std::uint32_t page = row & (kNandRowPages - 1);
    place.cell = config_.CellOf(place.chip);
    place.block = page / config_.pagesPerBlock;
    place.page = page % config_.pagesPerBlock;
    if (place.block >= config_.blocksPerChip) return std::nullopt;
    return place;
}

bool NandStore::Open(Need need) {
    if (need == Need::Existing ? (file_ || opened_) : (file_ && writable_)) return true;
    file_.reset();  // a read-only file is opened again for writing
    writable_ = need == Need::Created;
    OpenStatus status = OpenStatus::Ok;
    file_ = files_.Open(config_.path, need == Need::Created ? OpenMode::ReadWrite : OpenMode::ReadOnly, status);
    if (!file_) {
        if (need == Need::Existing && status == OpenStatus::Missing) {
            opened_ = true;  // nothing written yet: the rig file's starting point
            return true;
        }
        return Fail("cannot open the NAND file");
    }
    std::uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    PutLittle(header + 8, kVersion, 4);
    header[12] = config_.channels;
    header[13] = config_.chipEnables;
    PutLittle(header + 16, config_.blocksPerChip, 4);
    PutLittle(header + 20, config_.pagesPerBlock, 4);
    PutLittle(header + 24, config_.pageSize, 4);
    std::uint64_t size = 0;
    if (!file_->Size(size)) return Fail("cannot read the NAND file");
    if (size == 0) {
        if (need == Need::Existing) {
            file_.reset();
            opened_ = true;
            return true;
        }
        // The block table starts as zeros (a hole where the file system allows it).
        if (!file_->Truncate(tableEnd_) || !file_->WriteAt(0, header)) return Fail("cannot write the NAND file");
    } else {
        std::uint8_t found[kHeaderSize] = {};
        std::size_t got = 0;
        if (!file_->ReadAt(0, found, got) || got != kHeaderSize || std::memcmp(found, header, kHeaderSize) != 0 ||
            size < tableEnd_) {
            file_.reset();
            return Fail("not a NAND file of this rig's geometry (rigctl reset starts afresh)");
        }
    }
    opened_ = true;
    return true;
}

std::uint64_t NandStore::EntryOffset(std::size_t cell, std::uint32_t block) const {
    return kHeaderSize + (cell * std::uint64_t{config_.blocksPerChip} + block) * kEntrySize;
}

std::uint64_t NandStore::PageOffset(std::uint32_t area, std::uint32_t page) const {
    const std::uint64_t pageBytes = config_.pageSize + kSpareSize;
    return tableEnd_ + (std::uint64_t{area} - 1) * config_.pagesPerBlock * pageBytes + page * pageBytes;
}

bool NandStore::ReadEntry(std::size_t cell, std::uint32_t block, Entry& entry) {
    entry = {};
    if (!Open(Need::Existing)) return false;
    if (!file_) return true;
    std::uint8_t bytes[kEntrySize] = {};
    std::size_t got = 0;
    if (!file_->ReadAt(EntryOffset(cell, block), bytes, got) || got != kEntrySize) {
        return Fail("cannot read the block table");
    }
    entry.flags = bytes[0];
    entry.generation = static_cast<std::uint16_t>(GetLittle(bytes + 2, 2));
    entry.area = static_cast<std::uint32_t>(GetLittle(bytes + 4, 4));
    return true;
}

bool NandStore::WriteEntry(std::size_t cell, std::uint32_t block, const Entry& entry) {
    if (!Open(Need::Created)) return false;
    std::uint8_t bytes[kEntrySize] = {};
    bytes[0] = entry.flags;
    PutLittle(bytes + 2, entry.generation, 2);
    PutLittle(bytes + 4, entry.area, 4);
    if (!file_->WriteAt(EntryOffset(cell, block), bytes)) return Fail("cannot write the block table");
    return true;
}

bool NandStore::Listed(const std::vector<NandBlock>& list, std::size_t cell, std::uint32_t block) const {
    return std::any_of(list.begin(), list.end(),
                       [&](const NandBlock& b) { return config_.CellOf(b.chip) == cell && b.block == block; });
}

bool NandStore::Weak(std::size_t cell, std::uint32_t block) const { return Listed(config_.weak, cell, block); }

bool NandStore::State(std::size_t cell, std::uint32_t block, NandBlockState& state) {
    Entry entry;
    if (!ReadEntry(cell, block, entry)) return false;
    if ((entry.flags & kMarkedBad) != 0 || Listed(config_.bad, cell, block)) {
        state = NandBlockState::Bad;
        return true;
    }
    if ((entry.flags & kErased) == 0 && Listed(config_.system, cell, block)) {
        state = NandBlockState::System;
        return true;
    }
    state = NandBlockState::Good;
    if (entry.area == 0) return true;
    // A block whose first page carries a system tag ("...SYS") holds system data.
    std::uint8_t spare[kSpareSize] = {};
    std::size_t got = 0;
    if (!file_->ReadAt(PageOffset(entry.area, 0) + config_.pageSize, spare, got)) return Fail("cannot read a page");
    NandTag tag{};
    std::copy(spare + 4, spare + 4 + kNandTagSize, tag.begin());
    if (got == kSpareSize && spare[0] == 1 && GetLittle(spare + 2, 2) == entry.generation && IsSystemTag(tag)) {
        state = NandBlockState::System;
    }
    return true;
}

bool NandStore::ReadPage(const NandPlace& place, std::span<std::uint8_t> out, NandTag* tag) {
    std::fill(out.begin(), out.end(), kErasedByte);
    if (tag != nullptr) tag->fill(0);
    Entry entry;
    if (!ReadEntry(place.cell, place.block, entry)) return false;
    if (entry.area != 0) {
        std::vector<std::uint8_t> bytes(config_.pageSize + kSpareSize);
        std::size_t got = 0;
        if (!file_->ReadAt(PageOffset(entry.area, place.page), bytes, got)) return Fail("cannot read a page");
        const std::uint8_t* spare = bytes.data() + config_.pageSize;
        if (got == bytes.size() && spare[0] == 1 && GetLittle(spare + 2, 2) == entry.generation) {
            std::copy_n(bytes.begin(), std::min<std::size_t>(out.size(), config_.pageSize), out.begin());
            if (tag != nullptr) std::copy(spare + 4, spare + 4 + kNandTagSize, tag->begin());
        }
    }
    if (Weak(place.cell, place.block)) {
        const std::uint32_t row = (std::uint32_t{place.chip} << 24) | (place.block * config_.pagesPerBlock + place.page);
        ApplyWeakBitErrors(config_.seed, row, out);
    }
    return true;
}

bool NandStore::ProgramPage(const NandPlace& place, std::span<const std::uint8_t> bytes, const NandTag& tag) {
    Entry entry;
    if (!ReadEntry(place.cell, place.block, entry) || !Open(Need::Created)) return false;
    std::vector<std::uint8_t> page(config_.pageSize + kSpareSize, 0);
    if (entry.area == 0) {
        std::uint64_t size = 0;
        if (!file_->Size(size)) return Fail("cannot read the NAND file");
        const std::uint64_t areaBytes = std::uint64_t{config_.pagesPerBlock} * (config_.pageSize + kSpareSize);
        entry.area = static_cast<std::uint32_t>((std::max(size, tableEnd_) - tableEnd_ + areaBytes - 1) / areaBytes + 1);
        if (!WriteEntry(place.cell, place.block, entry)) return false;
    } else {
        std::size_t got = 0;
        if (!file_->ReadAt(PageOffset(entry.area, place.page), page, got)) return Fail("cannot read a page");
    }
    std::uint8_t* spare = page.data() + config_.pageSize;
    const bool current = spare[0] == 1 && GetLittle(spare + 2, 2) == entry.generation;
    if (!current) std::fill(page.begin(), page.begin() + config_.pageSize, kErasedByte);
    for (std::size_t i = 0; i < config_.pageSize; ++i) {
        page[i] &= i < bytes.size() ? bytes[i] : kErasedByte;
    }
    std::fill(spare, spare + kSpareSize, std::uint8_t{0});
    spare[0] = 1;
    PutLittle(spare + 2, entry.generation, 2);
    std::copy(tag.begin(), tag.end(), spare + 4);
    if (!file_->WriteAt(PageOffset(entry.area, place.page), page)) return Fail("cannot write a page");
    return true;
}

bool NandStore::Erase(std::size_t cell, std::uint32_t block) {
    Entry entry;
    if (!ReadEntry(cell, block, entry)) return false;
    entry.flags |= kErased;
    entry.generation = static_cast<std::uint16_t>(entry.generation + 1);
    if (entry.generation == 0 && entry.area != 0) {
        // After 65536 erases the generations come round: clear the old pages' spares for real.
        std::uint8_t clear[kSpareSize] = {};
        for (std::uint32_t page = 0; page < config_.pagesPerBlock; ++page) {
            if (!Open(Need::Created) || !file_->WriteAt(PageOffset(entry.area, page) + config_.pageSize, clear)) {
                return Fail("cannot write a page");
            }
        }
    }
    return WriteEntry(cell, block, entry);
}

bool NandStore::MarkBad(std::size_t cell, std::uint32_t block) {
    Entry entry;
    if (!ReadEntry(cell, block, entry)) return false;
    entry.flags |= kMarkedBad;
    return WriteEntry(cell, block, entry);
}

}  // namespace rig
