// The pass-through block re-laid out for a 64-bit process and back.
#include "common/win32/native_pass_through.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace devio {
namespace {

TEST(NativePassThrough, RequestAndReplyKeepEveryFieldAndByte) {
    auto request = std::make_unique<ScsiPassThroughBlock>();
    ScsiPassThroughHeader& header = request->header;
    header.length = 44;
    header.pathId = 1;
    header.targetId = 2;
    header.lun = 3;
    header.cdbLength = 16;
    header.senseInfoLength = 24;
    header.dataIn = kDataOut;
    header.dataTransferLength = 3;
    header.timeOutValue = 30;
    header.dataBufferOffset = 80;
    header.senseInfoOffset = 48;
    const std::uint8_t cdb[16] = {0xEE, 0x80, 0, 0, 0, 0, 0x88, 0, 3, 0, 0, 7, 0, 0, 0, 0};
    std::memcpy(header.cdb, cdb, sizeof cdb);
    request->data[0] = 0xA;
    request->data[1] = 0xB;
    request->data[2] = 0xC;

    auto native = std::make_unique<NativePassThroughBlock>();
    const std::uint32_t nativeSize = ToNativePassThrough(request.get(), kHeaderAndSenseSize + 3, *native);
    EXPECT_EQ(nativeSize, kNativeDataOffset + 3);
    EXPECT_EQ(native->header.Length, sizeof(SCSI_PASS_THROUGH));
    EXPECT_EQ(native->header.DataBufferOffset, kNativeDataOffset);
    EXPECT_EQ(native->header.SenseInfoOffset, offsetof(NativePassThroughBlock, sense));
    EXPECT_EQ(native->header.PathId, 1);
    EXPECT_EQ(native->header.TargetId, 2);
    EXPECT_EQ(native->header.Lun, 3);
    EXPECT_EQ(native->header.DataIn, kDataOut);
    EXPECT_EQ(native->header.DataTransferLength, 3u);
    EXPECT_EQ(native->header.TimeOutValue, 30u);
    EXPECT_EQ(std::memcmp(native->header.Cdb, cdb, 16), 0);
    EXPECT_EQ(native->data[2], 0xC);

    // The device answers CHECK CONDITION with sense data and two bytes of data.
    native->header.ScsiStatus = kScsiStatusCheckCondition;
    native->header.DataTransferLength = 2;
    native->sense[0] = 0x70;
    native->data[0] = 0x11;
    native->data[1] = 0x22;
    const std::uint32_t replySize =
        FromNativePassThrough(*native, kNativeDataOffset + 2, request.get(), sizeof(ScsiPassThroughBlock));
    EXPECT_EQ(replySize, kHeaderAndSenseSize + 2);
    EXPECT_EQ(header.scsiStatus, kScsiStatusCheckCondition);
    EXPECT_EQ(header.dataTransferLength, 2u);
    EXPECT_EQ(header.dataBufferOffset, 80u) << "the caller's layout stays";
    EXPECT_EQ(request->sense[0], 0x70);
    EXPECT_EQ(request->data[0], 0x11);
    EXPECT_EQ(request->data[1], 0x22);
}

TEST(NativePassThrough, MalformedRequestsAreRefused) {
    auto native = std::make_unique<NativePassThroughBlock>();
    std::uint8_t tooShort[40] = {};
    EXPECT_EQ(ToNativePassThrough(tooShort, sizeof tooShort, *native), 0u);
    EXPECT_EQ(ToNativePassThrough(nullptr, 80, *native), 0u);
    auto block = std::make_unique<ScsiPassThroughBlock>();
    EXPECT_EQ(ToNativePassThrough(block.get(), sizeof(ScsiPassThroughBlock) + 1, *native), 0u);
}

}  // namespace
}  // namespace devio
