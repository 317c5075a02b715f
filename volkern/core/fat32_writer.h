#pragma once
// Writes a fresh FAT32 volume, and a master boot record that holds one FAT32 partition.

#include <cstdint>

#include "fat32_layout.h"
#include "on_disk_records.h"
#include "sector_sink.h"
#include "volume_identity.h"

namespace volkern {

// The boot sector of `layout`.
Fat32BootSector MakeBootSector(const Fat32Layout& layout, const VolumeIdentity& identity);

// Writes the volume of `layout` onto `sink`: first the old boot sector is cleared (an
// interrupted build leaves no volume that looks whole), then the reserved area, both FATs and
// the root directory's cluster are cleared and their heads written (the label entry first in the
// root directory), FSInfo and the backups, and last the boot sector. Data clusters are not
// touched. False when a write failed.
bool WriteFat32(SectorSink& sink, const Fat32Layout& layout, const VolumeIdentity& identity);

// A master boot record with one FAT32 (LBA) partition of `sectors` sectors at `firstLba`.
MasterBootRecord MakeMasterBootRecord(std::uint32_t diskSignature, std::uint32_t firstLba, std::uint32_t sectors);

// Writes that record at sector 0 of a disk of `diskSectors` sectors, and clears the sectors a GPT
// keeps at the disk's start and end so that no old partition table outlives it.
bool WritePartitionTable(SectorSink& sink, std::uint64_t diskSectors, const MasterBootRecord& record);

}  // namespace volkern
