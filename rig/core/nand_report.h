#pragma once
// rigctl's views of a flash-controller enclosure's NAND: a chip's block map and one page.

#include <cstdint>
#include <ostream>

#include "nand_store.h"

namespace rig {

// One line per 64 blocks: '.' good, 'B' bad, 'S' system, 'w' good but weak; then the lists.
bool PrintNandMap(NandStore& nand, std::uint8_t chip, std::ostream& out, std::string& error);
// The page at a row address: where it lies, its tag and its bytes (16 a line; repeated lines as '*').
bool PrintNandPage(NandStore& nand, std::uint32_t row, std::ostream& out, std::string& error);

}  // namespace rig
