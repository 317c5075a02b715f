// The records that cross between the component and the programs: arrays of them are back to
// back, so record k of each list starts where the other side expects it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "common/core/device_list.h"
#include "common/core/device_table.h"

namespace {

template <typename Record, std::size_t N>
std::ptrdiff_t OffsetOfRecord(const Record (&records)[N], std::size_t k) {
    return reinterpret_cast<const std::uint8_t*>(&records[k]) - reinterpret_cast<const std::uint8_t*>(&records[0]);
}

TEST(DeviceLayouts, RecordsOfEveryListLieBackToBack) {
    static common::DeviceTable table;
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(&table.entries[5]) - reinterpret_cast<const std::uint8_t*>(&table),
              4 + 832 * 5);

    static devio::DeviceListEntry deviceList[devio::kDeviceListRecords];
    static devio::DiskPathEntry diskPathList[devio::kDiskPathListRecords];
    static devio::HubListRecord hubList[devio::kHubListRecords];
    EXPECT_EQ(OffsetOfRecord(deviceList, 31), 31 * 2528);
    EXPECT_EQ(OffsetOfRecord(diskPathList, 31), 31 * 684);
    EXPECT_EQ(OffsetOfRecord(hubList, 31), 31 * 540);
    EXPECT_EQ(sizeof deviceList, 80896u);
    EXPECT_EQ(sizeof diskPathList, 21888u);
    EXPECT_EQ(sizeof hubList, 17280u);
}

}  // namespace
