// The command transport: the exact request block of every standard and vendor command, the
// direction and length rules, the copy-back rules and the refusals.
#include "corelink/core/scsi_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_device_stack.h"
#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
#include "rig/tests/rig_fixture.h"

using corelink::CSTDCMDControl;
using corelink::CVCommCMDControl;
using corelink_test::Bench;
using corelink_test::Bytes;
using corelink_test::ControlRecord;
using corelink_test::Pattern;
using corelink_test::Reply;

namespace {

using Buffer = std::vector<std::uint8_t>;
constexpr auto H = Bench::kHandle;
constexpr std::uint8_t kPath = 3;
constexpr std::uint8_t kTarget = 4;
constexpr std::uint8_t kLun = 2;
constexpr std::uint8_t kCode = 0xC1;
constexpr std::uint32_t kAddress = 0x11223344;
constexpr std::uint16_t kLength = 0x0200;

enum class Flow { In, Out, None };

// One command with the request it must produce. `send` gets a destination for data in and a
// source for data out, each `length` bytes long.
struct CommandCase {
    const char* name;
    std::function<int(Bench&, std::uint8_t* in, const std::uint8_t* out)> send;
    Buffer cdb;  // all 16 bytes
    Flow flow;
    std::uint32_t length;
    const char* trace = nullptr;  // the command's own trace, nullptr for none
    std::uint8_t pathId = kPath;
    std::uint8_t targetId = kTarget;
    std::uint8_t lun = 0;
    std::uint8_t cdbLength = 16;
    std::uint32_t timeout = 3;
    std::uint8_t dataIn = 0xFF;  // 0xFF: as the flow says
};

Buffer Cdb16(std::initializer_list<int> bytes) {
    Buffer cdb = Bytes(bytes);
    cdb.resize(16, 0);
    return cdb;
}

std::uint8_t ExpectedDataIn(const CommandCase& c) {
    if (c.dataIn != 0xFF) return c.dataIn;
    switch (c.flow) {
        case Flow::In: return devio::kDataIn;
        case Flow::Out: return devio::kDataOut;
        case Flow::None: return devio::kNoData;
    }
    return 0xFF;
}

std::uint32_t ExpectedInputSize(const CommandCase& c) { return 80 + (c.flow == Flow::Out ? c.length : 0); }

void ExpectRequest(const CommandCase& c, const ControlRecord& r) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(r.handle, H);
    EXPECT_EQ(r.code, devio::kIoctlScsiPassThrough);
    EXPECT_EQ(r.input.size(), ExpectedInputSize(c));
    EXPECT_EQ(r.outputSize, 80 + c.length);
    const auto h = r.Header();
    EXPECT_EQ(h.length, 44);
    EXPECT_EQ(h.scsiStatus, 0);
    EXPECT_EQ(h.pathId, c.pathId);
    EXPECT_EQ(h.targetId, c.targetId);
    EXPECT_EQ(h.lun, c.lun);
    EXPECT_EQ(h.cdbLength, c.cdbLength);
    EXPECT_EQ(h.senseInfoLength, 24);
    EXPECT_EQ(h.dataIn, ExpectedDataIn(c));
    EXPECT_EQ(h.dataTransferLength, c.length);
    EXPECT_EQ(h.timeOutValue, c.timeout);
    EXPECT_EQ(h.dataBufferOffset, 80u);
    EXPECT_EQ(h.senseInfoOffset, 48u);
    EXPECT_EQ(r.Cdb(), c.cdb);
    EXPECT_EQ(Buffer(r.input.begin() + 9, r.input.begin() + 12), Buffer(3, 0)) << "padding";
    EXPECT_EQ(Buffer(r.input.begin() + 44, r.input.begin() + 80), Buffer(36, 0)) << "sense area";
}

// Runs a case once with a GOOD reply and checks the request, the data and the trace.
void RunGood(const CommandCase& c) {
    SCOPED_TRACE(c.name);
    Bench bench;
    const Buffer reply = Pattern(c.length, 0x31);
    const Buffer outgoing = Pattern(c.length, 0x77);
    Buffer incoming(c.length, 0xCC);
    bench.stack.Script({true, 0, reply, 0});
    EXPECT_EQ(c.send(bench, incoming.data(), outgoing.data()), 1);
    ASSERT_EQ(bench.stack.controls.size(), 1u);
    ExpectRequest(c, bench.stack.controls[0]);
    if (c.flow == Flow::In) {
        EXPECT_EQ(incoming, reply);
    }
    if (c.flow == Flow::Out) {
        EXPECT_EQ(bench.stack.controls[0].Data(), outgoing);
    }
    std::vector<std::string> traces;
    if (c.trace != nullptr) traces.emplace_back(c.trace);
    EXPECT_EQ(bench.tracer.lines, traces);
}

