// The standard commands, the ATA pass-through and the request checks of the emulated controller.
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "emulator_fixture.h"

namespace rig_test {
namespace {

using devio::kDataIn;
using devio::kDataOut;
using devio::kNoData;

std::string Text(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t count) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
}

Request Inquiry(std::uint32_t length = 128) {
    return MakeRequest({0x12, 0x00, 0x00, 0x00, 0x80, 0x00}, kDataIn, length);
}

TEST_F(EmulatorTest, InquiryCarriesIdentityTextsSignatureAndModel) {
    config.signature = "ZYXW";
    config.model = "4353";
    config.removable = true;
    const Reply reply = Send(Inquiry());
    ASSERT_EQ(reply.status, 0);
    EXPECT_EQ(reply.returned, 80u + 128u);
    ASSERT_EQ(reply.data.size(), 128u);
    EXPECT_EQ(reply.data[0], 0x00);  // direct-access device
    EXPECT_EQ(reply.data[1], 0x80);  // removable
    EXPECT_EQ(reply.data[4], 123);   // additional length
    EXPECT_EQ(Text(reply.data, 8, 8), "TOVI    ");
    EXPECT_EQ(Text(reply.data, 16, 16), "USB Enclosure   ");
    EXPECT_EQ(Text(reply.data, 32, 4), "1.00");
    EXPECT_EQ(Text(reply.data, 36, 4), "ZYXW");
    EXPECT_EQ(Text(reply.data, 44, 4), "4353");
    EXPECT_EQ(std::accumulate(reply.data.begin() + 48, reply.data.end(), 0), 0);
}

TEST_F(EmulatorTest, DataInRepliesFillTheRequestedLength) {
    Request request = Inquiry(300);
    request.Header().cdb[3] = 0x01;  // allocation length 0x0180
    const Reply reply = Send(request);
    ASSERT_EQ(reply.status, 0);
    EXPECT_EQ(reply.returned, 80u + 300u);
    EXPECT_EQ(reply.dataLength, 300u);
    EXPECT_EQ(Text(reply.data, 36, 4), "QKTR");
    EXPECT_EQ(std::accumulate(reply.data.begin() + 128, reply.data.end(), 0), 0);
}

TEST_F(EmulatorTest, InquiryOfVitalProductDataIsRefused) {
    const Reply reply = Send(MakeRequest({0x12, 0x01, 0x80, 0x00, 0x80, 0x00}, kDataIn, 128));
    EXPECT_EQ(reply.status, 2);
    EXPECT_EQ(reply.senseKey, 0x05);
}

TEST_F(EmulatorTest, TestUnitReadyFollowsNotReadyAndStartStop) {
    EXPECT_EQ(Send(MakeRequest({0x00, 0, 0, 0, 0, 0}, kDataIn, 0)).status, 0);

    state->notReady = true;
    Reply reply = Send(MakeRequest({0x00, 0, 0, 0, 0, 0}, kDataIn, 0));
    EXPECT_EQ(reply.status, 2);
    EXPECT_EQ(reply.senseKey, 0x02);
    EXPECT_EQ(reply.returned, 80u);
    state->notReady = false;

    EXPECT_EQ(Send(MakeRequest({0x1B, 0, 0, 0, 0x00, 0}, kDataIn, 0)).status, 0);  // stop
    EXPECT_TRUE(state->stopped);
    EXPECT_EQ(Send(MakeRequest({0x00, 0, 0, 0, 0, 0}, kDataIn, 0)).status, 2);
    EXPECT_EQ(Send(MakeRequest({0x1B, 0, 0, 0, 0x01, 0}, kDataIn, 0)).status, 0);  // start
    EXPECT_EQ(Send(MakeRequest({0x00, 0, 0, 0, 0, 0}, kDataIn, 0)).status, 0);
}

TEST_F(EmulatorTest, ReadCapacityAnswersLastLbaAndBlockLengthAsTheComponentAsks) {
    // CdbLength 6 and TargetId 1, as the component sends it.
    Request request = MakeRequest({0x25, 0, 0, 0, 0x08, 0}, kDataIn, 8);
    request.Header().targetId = 1;
    const Reply reply = Send(request);
    ASSERT_EQ(reply.status, 0);
    EXPECT_EQ(reply.data, (std::vector<std::uint8_t>{0x00, 0x0F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));

    state->notReady = true;
    const Reply notReady = Send(MakeRequest({0x25, 0, 0, 0, 0x08, 0}, kDataIn, 8));
    EXPECT_EQ(notReady.status, 2);
    EXPECT_EQ(notReady.returned, 80u);
    EXPECT_EQ(notReady.dataLength, 0u);
}

Cdb ReadWrite10(std::uint8_t op, std::uint32_t lba, std::uint16_t blocks) {
    Cdb cdb(10, 0);
    cdb[0] = op;
    devio::PutBigEndian32(&cdb[2], lba);
    devio::PutBigEndian16(&cdb[7], blocks);
    return cdb;
}

TEST_F(EmulatorTest, Read10ReturnsWhatWrite10StoredAndZerosElsewhere) {
    std::vector<std::uint8_t> blocks(1024);
    for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = static_cast<std::uint8_t>(i * 7 + 1);
    ASSERT_EQ(Send(MakeRequest(ReadWrite10(0x2A, 5, 2), kDataOut, 1024, blocks)).status, 0);
    EXPECT_EQ(medium.StoredBlocks(), 2u);

    const Reply reply = Send(MakeRequest(ReadWrite10(0x28, 4, 4), kDataIn, 2048));
    ASSERT_EQ(reply.status, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(reply.data.begin(), reply.data.begin() + 512),
              std::vector<std::uint8_t>(512, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(reply.data.begin() + 512, reply.data.begin() + 1536), blocks);
    EXPECT_EQ(std::vector<std::uint8_t>(reply.data.begin() + 1536, reply.data.end()),
              std::vector<std::uint8_t>(512, 0));
}

TEST_F(EmulatorTest, Read10AndWrite10CheckRangeLengthAndDirection) {
    EXPECT_EQ(Send(MakeRequest(ReadWrite10(0x28, 0x000FFFFF, 1), kDataIn, 512)).status, 0);  // the last block
    const Reply beyond = Send(MakeRequest(ReadWrite10(0x28, 0x000FFFFF, 2), kDataIn, 1024));
    EXPECT_EQ(beyond.status, 2);
    EXPECT_EQ(beyond.asc, 0x21);
    EXPECT_EQ(Send(MakeRequest(ReadWrite10(0x28, 0, 2), kDataIn, 512)).status, 2);  // blocks * 512 != length
    EXPECT_EQ(Send(MakeRequest(ReadWrite10(0x2A, 0, 1), kDataIn, 512)).status, 2);  // a write that reads
    state->notReady = true;
    EXPECT_EQ(Send(MakeRequest(ReadWrite10(0x28, 0, 1), kDataIn, 512)).status, 2);
    EXPECT_EQ(medium.StoredBlocks(), 0u);
}

TEST_F(EmulatorTest, UnknownCommandsAnswerCheckConditionWithoutData) {
    const Reply reply = Send(MakeRequest({0x5A, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00}, kDataIn, 255));
    EXPECT_EQ(reply.status, 2);
    EXPECT_EQ(reply.returned, 80u);
    EXPECT_EQ(reply.dataLength, 0u);
    EXPECT_EQ(reply.senseKey, 0x05);
    EXPECT_EQ(reply.asc, 0x20);
}

TEST_F(EmulatorTest, CdbBytesBeyondCdbLengthAreNotSent) {
    // A vendor button read sent as a 6-byte CDB loses its operation code in byte 6.
    EXPECT_EQ(Send(MakeRequest(VendorCdb(0x80, 0x87, 0, 1), kDataIn, 1, {}, 6)).status, 2);
    EXPECT_EQ(Send(MakeRequest(VendorCdb(0x80, 0x87, 0, 1), kDataIn, 1, {}, 16)).status, 0);
}

TEST_F(EmulatorTest, AtaIdentifyDescribesTheAttachedDrive) {
    const Cdb identify = {0xA1, 0x08, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0, 0, 0, 0, 0, 0};
    const Reply reply = Send(MakeRequest(identify, kDataIn, 512));
    ASSERT_EQ(reply.status, 0);
    ASSERT_EQ(reply.data.size(), 512u);
    const auto word = [&](std::size_t i) { return reply.data[2 * i] | (reply.data[2 * i + 1] << 8); };
    EXPECT_EQ(word(0), 0x0040);
    std::string model;
    for (std::size_t i = 27; i < 47; ++i) {
        model += static_cast<char>(word(i) >> 8);
        model += static_cast<char>(word(i) & 0xFF);
    }
    EXPECT_EQ(model, "TOVI USB Enclosure                      ");
    EXPECT_EQ(word(60) | (word(61) << 16), 0x00100000);
    EXPECT_EQ(word(100) | (word(101) << 16), 0x00100000);
    EXPECT_EQ(word(102) | word(103), 0);
    EXPECT_EQ(reply.data[510], 0xA5);
    EXPECT_EQ(std::accumulate(reply.data.begin(), reply.data.end(), 0) % 256, 0);

    Cdb setFeatures = identify;
    setFeatures[9] = 0xEF;
    EXPECT_EQ(Send(MakeRequest(setFeatures, kDataIn, 512)).status, 2);
    Cdb dmaProtocol = identify;
    dmaProtocol[1] = 0x0C;
    EXPECT_EQ(Send(MakeRequest(dmaProtocol, kDataIn, 512)).status, 2);
    EXPECT_EQ(Send(MakeRequest(identify, kDataIn, 1024)).status, 2);
}

struct Malformed {
    const char* what;
    void (*spoil)(Request&);
};

TEST(PassThroughDecoding, RefusesMalformedBlocks) {
    const Malformed cases[] = {
        {"Length 43", [](Request& r) { r.Header().length = 43; }},
        {"DataBufferOffset 84", [](Request& r) { r.Header().dataBufferOffset = 84; }},
        {"SenseInfoOffset 0", [](Request& r) { r.Header().senseInfoOffset = 0; }},
        {"CdbLength 0", [](Request& r) { r.Header().cdbLength = 0; }},
        {"CdbLength 17", [](Request& r) { r.Header().cdbLength = 17; }},
        {"SenseInfoLength 25", [](Request& r) { r.Header().senseInfoLength = 25; }},
        {"DataIn 3", [](Request& r) { r.Header().dataIn = 3; }},
        {"no data with a length", [](Request& r) { r.Header().dataIn = kNoData; }},
        {"length beyond 65536",
         [](Request& r) {
             r.Header().dataTransferLength = 65537;
             r.outputSize = 80 + 65537;
         }},
        {"output too short for the data", [](Request& r) { r.outputSize = 80 + 127; }},
        {"input shorter than the header", [](Request& r) { r.inputSize = 79; }},
        {"output shorter than the header",
         [](Request& r) {
             r.Header().dataIn = kDataOut;
             r.inputSize = 80 + 128;
             r.outputSize = 44;
         }},
        {"data-out input too short",
         [](Request& r) {
             r.Header().dataIn = kDataOut;
             r.inputSize = 80 + 127;
         }},
    };
    for (const Malformed& bad : cases) {
        Request request = Inquiry();
        bad.spoil(request);
        std::string why;
        EXPECT_FALSE(rig::DecodePassThrough(request.Bytes(), request.inputSize, request.outputSize, why)) << bad.what;
        EXPECT_FALSE(why.empty()) << bad.what;
    }
    Request good = Inquiry();
    std::string why;
    EXPECT_TRUE(rig::DecodePassThrough(good.Bytes(), good.inputSize, good.outputSize, why)) << why;
    EXPECT_FALSE(rig::DecodePassThrough(nullptr, 80, 80, why));
}

}  // namespace
}  // namespace rig_test
