#include "volkern/core/fat32_writer.h"

#include <gtest/gtest.h>

#include "memory_sink.h"
#include "volkern/core/boot_sector_reader.h"

namespace {

using volkern_test::Le16At;
using volkern_test::Le32At;
using volkern_test::MemorySink;
using volkern_test::Sector;

volkern::VolumeIdentity Identity(const char* label) {
    volkern::VolumeIdentity identity;
    identity.label = *volkern::FatLabel(label);
    identity.oemName = *volkern::OemName("VOLKERN");
    identity.serial = 0x1234ABCD;
    identity.dosDate = volkern::DosDate(2026, 12, 7);
    identity.dosTime = volkern::DosTime(15, 30, 10);
    return identity;
}

constexpr std::uint64_t kSectors = 64 * 2048;

TEST(Fat32Writer, WritesBootSectorBackupFsInfoFatsAndLabel) {
    MemorySink sink(kSectors);
    const auto layout = volkern::PlanFat32(0, kSectors, 0).layout;
    ASSERT_TRUE(volkern::WriteFat32(sink, layout, Identity("backup")));

    const Sector boot = sink.At(0);
    EXPECT_EQ(Le16At(boot, 510), 0xAA55);
    EXPECT_EQ(Le16At(boot, 11), 512);
    EXPECT_EQ(boot[13], 1);
    EXPECT_EQ(Le16At(boot, 14), layout.reservedSectors);
    EXPECT_EQ(boot[16], 2);
    EXPECT_EQ(Le32At(boot, 32), kSectors);
    EXPECT_EQ(Le32At(boot, 36), layout.fatSectors);
    EXPECT_EQ(Le32At(boot, 44), 2u);
    EXPECT_EQ(Le32At(boot, 67), 0x1234ABCDu);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[71]), 11), "BACKUP     ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[82]), 8), "FAT32   ");
    EXPECT_EQ(sink.At(6), boot) << "backup boot sector";

    const Sector info = sink.At(1);
    EXPECT_EQ(Le32At(info, 0), 0x41615252u);
    EXPECT_EQ(Le32At(info, 484), 0x61417272u);
    EXPECT_EQ(Le32At(info, 488), layout.clusters - 1);
    EXPECT_EQ(Le32At(info, 492), 3u);
    EXPECT_EQ(Le32At(info, 508), 0xAA550000u);
    EXPECT_EQ(sink.At(7), info) << "backup FSInfo";

    for (std::uint32_t fat = 0; fat < 2; ++fat) {
        const Sector head = sink.At(layout.FatStart(fat));
        EXPECT_EQ(Le32At(head, 0), 0x0FFFFFF8u);
        EXPECT_EQ(Le32At(head, 4), 0x0FFFFFFFu);
        EXPECT_EQ(Le32At(head, 8), 0x0FFFFFFFu) << "root directory: one cluster";
        EXPECT_EQ(Le32At(head, 12), 0u);
    }
    const Sector root = sink.At(layout.RootSector());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&root[0]), 11), "BACKUP     ");
    EXPECT_EQ(root[11], 0x08);
    EXPECT_EQ(Le16At(root, 24), volkern::DosDate(2026, 12, 7));
    EXPECT_EQ(root[32], 0) << "end of directory";
}

TEST(Fat32Writer, OldContentsOfTheMetadataAreCleared) {
    MemorySink sink(kSectors);
    const auto layout = volkern::PlanFat32(0, kSectors, 0).layout;
    // An old file system's leftovers in the reserved area, the FATs and the root cluster.
    for (std::uint64_t s : {std::uint64_t{2}, std::uint64_t{3}, layout.FatStart(0) + 5, layout.FatStart(1) + 9,
                            layout.RootSector(), layout.DataStart() + 100}) {
        sink.Fill(s, 0xCC);
    }
    ASSERT_TRUE(volkern::WriteFat32(sink, layout, Identity("")));
    for (std::uint64_t s : {std::uint64_t{2}, std::uint64_t{3}, layout.FatStart(0) + 5, layout.FatStart(1) + 9,
                            layout.RootSector()}) {
        EXPECT_EQ(sink.At(s), Sector{}) << s;
    }
    EXPECT_EQ(sink.At(layout.DataStart() + 100)[0], 0xCC) << "data clusters are left alone";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&sink.At(0)[71]), 11), "NO NAME    ");
}

TEST(Fat32Writer, AnInterruptedBuildLeavesNoBootSector) {
    const auto layout = volkern::PlanFat32(0, kSectors, 0).layout;
    for (std::uint64_t failAt = 0; failAt < 12; ++failAt) {
        MemorySink sink(kSectors);
        sink.Fill(0, 0xEE);  // an old boot sector
        sink.FailAfter(failAt);
        EXPECT_FALSE(volkern::WriteFat32(sink, layout, Identity("X")));
        const Sector boot = sink.At(0);
        EXPECT_FALSE(volkern::ParseFat32BootSector(boot, 0)) << failAt;
    }
}

TEST(Fat32Writer, PartitionTableHoldsOneFat32PartitionAndClearsGptRemains) {
    const std::uint64_t disk = 4 * kSectors;
    MemorySink sink(disk);
    sink.Fill(1, 0x45);         // a GPT header
    sink.Fill(disk - 1, 0x45);  // its backup
    const auto record = volkern::MakeMasterBootRecord(0xCAFE0001, 2048, static_cast<std::uint32_t>(disk - 2048));
    ASSERT_TRUE(volkern::WritePartitionTable(sink, disk, record));
    const Sector mbr = sink.At(0);
    EXPECT_EQ(Le32At(mbr, 440), 0xCAFE0001u);
    EXPECT_EQ(mbr[446 + 4], 0x0C);
    EXPECT_EQ(Le32At(mbr, 446 + 8), 2048u);
    EXPECT_EQ(Le32At(mbr, 446 + 12), disk - 2048);
    // CHS of LBA 2048 on 255 heads x 63 sectors: cylinder 0, head 32, sector 33.
    EXPECT_EQ(mbr[447], 32);
    EXPECT_EQ(mbr[448], 33);
    EXPECT_EQ(mbr[449], 0);
    EXPECT_EQ(mbr[462], 0) << "no second partition";
    EXPECT_EQ(Le16At(mbr, 510), 0xAA55);
    EXPECT_EQ(sink.At(1), Sector{});
    EXPECT_EQ(sink.At(disk - 1), Sector{});
    EXPECT_EQ(volkern::FirstFat32Partition(mbr), 2048u);
}

}  // namespace