// Runs a case with a failing reply: result 0 and the caller's buffer untouched.
void RunFailing(const CommandCase& c, const Reply& failure) {
    SCOPED_TRACE(c.name);
    Bench bench;
    Buffer incoming(c.length, 0xCC);
    const Buffer outgoing = Pattern(c.length, 0x77);
    Reply reply = failure;
    reply.data = Pattern(c.length, 0x31);
    bench.stack.Script(reply);
    EXPECT_EQ(c.send(bench, incoming.data(), outgoing.data()), 0);
    EXPECT_EQ(incoming, Buffer(c.length, 0xCC));
}

std::vector<CommandCase> VendorCases() {
    using V = CVCommCMDControl;
    return {
        {"MemoryAccessRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::MemoryAccessRead(b.device, H, kCode, kPath, kTarget, 0x5566, kLength, in);
         },
         Cdb16({0xEE, 0x01, 0, 0, 0x55, 0x66, kCode, 0x02, 0x00}), Flow::In, kLength},
        {"MemoryAccessWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::MemoryAccessWrite(b.device, H, kCode, kPath, kTarget, 0x5566, kLength, out);
         },
         Cdb16({0xEE, 0x01, 0, 0, 0x55, 0x66, kCode, 0x02, 0x00}), Flow::Out, kLength},
        {"ConfigureLUNRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::ConfigureLUNRead(b.device, H, kCode, kPath, kTarget, kAddress, kLength, in);
         },
         Cdb16({0xEE, 0x02, 0x11, 0x22, 0x33, 0x44, kCode, 0x02, 0x00}), Flow::In, kLength, " ConfigureLUNRead()"},
        {"ConfigureLUNWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::ConfigureLUNWrite(b.device, H, kCode, kPath, kTarget, kAddress, kLength, out);
         },
         Cdb16({0xEE, 0x02, 0x11, 0x22, 0x33, 0x44, kCode, 0x02, 0x00}), Flow::Out, kLength, " ConfigureLUNWrite()"},
        {"LUNCONFIGRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::LUNCONFIGRead(b.device, H, kCode, 0xA1, kPath, kTarget, 48, in);
         },
         Cdb16({0xEE, 0x65, 0, 0, 0, 0, kCode, 0x00, 48, 0, 0, 0xA1}), Flow::In, 48, " LUNCONFIGRead()"},
        {"LUNCONFIGWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::LUNCONFIGWrite(b.device, H, kCode, 0xA1, kPath, kTarget, 48, out);
         },
         Cdb16({0xEE, 0x65, 0, 0, 0, 0, kCode, 0x00, 48, 0, 0, 0xA1}), Flow::Out, 48, " LUNCONFIGWrite()"},
        {"SecurityConfigRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::SecurityConfigRead(b.device, H, kCode, 0xA1, kPath, kTarget, 511, in);
         },
         Cdb16({0xEE, 0x66, 0, 0, 0, 0, kCode, 0x01, 0xFF, 0, 0, 0xA1}), Flow::In, 511, " SecurityConfigRead()"},
        {"SecurityConfigWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::SecurityConfigWrite(b.device, H, kCode, 0xA1, kPath, kTarget, 511, out);
         },
         Cdb16({0xEE, 0x66, 0, 0, 0, 0, kCode, 0x01, 0xFF, 0, 0, 0xA1}), Flow::Out, 511, " SecurityConfigWrite()"},
        {"CacheClear",
         [](Bench& b, std::uint8_t*, const std::uint8_t*) { return V::CacheClear(b.device, H, kPath, kTarget); },
         Cdb16({0xEE, 0x6F}), Flow::None, 0, " CacheClear()", kPath, kTarget, 0, 16, 10},
        {"USDSettingRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::USDSettingRead(b.device, H, kCode, 0xA1, kPath, kTarget, kAddress, kLength, in, 0xA2, 0xA3);
         },
         Cdb16({0xEE, 0x80, 0x11, 0x22, 0x33, 0x44, kCode, 0x02, 0x00, 0, 0, 0xA1, 0xA2, 0xA3}), Flow::In, kLength,
         " USDSettingRead()"},
        {"USDSettingWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::USDSettingWrite(b.device, H, kCode, 0xA1, kPath, kTarget, kAddress, kLength, out, 0xA2,
                                       0xA3);
         },
         Cdb16({0xEE, 0x80, 0x11, 0x22, 0x33, 0x44, kCode, 0x02, 0x00, 0, 0, 0xA1, 0xA2, 0xA3}), Flow::Out, kLength,
         " USDSettingWrite()"},
        {"USDPowerRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::USDPowerRead(b.device, H, kCode, 0xA1, 0xA2, kPath, kTarget, 4, in);
         },
         Cdb16({0xEE, 0x8B, 0, 0, 0, 0, kCode, 0x00, 0x04, 0, 0, 0xA1, 0xA2}), Flow::In, 4, " USDPowerRead()"},
        {"USDPowerWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::USDPowerWrite(b.device, H, kCode, 0xA1, 0xA2, kPath, kTarget, 4, out);
         },
         Cdb16({0xEE, 0x8B, 0, 0, 0, 0, kCode, 0x00, 0x04, 0, 0, 0xA1, 0xA2}), Flow::Out, 4, " USDPowerWrite()"},
        {"ISPAccessWrite code 0x81",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::ISPAccessWrite(b.device, H, 0x81, kPath, kTarget, kAddress, 1536, out);
         },
         Cdb16({0xEE, 0x9F, 0x11, 0x22, 0x33, 0x44, 0x81, 0x00, 0x08}), Flow::Out, 1536, " ISPAccessWrite()"},
        {"ISPAccessWrite other code",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::ISPAccessWrite(b.device, H, kCode, kPath, kTarget, kAddress, 1536, out);
         },
         Cdb16({0xEE, 0x9F, 0x11, 0x22, 0x33, 0x44, kCode}), Flow::Out, 1536, " ISPAccessWrite()"},
        {"UFDSettingRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::UFDSettingRead(b.device, H, 0x82, 0xA1, kPath, kTarget, kAddress, 64, in);
         },
         Cdb16({0xEE, 0x90, 0x11, 0x22, 0x33, 0x44, 0x82, 0x00, 0x05, 0, 0, 0xA1}), Flow::In, 64,
         " UFDSettingRead()"},
        {"UFDSettingWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::UFDSettingWrite(b.device, H, 0x81, 0xA1, kPath, kTarget, kAddress, 4096, out);
         },
         Cdb16({0xEE, 0x90, 0x11, 0x22, 0x33, 0x44, 0x81, 0x00, 0x08, 0, 0, 0xA1}), Flow::Out, 4096,
         " UFDSettingWrite()"},
        {"SpareAccessRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::SpareAccessRead(b.device, H, kCode, 0xA1, 0xA2, kPath, kTarget, kAddress, 16, in);
         },
         Cdb16({0xEE, 0x95, 0x11, 0x22, 0x33, 0x44, kCode, 0x00, 0x10, 0xA1, 0xA2}), Flow::In, 16,
         " SpareAccessRead()"},
        {"SpareAccessWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::SpareAccessWrite(b.device, H, kCode, 0xA1, 0xA2, kPath, kTarget, kAddress, 16, out);
         },
         Cdb16({0xEE, 0x95, 0x11, 0x22, 0x33, 0x44, kCode, 0x00, 0x10, 0xA1, 0xA2}), Flow::Out, 16,
         " SpareAccessWrite()"},
        {"BlockAccessRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::BlockAccessRead(b.device, H, kCode, kPath, kTarget, 0xA1, 0x85, kAddress, 1024, in);
         },
         Cdb16({0xEE, 0x95, 0x11, 0x22, 0x33, 0x44, kCode, 0xA1, 0x02, 0x85, 0x00, 0x01}), Flow::In, 1024},
        {"BlockAccessRead without bit 7",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::BlockAccessRead(b.device, H, kCode, kPath, kTarget, 0xA1, 0x05, kAddress, 65536, in);
         },
         Cdb16({0xEE, 0x95, 0x11, 0x22, 0x33, 0x44, kCode, 0xA1, 0x80, 0x05, 0x00, 0x00}), Flow::In, 65536},
        {"BlockAccessWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::BlockAccessWrite(b.device, H, kCode, kPath, kTarget, 0xA1, 0xA2, 0x0A0B0C0D, 0x0E0F, kAddress,
                                        1024, out);
         },
         Cdb16({0xEE, 0x95, 0x11, 0x22, 0x33, 0x44, kCode, 0xA1, 0x02, 0xA2, 0x0D, 0x0C, 0x0B, 0x0A, 0x0F, 0x0E}),
         Flow::Out, 1024},
        {"BlockStatusRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::BlockStatusRead(b.device, H, kCode, kPath, kTarget, kAddress, 16, in);
         },
         Cdb16({0xEE, 0x95, 0x11, 0x22, 0x33, 0x44, kCode}), Flow::In, 16},
        {"BlockMarkRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::BlockMarkRead(b.device, H, kCode, kPath, kTarget, 0xA1, 0xA2, 0xA3, kAddress, 8, in);
         },
         Cdb16({0xEE, 0x50, 0x11, 0x22, 0x33, 0x44, kCode, 0x00, 0xA1, 0, 0, 0xA2, 0xA3}), Flow::In, 8,
         " BlockMarkRead()"},
        {"BlockMarkWrite",  // data-in by direction, yet the caller's bytes travel with it
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::BlockMarkWrite(b.device, H, kCode, kPath, kTarget, 0xA1, 0xA2, 0xA3, kAddress, 8, out);
         },
         Cdb16({0xEE, 0x50, 0x11, 0x22, 0x33, 0x44, kCode, 0x00, 0xA1, 0, 0, 0xA2, 0xA3}), Flow::Out, 8,
         " BlockMarkWrite()", kPath, kTarget, 0, 16, 3, devio::kDataIn},
        {"BadBlockCommand",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::BadBlockCommand(b.device, H, kCode, 0xA1, 0xA2, 0xA3, 0xA4, kPath, kTarget, kAddress, kLength,
                                       in);
         },
         Cdb16({0xEE, 0x51, 0x11, 0x22, 0x33, 0x44, kCode, 0x02, 0x00, 0xA1, 0xA2, 0xA3, 0xA4}), Flow::In, kLength},
        {"TestCommandRead",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::TestCommandRead(b.device, H, kPath, kTarget, 0x80EE, 0x01020304, 0x0040FF05, 0x0A0B0C0D,
                                       0xFF102030, in);
         },
         Cdb16({0xEE, 0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x00, 0x40, 0x0C, 0x0D, 0x0B, 0x0A, 0x30, 0x20, 0x10}),
         Flow::In, 0x40, " TestCommandRead()"},
        {"TestCommandWrite",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return V::TestCommandWrite(b.device, H, kPath, kTarget, 0x80EE, 0x01020304, 0x00400005, 0x0A0B0C0D,
                                        0x00102030, out);
         },
         Cdb16({0xEE, 0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x00, 0x40, 0x0C, 0x0D, 0x0B, 0x0A, 0x30, 0x20, 0x10}),
         Flow::Out, 0x40, " TestCommandWrite()"},
        {"ATACommandRead",  // the IDENTIFY DEVICE pass-through of the enclosure operations
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return V::ATACommandRead(b.device, H, kPath, kTarget, 0x08A1, 0x0D000000, 0x00A00000, 0xEC00, 0, 512,
                                      in);
         },
         Cdb16({0xA1, 0x08, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0xEC}), Flow::In, 512, "ATACommandRead()"},
    };
}

