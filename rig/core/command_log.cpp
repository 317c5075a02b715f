#include "command_log.h"

#include <cstdio>
#include <cstring>

namespace rig {
namespace {

constexpr char kMagic[6] = {'R', 'I', 'G', 'L', 'O', 'G'};
constexpr std::uint16_t kVersion = 1;

void PutLittle(std::vector<std::uint8_t>& out, std::uint32_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t GetLittle(const std::uint8_t* at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value |= std::uint32_t{at[i]} << (8 * i);
    return value;
}

}  // namespace

std::vector<std::uint8_t> LogFileHeader() {
    std::vector<std::uint8_t> header(kMagic, kMagic + sizeof kMagic);
    PutLittle(header, kVersion, 2);
    return header;
}

void EncodeLogRecord(std::size_t enclosure, const PassThroughCommand& command, std::uint8_t status,
                     std::vector<std::uint8_t>& out) {
    const auto dataOutSize = static_cast<std::uint32_t>(command.dataOut.size());
    PutLittle(out, static_cast<std::uint32_t>(kLogRecordFixedSize) + dataOutSize, 4);
    PutLittle(out, static_cast<std::uint32_t>(enclosure), 2);
    out.push_back(status);
    out.push_back(0);
    PutLittle(out, dataOutSize, 4);
    const auto* header = reinterpret_cast<const std::uint8_t*>(&command.header);
    out.insert(out.end(), header, header + sizeof command.header);
    out.insert(out.end(), command.dataOut.begin(), command.dataOut.end());
}

ParsedLog ParseCommandLog(std::span<const std::uint8_t> bytes) {
    ParsedLog log;
    if (bytes.empty()) return log;
    const auto header = LogFileHeader();
    if (bytes.size() < kLogFileHeaderSize || std::memcmp(bytes.data(), header.data(), kLogFileHeaderSize) != 0) {
        log.error = "not a command log of this rig version";
        return log;
    }
    std::size_t at = kLogFileHeaderSize;
    while (at < bytes.size()) {
        const std::size_t left = bytes.size() - at;
        if (left < kLogRecordFixedSize) {
            log.error = "torn record at byte " + std::to_string(at);
            break;
        }
        const std::uint8_t* record = bytes.data() + at;
        const std::uint32_t size = GetLittle(record, 4);
        const std::uint32_t dataOutSize = GetLittle(record + 8, 4);
        if (dataOutSize > devio::kMaxTransferLength || size != kLogRecordFixedSize + dataOutSize) {
            log.error = "damaged record at byte " + std::to_string(at);
            break;
        }
        if (left < size) {
            log.error = "torn record at byte " + std::to_string(at);
            break;
        }
        LogRecord entry;
        entry.enclosure = static_cast<std::uint16_t>(GetLittle(record + 4, 2));
        entry.status = record[6];
        std::memcpy(&entry.header, record + 12, sizeof entry.header);
        entry.dataOut.assign(record + kLogRecordFixedSize, record + size);
        log.records.push_back(std::move(entry));
        at += size;
    }
    return log;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(byte, sizeof byte, "%s%02X", i == 0 ? "" : " ", bytes[i]);
        text += byte;
    }
    return text;
}

}  // namespace rig
