// The vendor command family 0xEE of the emulated controller, group by group.
#include <gtest/gtest.h>

#include "emulator_fixture.h"
#include "rig/core/device_state.h"

namespace rig_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class VendorCommandTest : public EmulatorTest {
protected:
    Reply Read(std::uint8_t group, std::uint8_t code, std::uint32_t address, std::uint16_t length,
               std::uint8_t value = 0) {
        return Send(VendorRead(group, code, address, length, value));
    }
    std::uint8_t Write(std::uint8_t group, std::uint8_t code, std::uint32_t address, const Bytes& data,
                       std::uint8_t value = 0, std::uint8_t byte12 = 0) {
        return Send(VendorWrite(group, code, address, data, value, byte12)).status;
    }
};

TEST_F(VendorCommandTest, ButtonPressIsReadUntilTheProgramAcknowledgesIt) {
    EXPECT_EQ(Read(0x80, 0x87, 0, 1).data, Bytes{0xFF});
    state->buttonPressed = true;
    EXPECT_EQ(Read(0x80, 0x87, 0, 1).data, Bytes{0xFD});
    EXPECT_EQ(Read(0x80, 0x87, 0, 1).data, Bytes{0xFD});  // reading does not release it

    EXPECT_EQ(Write(0x80, 0x88, 0, {0x01}), 0);  // any other value leaves it pressed
    EXPECT_EQ(Read(0x80, 0x87, 0, 1).data, Bytes{0xFD});
    EXPECT_EQ(Write(0x80, 0x88, 0, {0x02}), 0);
    EXPECT_EQ(Read(0x80, 0x87, 0, 1).data, Bytes{0xFF});
    EXPECT_EQ(state->lastButtonWrite, 2);

    // The second interface's write also carries the value in CDB byte 11; without data that byte counts.
    state->buttonPressed = true;
    EXPECT_EQ(Write(0x80, 0x88, 0, {}, 0x02), 0);
    EXPECT_FALSE(state->buttonPressed);

    EXPECT_EQ(Read(0x80, 0x87, 0, 2).status, 2);
    EXPECT_EQ(Send(MakeRequest(VendorCdb(0x80, 0x87, 0, 1), devio::kDataIn, 2)).status, 2);  // CDB and header disagree
}

TEST_F(VendorCommandTest, EepromHasAValidChecksumAndKeepsWhatIsWritten) {
    const Reply whole = Read(0x80, 0x80, 0, 256, 1);
    ASSERT_EQ(whole.status, 0);
    ASSERT_EQ(whole.data.size(), 256u);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 256; i += 2) sum += (whole.data[i] << 8) | whole.data[i + 1];
    EXPECT_EQ(sum % 65536, 0u);
    EXPECT_EQ(Bytes(whole.data.begin() + 2, whole.data.begin() + 6), (Bytes{0x1A, 0x2B, 0x3C, 0x4D}));
    EXPECT_EQ(whole.data[rig::kEepromSuspendByte], 0);

    EXPECT_EQ(Write(0x80, 0x80, 249, {0x01, 0x01, 0x2C}, 0, 0x00), 0);
    EXPECT_EQ(Read(0x80, 0x80, 248, 4, 1).data, (Bytes{0xFF, 0x01, 0x01, 0x2C}));
    EXPECT_EQ(Read(0x80, 0x80, 250, 7, 1).status, 2);  // past the 256 bytes
}

TEST_F(VendorCommandTest, FirmwareAreaMovesInPiecesOfAtMost4096Bytes) {
    Bytes image;
    for (std::uint32_t offset = 0; offset < rig::kFirmwareSize; offset += 4096) {
        const Reply piece = Read(0x80, 0x81, offset, 4096, 1);
        ASSERT_EQ(piece.status, 0) << offset;
        image.insert(image.end(), piece.data.begin(), piece.data.end());
    }
    EXPECT_EQ(image, state->firmware);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 8), "QKTR4327");

    EXPECT_EQ(Read(0x80, 0x81, 0, 4097, 1).status, 2);
    EXPECT_EQ(Read(0x80, 0x81, rig::kFirmwareSize - 16, 32, 1).status, 2);
    const Bytes piece(4096, 0x5A);
    EXPECT_EQ(Write(0x80, 0x81, 20480, piece), 0);
    EXPECT_EQ(Read(0x80, 0x81, 20480, 4096, 1).data, piece);
    EXPECT_EQ(Read(0x80, 0x8F, 0, 1).status, 2);  // codes the group does not know
}