std::vector<CommandCase> StandardCases() {
    using S = CSTDCMDControl;
    std::vector<CommandCase> cases = {
        {"SendInquiry",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return S::SendInquiry(b.device, H, kPath, kTarget, in);
         },
         Cdb16({0x12, 0, 0, 0, 0x80, 0}), Flow::In, 128, " SendInquiry()", kPath, kTarget, 0, 6},
        {"SendTestUnitReady",
         [](Bench& b, std::uint8_t*, const std::uint8_t*) {
             std::uint8_t status = 0xEE;
             return S::SendTestUnitReady(b.device, H, kLun, kPath, kTarget, &status);
         },
         Cdb16({}), Flow::In, 0, " SendTestUnitReady()", kPath, kTarget, kLun, 6},
        {"SendReadCapacity",  // always PathId 0, TargetId 1
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return S::SendReadCapacity(b.device, H, kLun, kPath, kTarget, in);
         },
         Cdb16({0x25, 0, 0, 0, 0x08, 0}), Flow::In, 8, " SendReadCapacity()", 0, 1, kLun, 6},
        {"SCSI_LoadUnload",
         [](Bench& b, std::uint8_t*, const std::uint8_t*) {
             return S::SCSI_LoadUnload(b.device, H, kLun, kPath, kTarget, 0x02);
         },
         Cdb16({0x1B, 0, 0, 0, 0x02, 0}), Flow::In, 0, " SCSI_LoadUnload()", kPath, kTarget, kLun, 6},
        {"SendRead10",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             return S::SendRead10(b.device, H, kLun, kPath, kTarget, 0x01020304, 65536, in);
         },
         Cdb16({0x28, 0, 0x01, 0x02, 0x03, 0x04, 0, 0x00, 0x80, 0}), Flow::In, 65536, nullptr, kPath, kTarget, kLun,
         10, 30},
        {"SendWrite10",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             return S::SendWrite10(b.device, H, kLun, kPath, kTarget, 0x01020304, 1024, out);
         },
         Cdb16({0x2A, 0, 0x01, 0x02, 0x03, 0x04, 0, 0x00, 0x02, 0}), Flow::Out, 1024, nullptr, kPath, kTarget, kLun,
         10, 30},
        {"SendRead10Timed",
         [](Bench& b, std::uint8_t* in, const std::uint8_t*) {
             std::uint32_t ticks = 0;
             return S::SendRead10Timed(b.device, H, kLun, kPath, kTarget, 7, 512, in, &ticks, nullptr);
         },
         Cdb16({0x28, 0, 0, 0, 0, 7, 0, 0x00, 0x01, 0}), Flow::In, 512, nullptr, kPath, kTarget, kLun, 10, 30},
        {"SendWrite10Timed",
         [](Bench& b, std::uint8_t*, const std::uint8_t* out) {
             std::uint32_t ticks = 0;
             return S::SendWrite10Timed(b.device, H, kLun, kPath, kTarget, 7, 512, out, &ticks, nullptr);
         },
         Cdb16({0x2A, 0, 0, 0, 0, 7, 0, 0x00, 0x01, 0}), Flow::Out, 512, nullptr, kPath, kTarget, kLun, 10, 30},
    };
    return cases;
}

}  // namespace

