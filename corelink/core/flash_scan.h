#pragma once
// The raw NAND scan: every block of every chip of a chip record, by the controller's bad-block
// command, into the record's bitmaps (bit set = bad) and counters (bad blocks per cell).
//
// The controller's xdata registers 0x2300 (geometry, bits 0..1 = pages per block: 0 for 64, 1
// for 128, 2 for 256, 3 for 512) and 0x2360 (bit 0 hides the system blocks' marks) are read
// first; 0x2300 is set for the scan, 0x2360 toggled per group and restored on every way out (an
// early stop, an exception). The result is 1 only when every cell was scanned and the restoring
// write succeeded: a scan that stopped early (0x2300 refused 10 times, a step's ninth failure, a
// cell with too many bad blocks under flags bit 1) is 0, its table only partly filled.
//
// Refused with 0 before anything is sent: no handle array, a record that is not usable (CE or CH
// 0 or above 4, a cell without its bitmap), pages per block other than 64, 128, 256 or 512. When
// a register cannot be read nothing is written to the controller and the result is 0.
//
// flags: bit 0 erase system blocks (block status read), bit 1 stop when a cell has 7 x entryBytes
// bad blocks or more, bit 2 erase good blocks, bit 6 one pass (the mode bit stays clear), bit 7
// write the scan's lines to BadBlockRec.txt in the dump folder.

#include <cstdint>

#include "corelink/core/flash_session.h"

namespace corelink {

inline constexpr std::uint16_t kGeometryRegister = 0x2300;
inline constexpr std::uint16_t kSystemModeRegister = 0x2360;

int ScanFlashBlock(FlashSession& session, std::uint8_t* chipRecord, std::uint16_t pagesPerBlock,
                   std::uint16_t scanValue, std::uint8_t flags);

// One xdata byte through the memory commands (code 0x04 / 0x05).
bool ReadXdataByte(FlashSession& session, std::uint16_t address, std::uint8_t& value);
bool WriteXdataByte(FlashSession& session, std::uint16_t address, std::uint8_t value);

}  // namespace corelink
