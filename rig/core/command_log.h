#pragma once
// The command log: every request the emulated controllers receive, byte for byte, with the
// status they answered (format: rig/README.md). Tests read it to check exact CDBs.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pass_through_request.h"

namespace rig {

inline constexpr std::size_t kLogFileHeaderSize = 8;
inline constexpr std::size_t kLogRecordFixedSize = 56;

struct LogRecord {
    std::uint16_t enclosure = 0;
    std::uint8_t status = 0;
    devio::ScsiPassThroughHeader header{};  // as received
    std::vector<std::uint8_t> dataOut;
};

std::vector<std::uint8_t> LogFileHeader();
void EncodeLogRecord(std::size_t enclosure, const PassThroughCommand& command, std::uint8_t status,
                     std::vector<std::uint8_t>& out);

struct ParsedLog {
    std::vector<LogRecord> records;
    std::string error;  // empty when every byte belonged to a whole record
};

// Bounded: reads only `bytes`; stops at the first damaged or torn record.
ParsedLog ParseCommandLog(std::span<const std::uint8_t> bytes);

// "EE 80 00 ..." for the first `count` bytes, as the log's readers show CDBs and data.
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);

}  // namespace rig