TEST(CommandRequests, EveryVendorCommandBuildsItsBlock) {
    for (const CommandCase& c : VendorCases()) RunGood(c);
}

TEST(CommandRequests, EveryStandardCommandBuildsItsBlock) {
    for (const CommandCase& c : StandardCases()) RunGood(c);
}

TEST(CommandRequests, FailedCommandsReportZeroAndLeaveTheBufferAlone) {
    std::vector<CommandCase> cases = VendorCases();
    for (CommandCase& c : StandardCases()) {
        if (std::string(c.name) != "SendTestUnitReady") cases.push_back(std::move(c));
    }
    for (const CommandCase& c : cases) {
        RunFailing(c, Reply{false, 0, {}, devio::kErrorInvalidHandle});
        RunFailing(c, Reply{true, devio::kScsiStatusCheckCondition, {}, 0});
    }
}

TEST(StandardCommands, TestUnitReadyReportsDeliveryAndHandsOverTheStatus) {
    Bench bench;
    std::uint8_t status = 0xEE;
    bench.stack.Script({true, devio::kScsiStatusCheckCondition, {}, 0});
    EXPECT_EQ(CSTDCMDControl::SendTestUnitReady(bench.device, H, 0, 0, 0, &status), 1);
    EXPECT_EQ(status, devio::kScsiStatusCheckCondition);

    bench.stack.Script({false, 0, {}, devio::kErrorInvalidHandle});
    EXPECT_EQ(CSTDCMDControl::SendTestUnitReady(bench.device, H, 0, 0, 0, &status), 0);
}

