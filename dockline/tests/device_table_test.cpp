// The device table built from the component's list: which records are taken and every field.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "device_list_builder.h"

namespace {

using dockline_test::ListedDevice;
using dockline_test::Mask;

TEST(DeviceTable, TakesConnectedMakersRecordsInListOrder) {
    auto list = std::make_unique<dockline::DeviceList>();
    dockline_test::Put(*list, {3, "4327", "EF", "\\\\?\\usbstor#first", "Backup Box 16chr!", 0x1A2B, 0x3C4D});
    dockline_test::Put(*list, {5, "9999", "K", "\\\\?\\usbstor#second"});
    dockline_test::Put(*list, {7, "3452", "G", "\\\\?\\usbstor#third"});
    dockline_test::Put(*list, {8, "4353", "", "\\\\?\\usbstor#fourth"});
    dockline_test::Put(*list, {9, "4327", "H", "\\\\?\\usbstor#unplugged"});
    (*list)[9].connected = 0;
    dockline_test::Put(*list, {10, "4327", "I", "\\\\?\\usbstor#not-in-the-tree"});
    (*list)[10].hubDepth = 0;
    dockline_test::Put(*list, {11, "4327", "J", "\\\\?\\usbstor#foreign"});
    (*list)[11].disk.isTovi = 0;

    auto table = std::make_unique<common::DeviceTable>();
    std::memset(table.get(), 0xAB, sizeof *table);  // whatever an earlier table left
    dockline::BuildDeviceTable(*list, *table);

    ASSERT_EQ(table->count, 4);
    EXPECT_EQ(table->reserved[0] | table->reserved[1] | table->reserved[2], 0);
    const common::DeviceTableEntry& first = table->entries[0];
    EXPECT_EQ(first.listIndex, 3);
    EXPECT_EQ(+first.modelCode, 1);
    EXPECT_STREQ(first.devicePath, "\\\\?\\usbstor#first");
    EXPECT_EQ(first.driveLetterCount, 2);
    EXPECT_EQ(std::string(first.driveLetters, 3), std::string("EF\0", 3));
    EXPECT_EQ(std::string(first.productText, 16), "Backup Box 16chr");
    EXPECT_EQ(first.reserved2[0], 0) << "the byte after the product text ends it";
    EXPECT_EQ(+first.vendorId, 0x1A2B);
    EXPECT_EQ(+first.productId, 0x3C4D);
    EXPECT_EQ(table->entries[1].listIndex, 5);
    EXPECT_EQ(+table->entries[1].modelCode, 0);
    EXPECT_EQ(+table->entries[2].modelCode, 2);
    EXPECT_EQ(+table->entries[3].modelCode, 3);

    const common::DeviceTableEntry zero{};
    for (int i = 4; i < 32; ++i) EXPECT_EQ(std::memcmp(&table->entries[i], &zero, sizeof zero), 0) << i;
    EXPECT_TRUE(dockline::HasPolledDevice(*table));
}

TEST(DeviceTable, UnterminatedAndOversizedFieldsStayInTheirPlace) {
    auto list = std::make_unique<dockline::DeviceList>();
    dockline_test::Put(*list, {0, "4327", "", ""});
    devio::DiskPathEntry& disk = (*list)[0].disk;
    std::memset(disk.devicePath, 'p', sizeof disk.devicePath);
    std::memset(disk.driveLetters, 'Q', sizeof disk.driveLetters);
    disk.driveLetterCount = 200;
    std::memset(disk.inquiryData + 16, 'n', 16);

    auto table = std::make_unique<common::DeviceTable>();
    dockline::BuildDeviceTable(*list, *table);
    const common::DeviceTableEntry& entry = table->entries[0];
    EXPECT_EQ(std::strlen(entry.devicePath), 254u);
    EXPECT_EQ(entry.driveLetterCount, 25) << "no more letters than the disk record holds";
    EXPECT_EQ(entry.driveLetters[24], 'Q');
    EXPECT_EQ(entry.driveLetters[25], 0);
    EXPECT_EQ(entry.reserved2[0], 0);
}

TEST(DeviceTable, KnownDriveMasksAndPolling) {
    auto list = std::make_unique<dockline::DeviceList>();
    auto table = std::make_unique<common::DeviceTable>();
    dockline::BuildDeviceTable(*list, *table);
    EXPECT_FALSE(dockline::IsKnownDriveMask(*table, 0xFFFFFFFF)) << "empty table";
    EXPECT_FALSE(dockline::HasPolledDevice(*table));

    dockline_test::Put(*list, {0, "3452", "EF", "a"});
    dockline_test::Put(*list, {1, "4353", "Z", "b"});
    dockline::BuildDeviceTable(*list, *table);
    EXPECT_TRUE(dockline::IsKnownDriveMask(*table, Mask('F')));
    EXPECT_TRUE(dockline::IsKnownDriveMask(*table, Mask('C') | Mask('Z')));
    EXPECT_FALSE(dockline::IsKnownDriveMask(*table, Mask('G')));
    EXPECT_FALSE(dockline::IsKnownDriveMask(*table, 0xFC000000)) << "bits above Z name no drive";
    EXPECT_FALSE(dockline::HasPolledDevice(*table)) << "models 2 and 3 are not polled";
}

}  // namespace
