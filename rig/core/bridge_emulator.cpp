// The standard commands and the dispatch by operation code. The vendor family and the ATA
// pass-through live in their own files.
#include "bridge_emulator.h"

#include <algorithm>
#include <string_view>

#include "common/core/bridge_protocol.h"
#include "command_context.h"

namespace rig {

using namespace devio::bridge;
namespace {

void PutText(std::uint8_t* at, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
}

// Media access needs a ready, started unit.
const Sense* MediumNotReady(const DeviceState& state) {
    if (state.notReady) return &kNotReady;
    if (state.stopped) return &kNotReadyStopped;
    return nullptr;
}

PassThroughAnswer Inquiry(CommandContext& c) {
    if (!ReadsData(c.command) || (c.Cdb(1) & 0x01) != 0) return CheckCondition(kInvalidFieldInCdb);  // no VPD pages
    const auto data = InquiryData(c.config);
    const std::size_t allocation = devio::GetBigEndian16(&c.command.cdb[3]);
    return GoodWithData(c.command, std::span(data).first(std::min(allocation, data.size())));
}

PassThroughAnswer TestUnitReady(CommandContext& c) {
    if (!MovesNoData(c.command)) return CheckCondition(kInvalidFieldInCdb);
    if (const Sense* sense = MediumNotReady(c.state)) return CheckCondition(*sense);
    return Good();
}

PassThroughAnswer ReadCapacity(CommandContext& c) {
    if (!ReadsData(c.command)) return CheckCondition(kInvalidFieldInCdb);
    if (const Sense* sense = MediumNotReady(c.state)) return CheckCondition(*sense);
    std::uint8_t reply[8];
    devio::PutBigEndian32(reply, static_cast<std::uint32_t>(c.config.sectors - 1));
    devio::PutBigEndian32(reply + 4, c.config.sectorSize);
    return GoodWithData(c.command, reply);
}

PassThroughAnswer StartStopUnit(CommandContext& c) {
    if (!MovesNoData(c.command)) return CheckCondition(kInvalidFieldInCdb);
    c.state.stopped = (c.Cdb(4) & 0x01) == 0;  // START bit; with LOEJ and no START it is an eject
    return Good();
}

// READ(10) and WRITE(10): the block count in CDB bytes 7..8 must match the transfer length.
PassThroughAnswer ReadWrite10(CommandContext& c, bool write) {
    if (write ? !WritesData(c.command) : !ReadsData(c.command)) return CheckCondition(kInvalidFieldInCdb);
    if (const Sense* sense = MediumNotReady(c.state)) return CheckCondition(*sense);
    const std::uint64_t lba = devio::GetBigEndian32(&c.command.cdb[2]);
    const std::uint32_t blocks = devio::GetBigEndian16(&c.command.cdb[7]);
    if (std::uint64_t{blocks} * c.config.sectorSize != c.command.transferLength) {
        return CheckCondition(kInvalidFieldInCdb);
    }
    if (lba + blocks > c.config.sectors) return CheckCondition(kLbaOutOfRange);
    if (write) {
        if (c.state.writeProtect) return CheckCondition(kWriteProtected);
        if (blocks > 0 && !c.medium.Write(lba, c.command.dataOut)) return CheckCondition(kWriteError);
        return Good();
    }
    std::vector<std::uint8_t> data(c.command.transferLength);
    if (blocks > 0 && !c.medium.Read(lba, data)) return CheckCondition(kReadError);
    return GoodWithData(c.command, data);
}

}  // namespace

PassThroughAnswer Good() { return {}; }

PassThroughAnswer GoodWithData(const PassThroughCommand& command, std::span<const std::uint8_t> bytes) {
    PassThroughAnswer answer;
    answer.dataIn.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                            bytes.size(), command.transferLength)));
    answer.dataIn.resize(command.transferLength, 0);
    return answer;
}

PassThroughAnswer CheckCondition(Sense sense) {
    PassThroughAnswer answer;
    answer.status = devio::kScsiStatusCheckCondition;
    answer.sense.assign(18, 0);
    answer.sense[0] = 0x70;  // current error, fixed format
    answer.sense[2] = sense.key;
    answer.sense[7] = 10;  // additional length
    answer.sense[12] = sense.asc;
    answer.sense[13] = sense.ascq;
    return answer;
}

bool ReadsData(const PassThroughCommand& command) {
    return command.direction == devio::kDataIn || command.transferLength == 0;
}

bool WritesData(const PassThroughCommand& command) {
    return command.direction == devio::kDataOut || command.transferLength == 0;
}

bool MovesNoData(const PassThroughCommand& command) { return command.transferLength == 0; }

std::array<std::uint8_t, kInquirySize> InquiryData(const EnclosureConfig& config) {
    std::array<std::uint8_t, kInquirySize> data{};
    data[0] = 0x00;                             // direct-access block device
    data[1] = config.removable ? 0x80 : 0x00;   // RMB
    data[2] = 0x04;                             // SPC-2
    data[3] = 0x02;                             // response data format
    data[4] = static_cast<std::uint8_t>(kInquirySize - 5);
    PutText(&data[8], config.inquiryVendor, 8);
    PutText(&data[16], config.inquiryProduct, 16);
    PutText(&data[32], config.inquiryRevision, 4);
    PutText(&data[36], config.signature, 4);  // the maker's vendor-specific bytes
    PutText(&data[44], config.model, 4);
    return data;
}

PassThroughAnswer ExecuteCommand(const EnclosureConfig& config, DeviceState& state, BlockStore& medium,
                                 const PassThroughCommand& command, NandStore* nand,
                                 const std::function<void(const std::string&)>& report) {
    CommandContext context{config, state, medium, command, nand, report};
    switch (command.cdb[0]) {
        case kOpTestUnitReady: return TestUnitReady(context);
        case kOpInquiry: return Inquiry(context);
        case kOpStartStopUnit: return StartStopUnit(context);
        case kOpReadCapacity: return ReadCapacity(context);
        case kOpRead10: return ReadWrite10(context, false);
        case kOpWrite10: return ReadWrite10(context, true);
        case kOpAtaPassThrough12: return ExecuteAtaPassThrough(context);
        case kOpVendor: return ExecuteVendorCommand(context);
        default: return CheckCondition(kInvalidOperationCode);
    }
}

}  // namespace rig