TEST(StandardCommands, ReadCapacityHandsTheReplyOverUnchanged) {
    Bench bench;
    const Buffer reply = Bytes({0x00, 0x0F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00});
    bench.stack.Script({true, 0, reply, 0});
    Buffer capacity(8, 0xCC);
    EXPECT_EQ(CSTDCMDControl::SendReadCapacity(bench.device, H, 0, 0, 0, capacity.data()), 1);
    EXPECT_EQ(capacity, reply);
    const auto h = bench.stack.controls.at(0).Header();
    EXPECT_EQ(h.cdbLength, 6);
    EXPECT_EQ(h.pathId, 0);
    EXPECT_EQ(h.targetId, 1);
}

TEST(VendorCommands, WritesWithoutDataAreHeaderOnly) {
    using V = CVCommCMDControl;
    struct Case {
        const char* name;
        std::function<int(Bench&)> send;
        std::uint8_t dataIn;
    };
    const std::vector<Case> cases = {
        {"USDSettingWrite",
         [](Bench& b) { return V::USDSettingWrite(b.device, H, 0x88, 0, 0, 0, 0, 0, nullptr, 0, 0); }, devio::kNoData},
        {"USDPowerWrite", [](Bench& b) { return V::USDPowerWrite(b.device, H, 0x07, 1, 0, 0, 0, 0, nullptr); },
         devio::kNoData},
        {"LUNCONFIGWrite", [](Bench& b) { return V::LUNCONFIGWrite(b.device, H, 0x84, 1, 0, 0, 0, nullptr); },
         devio::kNoData},
        {"ConfigureLUNWrite", [](Bench& b) { return V::ConfigureLUNWrite(b.device, H, 0x01, 0, 0, 0, 0, nullptr); },
         devio::kNoData},
        {"ISPAccessWrite", [](Bench& b) { return V::ISPAccessWrite(b.device, H, 0x80, 0, 0, 0, 0, nullptr); },
         devio::kNoData},
        {"UFDSettingWrite", [](Bench& b) { return V::UFDSettingWrite(b.device, H, 0x86, 1, 0, 0, 0, 0, nullptr); },
         devio::kNoData},
        {"MemoryAccessWrite", [](Bench& b) { return V::MemoryAccessWrite(b.device, H, 0x05, 0, 0, 0, 0, nullptr); },
         devio::kDataOut},
        {"SpareAccessWrite",
         [](Bench& b) { return V::SpareAccessWrite(b.device, H, 0x8A, 0, 0, 0, 0, 0, 0, nullptr); }, devio::kDataOut},
        {"BlockMarkWrite", [](Bench& b) { return V::BlockMarkWrite(b.device, H, 0x80, 0, 0, 1, 2, 3, 9, 0, nullptr); },
         devio::kDataIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        EXPECT_EQ(c.send(bench), 1);
        ASSERT_EQ(bench.stack.controls.size(), 1u);
        EXPECT_EQ(bench.stack.controls[0].input.size(), 80u);
        EXPECT_EQ(bench.stack.controls[0].outputSize, 80u);
        EXPECT_EQ(bench.stack.controls[0].Header().dataIn, c.dataIn);
        EXPECT_EQ(bench.stack.controls[0].Header().dataTransferLength, 0u);
    }
}

TEST(VendorCommands, FlashSettingSectorCountsFollowTheCode) {
    using V = CVCommCMDControl;
    struct Case {
        bool write;
        std::uint8_t code;
        std::uint32_t length;
        std::uint8_t cdb8;
    };
    const std::vector<Case> cases = {
        {true, 0x81, 4096, 8}, {true, 0x81, 65536, 128}, {true, 0x82, 64, 5},
        {true, 0x8D, 64, 0},   {false, 0x82, 64, 5},     {false, 0x81, 4096, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.write ? "write " : "read ") << int{c.code});
        Bench bench;
        Buffer data(c.length);
        if (c.write) {
            V::UFDSettingWrite(bench.device, H, c.code, 0, 0, 0, 0, c.length, data.data());
        } else {
            V::UFDSettingRead(bench.device, H, c.code, 0, 0, 0, 0, c.length, data.data());
        }
        const Buffer cdb = bench.stack.controls.at(0).Cdb();
        EXPECT_EQ(cdb[7], 0);
        EXPECT_EQ(cdb[8], c.cdb8);
        EXPECT_EQ(bench.stack.controls[0].Header().dataTransferLength, c.length);
    }
}

