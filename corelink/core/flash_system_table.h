#pragma once
// Building the flash controller's system tables on a scanned NAND (BuildUFDSystemTable).
//
// The capacity record gives the virtual-block limit V = capacity / (value x count) / (CE x CH x 2)
// + 16 (capacity: 32-bit big-endian at bytes 26..29; value: 16-bit big-endian at 20..21; count:
// byte 22). The build then makes, for t = 0, 1, ... until V virtual blocks are mapped:
//   - TAT t: up to 512 entries, entry i mapping virtual block 512 t + i to a pair of blocks that
//     the allocator found free and that passed the self-test: chip byte, value 3 (both blocks of
//     the pair in use), the pair's first block;
//   - LFT t: entry i = i for each mapped entry (the logical block's TAT entry), 0xFFFF after them;
//   - both written to a pair of their own ("TATSYS", "LFTSYS").
// Last the WCT ("WCTSYS", a pair of its own): entry t of its TAT part = chip byte, 1 and block of
// TAT t's page; its 16-bit part = for each table the chip byte and block of its LFT page, 0xFFFF
// after them.
//
// The allocator walks each cell's bitmap from the cell's map pointer for the next wholly free pair
// (entry 0), marks both blocks used (counter + 2) and self-tests both; a sixth failed pair ends
// it. A used-up cell hands over to the least-used of the first parameter[7] cells that still have
// room (trace "CIndex=%x"); none, or the same cell again, ends the build (" STOP_LOOP"). The
// build starts at cell 0 and goes by parameter[7] alone: parameter[0], the block search's cell
// count, plays no part here (0 there is fine).
//
// The self-test data is not the host process's rand() stream: each call draws from its own
// stream (CrtRandom, seeded with 1 when the call starts), afresh for every unit written, so a
// build writes the same bytes whatever else the process has drawn before.
//
// The result is 1 when every table page was written and read back, else 0. Refused with 0 before
// anything is sent: as CheckTableRequest, more cells in parameter[7] than the record holds, a
// capacity record with a zero divisor, or more than 64 tables (the WCT lists 64).

#include <cstdint>

#include "corelink/core/flash_session.h"

namespace corelink {

inline constexpr std::size_t kCapacityRecordBytes = 30;
inline constexpr std::uint32_t kMaxSystemTables = 64;

int BuildUFDSystemTable(FlashSession& session, std::uint8_t* chipRecord, const std::uint8_t* parameterRecord,
                        const std::uint8_t* capacityRecord);

// The virtual-block limit of a capacity record for `cells` cells; 0 when the record's divisor is 0.
std::uint32_t VirtualBlockLimit(const std::uint8_t* capacityRecord, std::size_t cells);

}  // namespace corelink
