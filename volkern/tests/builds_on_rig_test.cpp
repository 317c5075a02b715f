// The drive and physical-disk builds on the simulated enclosure, through the same device stack the
// programs use: what lands on the disk, what is refused, and that refused builds write nothing.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "rig/core/rig.h"
#include "rig/core/rig_device_stack.h"
#include "rig/core/rig_files.h"
#include "rig/tests/rig_fixture.h"
#include "volkern/core/boot_sector_reader.h"
#include "volkern/core/build_operations.h"
#include "volkern/core/device_sink.h"
#include "volkern/core/disk_lookup.h"

namespace {

const std::string kInterfaceBase = "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#";
// About the smallest disk FAT32 fits on, so that the builds take few commands.
constexpr std::uint32_t kFirstDiskSectors = 0x11800;
const std::string kInterfaceTail = "&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// Enclosure 1 (device 1): 35 MiB with drive E:; enclosure 2 (device 2): the "system" disk with
// C: and D:; enclosure 3 (device 3): 4096-byte sectors with G:; a CD-ROM letter R: on enclosure 1.
std::string RigText() {
    auto enclosure = [](int number, const char* sectors, const char* extra) {
        return std::string("[enclosure]\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4") + char('0' + number) +
               "\nsectors = " + sectors + "\ninterface = " + kInterfaceBase + "000" + char('0' + number) +
               kInterfaceTail + "\n" + extra;
    };
    return enclosure(1, "0x11800", "drive = E: E\ncdrom = R:\n") +
           enclosure(2, "0x40000", "drive = C: C\ndrive = D: D\n") +
           enclosure(3, "0x10000", "sector_size = 4096\ndrive = G: G\n");
}

class BuildsOnRig : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = folder.File("builds.rig");
        rig_test::WriteTextFile(path, RigText());
        std::string error;
        auto machine = rig::Rig::Load(rig::PlatformFileSystem(), path, error);
        ASSERT_TRUE(machine) << error;
        stack = std::make_unique<rig::RigDeviceStack>(machine);
    }

    volkern::FormatRequest Request(const char* label = "RIG") {
        VolkernParameters block{};
        block.label = label;
        const auto read = volkern::ReadRequest(block, volkern::BuildTime{2026, 12, 7, 12, 0, 0, 0});
        EXPECT_EQ(read.error, VOLKERN_OK);
        return read.request;
    }

    // Sector `sector` of disk `number`, read through the stack.
    std::array<std::uint8_t, 512> SectorOf(int number, std::uint64_t sector) {
        volkern::OpenDevice disk(*stack, kInterfaceBase + "000" + char('0' + number) + kInterfaceTail, 0);
        std::array<std::uint8_t, 512> bytes{};
        volkern::DeviceSink sink(*stack, disk.Handle(), 0, 0x40000);
        EXPECT_TRUE(sink.Read(sector, bytes));
        return bytes;
    }
    volkern::VolumeFound VolumeOn(int number) {
        volkern::OpenDevice disk(*stack, kInterfaceBase + "000" + char('0' + number) + kInterfaceTail, 0);
        volkern::DeviceSink sink(*stack, disk.Handle(), 0, 0x40000);
        return volkern::FindFat32Volume(sink);
    }

    rig_test::TestFolder folder;
    std::unique_ptr<rig::RigDeviceStack> stack;
    const volkern::SystemFacts system{"C"};
};

TEST_F(BuildsOnRig, PhysicalDiskGetsOnePartitionWithAFat32Volume) {
    const auto result = volkern::BuildPhysicalDisk(*stack, system, 1, Request(), true);
    ASSERT_EQ(result.status, VOLKERN_OK);
    const auto found = VolumeOn(1);
    ASSERT_EQ(found.error, volkern::ReadError::None);
    EXPECT_EQ(found.layout.volumeStart, 2048u);
    EXPECT_EQ(found.layout.totalSectors, kFirstDiskSectors - 2048u);
    EXPECT_EQ(found.layout.RootSector(), result.rootSector);
    EXPECT_EQ(SectorOf(1, result.rootSector)[0], 'R') << "the label entry";

    // A partition smaller than the disk: the old GPT's backup at the disk's end goes all the same.
    {
        volkern::OpenDevice disk(*stack, kInterfaceBase + "0001" + kInterfaceTail, 0);
        volkern::DeviceSink sink(*stack, disk.Handle(), 0, kFirstDiskSectors);
        std::array<std::uint8_t, 512> header{};
        header.fill(0x45);
        ASSERT_TRUE(sink.Write(kFirstDiskSectors - 1, header));
    }
    auto part = Request();
    part.sectorCount = kFirstDiskSectors - 64;
    ASSERT_EQ(volkern::BuildPhysicalDisk(*stack, system, 1, part, true).status, VOLKERN_OK);
    EXPECT_EQ(SectorOf(1, kFirstDiskSectors - 1), (std::array<std::uint8_t, 512>{}));
    EXPECT_EQ(VolumeOn(1).layout.totalSectors, kFirstDiskSectors - 64 - 2048);

    // Building again keeps the disk signature the first build gave the disk.
    const auto signature = SectorOf(1, 0);
    auto again = Request();
    again.identity.serial ^= 0xFFFF;
    ASSERT_EQ(volkern::BuildPhysicalDisk(*stack, system, 1, again, false).status, VOLKERN_OK);
    const auto second = SectorOf(1, 0);
    EXPECT_TRUE(std::equal(signature.begin() + 440, signature.begin() + 444, second.begin() + 440));
}