TEST(VendorCommands, FailureTracesSayWhatWentWrong) {
    using V = CVCommCMDControl;
    std::uint8_t data[16] = {};
    using Lines = std::vector<std::string>;
    {
        Bench bench;
        bench.stack.Script({false, 0, {}, 0x1F});
        V::UFDSettingRead(bench.device, H, 0x85, 0, 0, 0, 0, 1, data);
        EXPECT_EQ(bench.tracer.lines, (Lines{" UFDSettingRead()", "Errorcode=1f"}));
    }
    {
        Bench bench;
        bench.stack.Script({false, 0, {}, devio::kErrorInvalidHandle});
        bench.stack.Script({true, devio::kScsiStatusCheckCondition, {}, 0});
        V::BadBlockCommand(bench.device, H, 0, 0, 0, 0, 0, 0, 0, 0, 16, data);
        V::BadBlockCommand(bench.device, H, 0, 0, 0, 0, 0, 0, 0, 0, 16, data);
        EXPECT_EQ(bench.tracer.lines, (Lines{"status err", "ErrorCode=6", "SCSI status err", "ErrorCode=0"}));
    }
    {
        // The block commands speak up only when the request did not get through.
        Bench bench;
        bench.stack.Script({true, devio::kScsiStatusCheckCondition, {}, 0});
        bench.stack.Script({false, 0, {}, devio::kErrorInvalidHandle});
        bench.stack.Script({false, 0, {}, devio::kErrorInvalidHandle});
        EXPECT_EQ(V::BlockAccessRead(bench.device, H, 0x89, 0, 0, 0, 0, 0, 16, data), 0);
        EXPECT_EQ(V::BlockAccessRead(bench.device, H, 0x89, 0, 0, 0, 0, 0, 16, data), 0);
        EXPECT_EQ(V::BlockAccessWrite(bench.device, H, 0x8B, 0, 0, 0, 0, 0, 0, 0, 16, data), 0);
        EXPECT_EQ(bench.tracer.lines, (Lines{"BAR_ERR", "BAW_ERR"}));
    }
}

