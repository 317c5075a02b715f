#include "volkern/core/boot_sector_reader.h"

#include <gtest/gtest.h>

#include "memory_sink.h"
#include "volkern/core/fat32_writer.h"

namespace {

using volkern_test::MemorySink;
using volkern_test::Sector;

volkern::VolumeIdentity Identity() {
    volkern::VolumeIdentity identity;
    identity.label = *volkern::FatLabel("");
    identity.oemName = *volkern::OemName("TEST");
    return identity;
}

Sector BootOf(const volkern::Fat32Layout& layout) {
    const auto boot = volkern::MakeBootSector(layout, Identity());
    Sector sector;
    std::memcpy(sector.data(), &boot, sizeof boot);
    return sector;
}

TEST(BootSectorReader, ReadsBackWhatTheWriterMade) {
    for (std::uint64_t sectors : {std::uint64_t{131072}, std::uint64_t{4194304}, std::uint64_t{629145600}}) {
        const auto layout = volkern::PlanFat32(0, sectors, 0).layout;
        const auto read = volkern::ParseFat32BootSector(BootOf(layout), 0);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->RootSector(), layout.RootSector());
        EXPECT_EQ(read->clusters, layout.clusters);
        EXPECT_EQ(read->fatSectors, layout.fatSectors);
    }
}

TEST(BootSectorReader, RefusesInconsistentFields) {
    const auto layout = volkern::PlanFat32(0, 131072, 0).layout;
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    for (const Damage& d : {Damage{"signature", 510, 0}, Damage{"sector size", 12, 0x04},
                            Damage{"cluster size", 13, 3}, Damage{"no reserved sectors", 15, 0}, Damage{"no FATs", 16, 0},
                            Damage{"FAT16 root entries", 17, 1}, Damage{"16-bit FAT size", 22, 1},
                            Damage{"FAT too small", 38, 0}, Damage{"root cluster 0", 44, 0},
                            Damage{"root cluster past the end", 47, 0x40}, Damage{"no sectors", 35, 0}}) {
        Sector sector = BootOf(layout);
        if (d.at == 15) sector[14] = 0;  // both bytes of the reserved count
        if (d.at == 38) {
            sector[36] = 1;
            sector[37] = 0;
        }
        if (d.at == 35) {
            sector[32] = sector[33] = sector[34] = 0;
        }
        sector[d.at] = d.value;
        EXPECT_FALSE(volkern::ParseFat32BootSector(sector, 0)) << d.what;
    }
}

TEST(BootSectorReader, FindsTheVolumeInAPartition) {
    const std::uint64_t disk = 300000;
    MemorySink sink(disk);
    const auto layout = volkern::PlanFat32(2048, disk - 2048, 0).layout;
    ASSERT_TRUE(volkern::WritePartitionTable(
        sink, disk, volkern::MakeMasterBootRecord(1, 2048, static_cast<std::uint32_t>(disk - 2048))));
    ASSERT_TRUE(volkern::WriteFat32(sink, layout, Identity()));
    const auto found = volkern::FindFat32Volume(sink);
    ASSERT_EQ(found.error, volkern::ReadError::None);
    EXPECT_EQ(found.layout.volumeStart, 2048u);
    EXPECT_EQ(found.layout.RootSector(), layout.RootSector());
}

TEST(BootSectorReader, ReportsNoVolumeAndFailedReads) {
    MemorySink empty(1000);
    EXPECT_EQ(volkern::FindFat32Volume(empty).error, volkern::ReadError::NotFat32);
    MemorySink none(0);
    EXPECT_EQ(volkern::FindFat32Volume(none).error, volkern::ReadError::ReadFailed);
    // An MBR whose FAT32 partition points past the end of the target.
    MemorySink shortDisk(100);
    ASSERT_TRUE(volkern::WritePartitionTable(shortDisk, 100, volkern::MakeMasterBootRecord(1, 2048, 5000)));
    EXPECT_EQ(volkern::FindFat32Volume(shortDisk).error, volkern::ReadError::ReadFailed);
}

}  // namespace
