// Volume broadcasts: only arrivals and removals of volumes, only from records long enough.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/core/volume_change.h"

namespace {

std::vector<std::uint8_t> Record(std::uint32_t size, std::uint32_t type, std::uint32_t mask) {
    common::VolumeRecord record{};
    record.header.size = size;
    record.header.deviceType = type;
    record.unitMask = mask;
    std::vector<std::uint8_t> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

TEST(VolumeChange, ArrivalAndRemovalOfVolumes) {
    const auto bytes = Record(20, 2, 0x10);
    const auto arrival = common::DecodeVolumeChange(0x8000, bytes.data(), common::ReadableVolumeBytes(20));
    ASSERT_TRUE(arrival);
    EXPECT_TRUE(arrival->arrival);
    EXPECT_EQ(arrival->unitMask, 0x10u);
    const auto removal = common::DecodeVolumeChange(0x8004, bytes.data(), bytes.size());
    ASSERT_TRUE(removal);
    EXPECT_FALSE(removal->arrival);
}

TEST(VolumeChange, OtherEventsTypesAndShortRecordsAreIgnored) {
    const auto bytes = Record(20, 2, 0x10);
    EXPECT_FALSE(common::DecodeVolumeChange(0x8001, bytes.data(), bytes.size())) << "query remove";
    EXPECT_FALSE(common::DecodeVolumeChange(0x0007, bytes.data(), bytes.size())) << "devnodes changed";
    EXPECT_FALSE(common::DecodeVolumeChange(0x8000, Record(20, 5, 1).data(), 18)) << "an interface record";
    EXPECT_FALSE(common::DecodeVolumeChange(0x8000, nullptr, 18));
    EXPECT_EQ(common::ReadableVolumeBytes(12), 0u) << "a bare header";
    EXPECT_EQ(common::ReadableVolumeBytes(17), 0u);
    EXPECT_EQ(common::ReadableVolumeBytes(18), 18u);
    EXPECT_EQ(common::ReadableVolumeBytes(0xFFFFFFFF), 18u) << "never more than a volume record";
    EXPECT_FALSE(common::DecodeVolumeChange(0x8000, Record(12, 2, 1).data(), 18)) << "size says header only";
    EXPECT_FALSE(common::DecodeVolumeChange(0x8000, bytes.data(), 12));
}

}  // namespace