TEST(CommandRefusals, OversizeAndMisalignedRequestsSendNothing) {
    using S = CSTDCMDControl;
    using V = CVCommCMDControl;
    Buffer data(70000, 0xCC);
    const std::vector<std::function<int(Bench&)>> refused = {
        [&](Bench& b) { return S::SendRead10(b.device, H, 0, 0, 0, 0, 1000, data.data()); },
        [&](Bench& b) { return S::SendRead10(b.device, H, 0, 0, 0, 0, 65536 + 512, data.data()); },
        [&](Bench& b) { return S::SendWrite10(b.device, H, 0, 0, 0, 0, 513, data.data()); },
        [&](Bench& b) { return V::UFDSettingWrite(b.device, H, 0x81, 0, 0, 0, 0, 65537, data.data()); },
        [&](Bench& b) { return V::UFDSettingRead(b.device, H, 0x81, 0, 0, 0, 0, 65537, data.data()); },
        [&](Bench& b) { return V::ISPAccessWrite(b.device, H, 0x81, 0, 0, 0, 65537, data.data()); },
        [&](Bench& b) { return V::BlockAccessRead(b.device, H, 0x89, 0, 0, 0, 0, 0, 70000, data.data()); },
        [&](Bench& b) { return V::ATACommandRead(b.device, H, 0, 0, 0x08A1, 0, 0, 0xEC00, 0, 65537, data.data()); },
        [&](Bench& b) { return V::USDSettingRead(b.device, H, 0x80, 1, 0, 0, 0, 256, nullptr, 0, 0); },
        [&](Bench& b) { return V::USDSettingWrite(b.device, H, 0x80, 0, 0, 0, 0, 256, nullptr, 0, 0); },
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "request " << i);
        Bench bench;
        EXPECT_EQ(refused[i](bench), 0);
        EXPECT_TRUE(bench.stack.controls.empty());
    }
    EXPECT_EQ(data, Buffer(70000, 0xCC));
}

namespace {
// A scripted counter: each reading returns the next value.
std::vector<std::uint64_t> gReadings;
std::size_t gNextReading = 0;
std::uint64_t ScriptedTicks() { return gReadings.at(gNextReading++); }
void ScriptTicks(std::vector<std::uint64_t> readings) {
    gReadings = std::move(readings);
    gNextReading = 0;
}
}  // namespace

TEST(TimedTransfers, TicksAreTheLow32BitsOfTheCounterDifference) {
    using S = CSTDCMDControl;
    Buffer data(1024);
    std::uint32_t ticks = 77;
    {
        Bench bench;
        ScriptTicks({0xFFFFFFF0ull, 0x1'0000'0010ull});
        EXPECT_EQ(S::SendRead10Timed(bench.device, H, 0, 0, 0, 0, 1024, data.data(), &ticks, &ScriptedTicks), 1);
        EXPECT_EQ(ticks, 0x20u);
        EXPECT_EQ(gNextReading, 2u) << "one reading on each side of the request";
    }
    {
        Bench bench;
        ScriptTicks({100, 0x1'0000'0164ull});
        EXPECT_EQ(S::SendWrite10Timed(bench.device, H, 0, 0, 0, 0, 1024, data.data(), &ticks, &ScriptedTicks), 1);
        EXPECT_EQ(ticks, 0x100u);
    }
    {
        Bench bench;
        ScriptTicks({100, 200});
        bench.stack.Script({true, devio::kScsiStatusCheckCondition, {}, 0});
        EXPECT_EQ(S::SendRead10Timed(bench.device, H, 0, 0, 0, 0, 1024, data.data(), &ticks, &ScriptedTicks), 0);
        EXPECT_EQ(ticks, 0u);
    }
    {
        Bench bench;
        ticks = 77;
        EXPECT_EQ(S::SendWrite10Timed(bench.device, H, 0, 0, 0, 0, 1000, data.data(), &ticks, &ScriptedTicks), 0);
        EXPECT_EQ(ticks, 0u);
        EXPECT_TRUE(bench.stack.controls.empty());
    }
}