TEST_F(VendorCommandTest, PowerSettingsAreStored) {
    EXPECT_EQ(Read(0x8B, 0x01, 0, 4).data, (Bytes{0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Write(0x8B, 0x02, 0, {}), 0);
    EXPECT_TRUE(state->suspend);
    EXPECT_EQ(Write(0x8B, 0x03, 0, {}), 0);
    EXPECT_FALSE(state->suspend);
    EXPECT_EQ(Write(0x8B, 0x04, 0, {}, 0x01, 0x2C), 0);
    EXPECT_EQ(state->timerValue1, 0x01);
    EXPECT_EQ(state->timerValue2, 0x2C);
    EXPECT_EQ(Write(0x8B, 0x07, 0, {}, 0x05), 0);
    EXPECT_EQ(state->led, 0x05);

    EXPECT_EQ(Write(0x8B, 0x07, 0, {0x05}), 2);  // a setting carries no data
    EXPECT_EQ(Write(0x8B, 0x05, 0, {}), 2);
    EXPECT_EQ(Read(0x8B, 0x01, 0, 5).status, 2);
}

TEST_F(VendorCommandTest, MemoriesAreReadAndWrittenByCode) {
    EXPECT_EQ(Write(0x01, 0x05, 0x2360, {0xAA, 0xBB}), 0);
    EXPECT_EQ(Read(0x01, 0x04, 0x2360, 2).data, (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(Write(0x01, 0x03, 0xFFFF, {0x11}), 0);
    EXPECT_EQ(Read(0x01, 0x02, 0xFFFF, 1).data, Bytes{0x11});
    EXPECT_EQ(Read(0x01, 0x01, 0x0000, 16).status, 0);

    EXPECT_EQ(Read(0x01, 0x02, 0xFFFF, 2).status, 2);    // past 64 KiB
    EXPECT_EQ(Read(0x01, 0x04, 0x10000, 1).status, 2);   // address beyond 16 bits
    EXPECT_EQ(Write(0x01, 0x04, 0x0000, {0x00}), 2);     // a read code with data out
    EXPECT_EQ(Read(0x01, 0x06, 0, 1).status, 2);
}

TEST_F(VendorCommandTest, LunSettingsAndWriteProtect) {
    EXPECT_EQ(Read(0x02, 0x88, 0, 48).data.size(), 48u);
    Bytes lunConfig(48, 0);
    lunConfig[0] = 2;
    EXPECT_EQ(Write(0x02, 0x8A, 0, lunConfig), 0);
    EXPECT_EQ(Read(0x02, 0x88, 0, 48).data, lunConfig);
    EXPECT_EQ(Read(0x02, 0x88, 0, 49).status, 2);
    const Bytes deviceId = Read(0x02, 0x12, 0, 16).data;
    EXPECT_EQ(std::string(deviceId.begin(), deviceId.end()), "QKTR4327RIG00000");
    EXPECT_EQ(Write(0x02, 0x2A, 100, {1, 2, 3}), 0);
    EXPECT_EQ(Read(0x02, 0x28, 99, 5).data, (Bytes{0, 1, 2, 3, 0}));

    EXPECT_EQ(Write(0x65, 0x86, 0, {}, 0x07), 0);
    EXPECT_EQ(Read(0x65, 0x85, 0, 1).data, Bytes{0x07});
    EXPECT_EQ(Write(0x65, 0x8A, 0, {}, 0x03), 0);
    EXPECT_EQ(Read(0x65, 0x89, 0, 5).data, (Bytes{0x03, 'D', 'I', 'S', 'K'}));

    EXPECT_EQ(Write(0x65, 0x84, 0, {}, 1), 0);
    Cdb write10 = {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    const Reply refused = Send(MakeRequest(write10, devio::kDataOut, 512, Bytes(512, 1)));
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.senseKey, 0x07);
    EXPECT_EQ(Write(0x65, 0x84, 0, {}, 0), 0);
    EXPECT_EQ(Send(MakeRequest(write10, devio::kDataOut, 512, Bytes(512, 1))).status, 0);
}

TEST_F(VendorCommandTest, PasswordIsSetVerifiedAndLockedAgainByACpuReset) {
    EXPECT_EQ(Read(0x66, 0x88, 0, 1).data, Bytes{0x00});
    Bytes password(511, 0);
    password[0] = 'p';
    password[510] = 'w';
    EXPECT_EQ(Write(0x66, 0x85, 0, password), 0);
    EXPECT_EQ(Read(0x66, 0x88, 0, 1).data, Bytes{rig::kSecurityPasswordSet | rig::kSecurityVerified});
    EXPECT_EQ(Read(0x66, 0x86, 0, 511).data, password);

    EXPECT_EQ(Write(0x02, 0x01, 0, {}), 0);  // CPU reset
    EXPECT_EQ(Read(0x66, 0x88, 0, 1).data, Bytes{rig::kSecurityPasswordSet});
    Bytes wrong = password;
    wrong[510] = 'x';
    EXPECT_EQ(Write(0x66, 0x87, 0, wrong), 2);
    EXPECT_EQ(Write(0x66, 0x87, 0, password), 0);
    EXPECT_EQ(Read(0x66, 0x88, 0, 1).data, Bytes{rig::kSecurityPasswordSet | rig::kSecurityVerified});
    EXPECT_EQ(Write(0x66, 0x87, 0, Bytes(510, 0)), 2);

    EXPECT_EQ(Write(0x66, 0x85, 0, Bytes(511, 0)), 0);  // all zeros clears it
    EXPECT_EQ(Read(0x66, 0x88, 0, 1).data, Bytes{0x00});
}

TEST_F(VendorCommandTest, FlashMaintenanceGroupsAreRefusedAndCacheClearAccepted) {
    EXPECT_EQ(Read(0x90, 0x82, 0, 64).status, 2);
    EXPECT_EQ(Write(0x9F, 0x80, 0, {}), 2);
    EXPECT_EQ(Read(0x95, 0x88, 0, 16).status, 2);
    EXPECT_EQ(Read(0x50, 0x70, 0, 1).status, 2);
    EXPECT_EQ(Read(0x51, 0x00, 0, 16).status, 2);
    EXPECT_EQ(Read(0x42, 0x00, 0, 1).status, 2);
    EXPECT_EQ(Write(0x6F, 0x00, 0, {}), 0);
}

}  // namespace
}  // namespace rig_test
