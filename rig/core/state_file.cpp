#include "state_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace rig {
namespace {

constexpr char kMagic[8] = {'R', 'I', 'G', 'S', 'T', 'A', 'T', 'E'};
// 2: the records end with the failing commands; 3: then the flash areas, partition area and eject answer
constexpr std::uint32_t kVersion = 3;
constexpr std::uint64_t kHeaderSize = kStateHeaderSize;
constexpr std::size_t kUnpluggedOffset = 20;  // 4 bytes: bit n set while enclosure n is unplugged

void PutLittle32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittle32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
           (std::uint32_t{at[3]} << 24);
}

std::array<std::uint8_t, kHeaderSize> Header(std::uint32_t count) {
    std::array<std::uint8_t, kHeaderSize> header{};
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    PutLittle32(&header[8], kVersion);
    PutLittle32(&header[12], static_cast<std::uint32_t>(StateRecordSize()));
    PutLittle32(&header[16], count);
    return header;
}

std::uint64_t RecordOffset(std::size_t index) { return kHeaderSize + std::uint64_t{index} * StateRecordSize(); }

// Older records are prefixes of the current ones: version 1 lacks the failing-command rules and
// everything after them, version 2 what version 3 appended.
constexpr std::size_t kRulesBytes = kMaxFaultRules * (2 + 2 * kFaultPatternBytes);

std::size_t OldRecordSize(std::uint32_t version) {
    const std::size_t version2 = StateRecordSize() - StateVersion3Bytes();
    return version == 1 ? version2 - kRulesBytes : version2;
}

bool IsOlderVersion(const std::array<std::uint8_t, kHeaderSize>& header) {
    if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0) return false;
    const std::uint32_t version = GetLittle32(&header[8]);
    return (version == 1 || version == 2) && GetLittle32(&header[12]) == OldRecordSize(version);
}

}  // namespace

// A state file of an older version keeps its devices: each record keeps what it holds, rules
// that fail nothing stand in for missing ones, and the fields added since get their initial
// values. The header then names the current version.
bool StateFile::Upgrade(const std::array<std::uint8_t, kHeaderSize>& header, std::string& error) {
    const std::uint32_t version = GetLittle32(&header[8]);
    const std::uint32_t count = GetLittle32(&header[16]);
    const std::size_t oldSize = OldRecordSize(version);
    std::uint64_t size = 0;
    if (count > kMaxEnclosures || !file_.Size(size) || size < kHeaderSize + std::uint64_t{count} * oldSize) {
        error = "the state file is damaged (rigctl reset starts afresh)";
        return false;
    }
    std::vector<std::uint8_t> records;
    records.reserve(std::size_t{count} * StateRecordSize());
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = records.size();
        SerializeState(i < config_.enclosures.size() ? DefaultState(config_.enclosures[i], i) : DeviceState{},
                       records);
        const std::size_t rulesAt = at + OldRecordSize(2) - kRulesBytes;
        std::fill(records.begin() + static_cast<std::ptrdiff_t>(rulesAt),
                  records.begin() + static_cast<std::ptrdiff_t>(rulesAt + kRulesBytes), std::uint8_t{0});
        std::size_t got = 0;
        const std::span<std::uint8_t> record(&records[at], oldSize);
        if (!file_.ReadAt(kHeaderSize + std::uint64_t{i} * oldSize, record, got) || got != oldSize) {
            error = "cannot read the state file";
            return false;
        }
    }
    auto upgraded = Header(count);
    std::copy(header.begin() + kUnpluggedOffset, header.end(), upgraded.begin() + kUnpluggedOffset);
    if (!file_.WriteAt(kHeaderSize, records) || !file_.WriteAt(0, upgraded)) {
        error = "cannot write the state file";
        return false;
    }
    return true;
}

bool StateFile::WriteFresh(std::string& error) {
    if (!file_.Truncate(0)) {
        error = "cannot empty the state file";
        return false;
    }
    const auto count = static_cast<std::uint32_t>(config_.enclosures.size());
    if (!file_.WriteAt(0, Header(0))) {
        error = "cannot write the state file";
        return false;
    }
    return Extend(count, error);
}