TEST(TestCommandWords, PackingAndItsInverseAgree) {
    const corelink::TestCommandWords ata{0x08A1, 0x0D000000, 0x00A00000, 0xEC00, 0};
    const corelink::Cdb packed = corelink::PackTestCdb(ata);
    EXPECT_EQ(Buffer(packed.begin(), packed.end()),
              Bytes({0xA1, 0x08, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));

    corelink::Cdb cdb{};
    for (std::size_t i = 0; i < cdb.size(); ++i) cdb[i] = static_cast<std::uint8_t>(0xF0 - i * 13);
    EXPECT_EQ(corelink::PackTestCdb(corelink::TestWordsFor(cdb)), cdb);
}

// The same commands sent to the simulated enclosure: its command log holds each block exactly as
// the command function built it, and its answers come back through the same rules.
class CommandsOnTheRig : public rig_test::RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        stack = Program();
        ASSERT_TRUE(stack);
        handle = OpenPath(*stack, rig_test::kFirstInterface);
        ASSERT_NE(handle, devio::kInvalidDeviceHandle);
    }
    rig::LogRecord LastLogged() {
        const std::string bytes = rig_test::ReadTextFile(folder.File("demo.log"));
        const rig::ParsedLog log = rig::ParseCommandLog(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        EXPECT_FALSE(log.records.empty());
        return log.records.empty() ? rig::LogRecord{} : log.records.back();
    }
    corelink::Device Device() { return {*stack, tracer}; }

    std::unique_ptr<rig::RigDeviceStack> stack;
    devio::DeviceHandle handle = devio::kInvalidDeviceHandle;
    corelink_test::RecordingTracer tracer;
};

TEST_F(CommandsOnTheRig, EveryCommandReachesTheControllerExactlyAsBuilt) {
    std::vector<CommandCase> cases = VendorCases();
    for (CommandCase& c : StandardCases()) cases.push_back(std::move(c));
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.stack.forwardTo = stack.get();
        bench.stack.forwardHandle = handle;
        const Buffer outgoing = Pattern(c.length, 0x77);
        Buffer incoming(c.length, 0xCC);
        c.send(bench, incoming.data(), outgoing.data());
        ASSERT_EQ(bench.stack.controls.size(), 1u);
        const ControlRecord& sent = bench.stack.controls[0];
        const rig::LogRecord logged = LastLogged();
        EXPECT_EQ(std::memcmp(&logged.header, sent.input.data(), sizeof logged.header), 0) << "header and CDB";
        // The controller takes data only with a request that sends some.
        if (sent.Header().dataIn == devio::kDataOut) {
            EXPECT_EQ(logged.dataOut, sent.Data());
        }
    }
}

TEST_F(CommandsOnTheRig, ReadCapacityAndNotReadyAnswers) {
    corelink::Device device = Device();
    std::uint8_t capacity[8] = {};
    ASSERT_EQ(CSTDCMDControl::SendReadCapacity(device, handle, 0, 0, 0, capacity), 1);
    EXPECT_EQ(Buffer(capacity, capacity + 8), Bytes({0x00, 0x0F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(LastLogged().header.cdbLength, 6);

    std::uint8_t status = 0xFF;
    ASSERT_EQ(CSTDCMDControl::SendTestUnitReady(device, handle, 0, 0, 0, &status), 1);
    EXPECT_EQ(status, 0);
    std::ostringstream out, err;
    ASSERT_EQ(rig::RunRigControl(rig::PlatformFileSystem(), {rigPath, "not-ready", "on"}, out, err), 0);
    ASSERT_EQ(CSTDCMDControl::SendTestUnitReady(device, handle, 0, 0, 0, &status), 1) << "delivered";
    EXPECT_EQ(status, devio::kScsiStatusCheckCondition);
}
