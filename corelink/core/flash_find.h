#pragma once
// Finding blocks for the controller's in-system programming and CIS copies: free blocks of the
// scanned bitmaps, each self-tested before it is taken. The found-block list is a count byte
// followed by 7-byte records (CorelinkFoundBlock); it must hold 1 + 14 x pairs bytes.
//
// A first pass takes the free block of pairs where one block is already used (entries 2 and 1);
// when it does not reach the target (pairs x 2 blocks) a second pass takes both blocks of wholly
// free pairs. No pairs ask for nothing: the count is set to 0, no block is tested and the result
// is 1. Every tested block is marked used and counted in its cell's counter; a pass ends
// with 0 after a fourth failed test, with 1 when the list holds the target. The result is the
// last pass's.
//
// Refused with 0 before anything is sent: see CheckTableRequest (flash_block_test.h), a cell
// count (parameter[0]) of 0 or beyond the record, more pairs than the count byte can list, a
// null list or parameter record. With option bit 1 and a dump folder the bitmaps are written to
// BlockMap_NN.txt (NN the slot) before the search.

#include <cstdint>

#include "corelink/core/flash_session.h"

namespace corelink {

int FindISPAndCISUseBlock(FlashSession& session, std::uint8_t* chipRecord, std::uint8_t* foundList,
                          const std::uint8_t* parameterRecord);

// The bitmaps of every cell, CE rows outer and CH columns inner, to `name` in the dump folder.
void DumpBlockMap(FlashSession& session, const std::uint8_t* chipRecord, const std::string& name);

}  // namespace corelink