TEST_F(BuildsOnRig, RefusedDisksAreNotWritten) {
    EXPECT_EQ(volkern::BuildPhysicalDisk(*stack, system, 2, Request(), true).status, VOLKERN_ERROR_SYSTEM_DISK);
    EXPECT_EQ(SectorOf(2, 0), (std::array<std::uint8_t, 512>{}));
    EXPECT_EQ(volkern::BuildPhysicalDisk(*stack, system, 9, Request(), true).status, VOLKERN_ERROR_NO_SUCH_DISK);
    EXPECT_EQ(volkern::BuildPhysicalDisk(*stack, system, 3, Request(), true).status, VOLKERN_ERROR_SECTOR_SIZE);
    // More sectors than the disk holds, fewer than FAT32 needs.
    auto tooLarge = Request();
    tooLarge.sectorCount = kFirstDiskSectors + 1;
    EXPECT_EQ(volkern::BuildPhysicalDisk(*stack, system, 1, tooLarge, true).status, VOLKERN_ERROR_SIZE_TOO_LARGE);
    auto tooSmall = Request();
    tooSmall.sectorCount = 0x8000;
    EXPECT_EQ(volkern::BuildPhysicalDisk(*stack, system, 1, tooSmall, true).status, VOLKERN_ERROR_SIZE_TOO_SMALL);
    EXPECT_EQ(SectorOf(1, 0), (std::array<std::uint8_t, 512>{}));
    // When where the system lies cannot be read (a CD-ROM letter has no disk extents), nothing is
    // formatted at all.
    EXPECT_EQ(volkern::BuildPhysicalDisk(*stack, volkern::SystemFacts{"R"}, 1, Request(), true).status,
              VOLKERN_ERROR_SYSTEM_UNKNOWN);
    EXPECT_EQ(SectorOf(1, 0), (std::array<std::uint8_t, 512>{}));
}

TEST_F(BuildsOnRig, DriveIsFormattedInsideItsPartitionOnly) {
    // E: is enclosure 1's one letter: from 1 MiB to the end of the disk.
    const auto result = volkern::BuildDrive(*stack, system, 'e', Request("Drive E"));
    ASSERT_EQ(result.status, VOLKERN_OK);
    const auto boot = SectorOf(1, 2048);
    const auto layout = volkern::ParseFat32BootSector(boot, 2048);
    ASSERT_TRUE(layout);
    EXPECT_EQ(boot[28] | (boot[29] << 8), 2048) << "hidden sectors: where the partition starts";
    EXPECT_EQ(layout->totalSectors, kFirstDiskSectors - 2048u);
    EXPECT_EQ(layout->RootSector() - 2048, result.rootSector);
    EXPECT_EQ(SectorOf(1, 0), (std::array<std::uint8_t, 512>{})) << "the partition table is not the drive's";
    // The same by number (E: = 4).
    EXPECT_EQ(volkern::BuildDrive(*stack, system, 4, Request()).status, VOLKERN_OK);

    // A sink never leaves its window, whatever it is asked.
    volkern::OpenDevice disk(*stack, kInterfaceBase + "0001" + kInterfaceTail, 0);
    volkern::DeviceSink window(*stack, disk.Handle(), 2048, 16);
    const std::array<std::uint8_t, 1024> two{};
    EXPECT_FALSE(window.Write(2047, two));
    EXPECT_FALSE(window.Write(2063, two)) << "the second sector is past the end";
    EXPECT_FALSE(window.Write(2048, std::span(two).first(100))) << "not whole sectors";
    EXPECT_TRUE(window.Write(2062, two));
}

TEST_F(BuildsOnRig, SystemDrivesAndOtherVolumesAreRefused) {
    EXPECT_EQ(volkern::BuildDrive(*stack, system, 'C', Request()).status, VOLKERN_ERROR_SYSTEM_DRIVE);
    EXPECT_EQ(volkern::BuildDrive(*stack, system, 'D', Request()).status, VOLKERN_ERROR_SYSTEM_DRIVE)
        << "a letter on the system's disk";
    EXPECT_EQ(volkern::BuildDrive(*stack, system, 'R', Request()).status, VOLKERN_ERROR_BAD_DRIVE) << "a CD-ROM";
    EXPECT_EQ(volkern::BuildDrive(*stack, system, 'Q', Request()).status, VOLKERN_ERROR_BAD_DRIVE) << "absent";
    EXPECT_EQ(volkern::BuildDrive(*stack, system, 26, Request()).status, VOLKERN_ERROR_BAD_DRIVE);
    EXPECT_EQ(volkern::BuildDrive(*stack, system, -1, Request()).status, VOLKERN_ERROR_BAD_DRIVE);
    EXPECT_EQ(volkern::BuildDrive(*stack, system, 'G', Request()).status, VOLKERN_ERROR_SECTOR_SIZE);
    EXPECT_EQ(SectorOf(2, 2048), (std::array<std::uint8_t, 512>{}));
}

}  // namespace