// Appends default records from the file's count up to `count`, then records the new count.
bool StateFile::Extend(std::uint32_t count, std::string& error) {
    std::array<std::uint8_t, kHeaderSize> header{};
    std::size_t got = 0;
    if (!file_.ReadAt(0, header, got) || got != kHeaderSize) {
        error = "cannot read the state file";
        return false;
    }
    std::vector<std::uint8_t> record;
    for (std::uint32_t i = GetLittle32(&header[16]); i < count; ++i) {
        record.clear();
        SerializeState(DefaultState(config_.enclosures[i], i), record);
        if (!file_.WriteAt(RecordOffset(i), record)) {
            error = "cannot write the state file";
            return false;
        }
    }
    auto updated = Header(count);
    std::copy(header.begin() + kUnpluggedOffset, header.end(), updated.begin() + kUnpluggedOffset);
    if (!file_.WriteAt(0, updated)) {
        error = "cannot write the state file";
        return false;
    }
    return true;
}

bool StateFile::ReadHeader(std::uint32_t& count, std::string& error) {
    std::uint64_t size = 0;
    if (!file_.Size(size)) {
        error = "cannot read the state file";
        return false;
    }
    if (size == 0 && !WriteFresh(error)) return false;
    std::array<std::uint8_t, kHeaderSize> header{};
    std::size_t got = 0;
    if (!file_.ReadAt(0, header, got)) {
        error = "cannot read the state file";
        return false;
    }
    if (got == kHeaderSize && IsOlderVersion(header)) {
        if (!Upgrade(header, error)) return false;
        if (!file_.ReadAt(0, header, got)) {
            error = "cannot read the state file";
            return false;
        }
    }
    const auto expected = Header(0);
    if (got != kHeaderSize || std::memcmp(header.data(), expected.data(), 16) != 0) {
        error = "the state file is damaged or from another rig version (rigctl reset starts afresh)";
        return false;
    }
    count = GetLittle32(&header[16]);
    if (count > kMaxEnclosures || !file_.Size(size) || size < RecordOffset(count)) {
        error = "the state file is damaged (rigctl reset starts afresh)";
        return false;
    }
    return true;
}

bool StateFile::Load(std::size_t index, DeviceState& state, std::string& error) {
    if (index >= config_.enclosures.size()) {
        error = "no enclosure " + std::to_string(index);
        return false;
    }
    std::uint32_t count = 0;
    if (!ReadHeader(count, error)) return false;
    if (count < config_.enclosures.size() && !Extend(static_cast<std::uint32_t>(config_.enclosures.size()), error)) {
        return false;
    }
    loaded_.assign(StateRecordSize(), 0);
    std::size_t got = 0;
    if (!file_.ReadAt(RecordOffset(index), loaded_, got) || got != loaded_.size()) {
        error = "cannot read the state file";
        return false;
    }
    if (!DeserializeState(loaded_, state)) {
        error = "the state record of enclosure " + std::to_string(index) + " is damaged (rigctl reset starts afresh)";
        return false;
    }
    return true;
}

bool StateFile::Save(std::size_t index, const DeviceState& state, std::string& error) {
    std::vector<std::uint8_t> record;
    SerializeState(state, record);
    if (record == loaded_) return true;
    if (!file_.WriteAt(RecordOffset(index), record)) {
        error = "cannot write the state file";
        return false;
    }
    loaded_ = std::move(record);
    return true;
}

bool StateFile::ReadUnplugged(std::uint32_t& mask, std::string& error) {
    std::uint32_t count = 0;
    if (!ReadHeader(count, error)) return false;
    std::array<std::uint8_t, 4> bytes{};
    std::size_t got = 0;
    if (!file_.ReadAt(kUnpluggedOffset, bytes, got) || got != bytes.size()) {
        error = "cannot read the state file";
        return false;
    }
    mask = GetLittle32(bytes.data());
    return true;
}

bool StateFile::WriteUnplugged(std::uint32_t mask, std::string& error) {
    std::uint32_t count = 0;
    if (!ReadHeader(count, error)) return false;
    std::array<std::uint8_t, 4> bytes{};
    PutLittle32(bytes.data(), mask);
    if (!file_.WriteAt(kUnpluggedOffset, bytes)) {
        error = "cannot write the state file";
        return false;
    }
    return true;
}

bool StateFile::Reset(std::string& error) {
    loaded_.clear();
    return WriteFresh(error);
}

}  // namespace rig
