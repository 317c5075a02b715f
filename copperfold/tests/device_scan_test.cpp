// The device table built from a scan's device list.
#include "copperfold/core/device_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using copperfold::BuildDeviceTable;
using copperfold::DeviceList;

void MakeDisk(devio::DeviceListEntry& entry, const char* letters, const char* model) {
    entry.hubDepth = 2;
    entry.connected = 1;
    entry.disk.isTovi = 1;
    entry.vendorId = 0x1234;
    entry.productId = 0x5678;
    entry.disk.driveLetterCount = static_cast<std::uint8_t>(std::strlen(letters));
    std::memcpy(entry.disk.driveLetters, letters, std::strlen(letters));
    std::memcpy(entry.disk.inquiryData + 44, model, 4);
    std::strcpy(entry.disk.devicePath, "\\\\?\\usbstor#disk");
}

TEST(DeviceScan, KeepsConnectedMakerDisksInListOrder) {
    auto list = std::make_unique<DeviceList>();
    MakeDisk(list->entries[1], "E", "4327");
    MakeDisk(list->entries[3], "FG", "3452");
    MakeDisk(list->entries[4], "H", "4353");
    list->entries[4].connected = 0;  // unplugged
    MakeDisk(list->entries[5], "I", "9999");
    list->entries[5].hubDepth = 0;  // not on a hub
    MakeDisk(list->entries[6], "J", "4353");
    list->entries[6].disk.isTovi = 0;  // another maker's disk
    MakeDisk(list->entries[9], "K", "4353");
    std::memset(list->entries[9].disk.devicePath, 'p', sizeof list->entries[9].disk.devicePath);  // no NUL

    auto table = std::make_unique<common::DeviceTable>();
    std::memset(table.get(), 0xAB, sizeof *table);  // a stale table: every record is replaced
    BuildDeviceTable(*list, *table);

    ASSERT_EQ(table->count, 3);
    EXPECT_EQ(table->reserved[0], 0xAB);
    EXPECT_EQ(table->entries[0].listIndex, 1);
    EXPECT_EQ(table->entries[0].modelCode, 1);
    EXPECT_STREQ(table->entries[0].devicePath, "\\\\?\\usbstor#disk");
    EXPECT_EQ(table->entries[1].listIndex, 3);
    EXPECT_EQ(table->entries[1].modelCode, 2);
    EXPECT_EQ(table->entries[1].driveLetterCount, 2);
    EXPECT_EQ(std::string(table->entries[1].driveLetters), "FG");
    EXPECT_EQ(table->entries[1].vendorId, 0x1234);
    EXPECT_EQ(table->entries[2].listIndex, 9);
    EXPECT_EQ(table->entries[2].devicePath[254], '\0');
    EXPECT_EQ(table->entries[3].listIndex, 0);  // unused records are zero
    EXPECT_EQ(table->entries[3].driveLetterCount, 0);

    EXPECT_TRUE(copperfold::IsDeviceLetter(*table, L'G'));
    EXPECT_TRUE(copperfold::IsDeviceLetter(*table, L'K'));
    EXPECT_FALSE(copperfold::IsDeviceLetter(*table, L'H'));
    EXPECT_FALSE(copperfold::IsDeviceLetter(*table, L'C'));
    EXPECT_EQ(copperfold::DeviceLetterMask(*table), (1u << 4) | (1u << 5) | (1u << 6) | (1u << 10));
}

TEST(DeviceScan, OnlyCountedRecordsAndTheirLettersCount) {
    common::DeviceTable table{};
    table.count = 1;
    table.entries[0].driveLetterCount = 1;
    std::memcpy(table.entries[0].driveLetters, "EX", 2);  // a second letter beyond the count
    table.entries[1].driveLetterCount = 1;
    table.entries[1].driveLetters[0] = 'F';  // a record beyond the count
    EXPECT_TRUE(copperfold::IsDeviceLetter(table, L'E'));
    EXPECT_FALSE(copperfold::IsDeviceLetter(table, L'X'));
    EXPECT_FALSE(copperfold::IsDeviceLetter(table, L'F'));
    EXPECT_EQ(copperfold::DeviceLetterMask(table), 1u << 4);
    table.entries[0].driveLetterCount = 200;  // corrupt: read no further than the field
    EXPECT_TRUE(copperfold::IsDeviceLetter(table, L'X'));
}

}  // namespace
