#include "corelink/core/scsi_commands.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/core/bridge_protocol.h"
#include "common/core/scsi_pass_through.h"

namespace corelink {

using namespace devio::bridge;
namespace {

using devio::DeviceHandle;

constexpr std::uint16_t kHeaderLength = sizeof(devio::ScsiPassThroughHeader);
constexpr std::uint8_t kSenseLength = sizeof(devio::ScsiPassThroughBlock::sense);
constexpr std::uint32_t kSenseOffset = offsetof(devio::ScsiPassThroughBlock, sense);
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kDefaultTimeout = 3;
constexpr std::uint32_t kDiskTimeout = 30;
constexpr std::uint32_t kCacheClearTimeout = 10;
constexpr std::uint8_t kShortCdb = 6;
constexpr std::uint8_t kDiskCdb = 10;
constexpr std::uint8_t kVendorCdb = 16;
constexpr std::uint32_t kSectorSize = 512;

// One command as the transport sends it.
struct Request {
    std::uint8_t pathId = 0;
    std::uint8_t targetId = 0;
    std::uint8_t lun = 0;
    std::uint8_t cdbLength = kVendorCdb;
    std::uint8_t dataIn = devio::kNoData;
    std::uint32_t timeoutSeconds = kDefaultTimeout;
    std::uint32_t length = 0;                // DataTransferLength
    Cdb cdb{};
    const std::uint8_t* source = nullptr;    // bytes placed in the data area before sending
    std::uint8_t* destination = nullptr;     // receives the data area on success
    bool timed = false;                      // times the request itself
    TickSource ticks = nullptr;              // the counter for that; null: the device's clock
    bool takesShortReply = false;            // a reply of any length is whole (INQUIRY)
};

struct Outcome {
    bool delivered = false;
    std::uint8_t status = 0;
    std::uint32_t lastError = 0;
    std::uint64_t elapsed = 0;
    bool endedEarly = false;  // GOOD, but fewer data-in bytes came than the command asked for
    bool Good() const { return delivered && status == devio::kScsiStatusGood && !endedEarly; }
};

bool Acceptable(const Request& request) {
    if (request.length > devio::kMaxTransferLength) return false;
    return request.length == 0 || request.source != nullptr || request.destination != nullptr;
}

void FillHeader(devio::ScsiPassThroughHeader& header, const Request& request) {
    header.length = kHeaderLength;
    header.pathId = request.pathId;
    header.targetId = request.targetId;
    header.lun = request.lun;
    header.cdbLength = request.cdbLength;
    header.senseInfoLength = kSenseLength;
    header.dataIn = request.dataIn;
    header.dataTransferLength = request.length;
    header.timeOutValue = request.timeoutSeconds;
    header.dataBufferOffset = devio::kHeaderAndSenseSize;
    header.senseInfoOffset = kSenseOffset;
    std::memcpy(header.cdb, request.cdb.data(), request.cdb.size());
}

// Clears `size` bytes in a way the compiler may not drop as a store to memory about to be freed.
void Wipe(std::uint8_t* bytes, std::size_t size) {
    volatile std::uint8_t* target = bytes;
    for (std::size_t i = 0; i < size; ++i) target[i] = 0;
}

// Builds the block for one command, sends it and copies the reply data back on success. Refused
// requests (too long, or a length without a buffer) are not sent. The block holds the header,
// the sense area and exactly the command's data, never the whole largest transfer.
Outcome Exchange(Device& device, DeviceHandle handle, const Request& request) {
    Outcome outcome;
    if (!Acceptable(request)) {
        outcome.lastError = devio::kErrorInvalidParameter;
        return outcome;
    }
    const std::uint32_t blockSize = devio::kHeaderAndSenseSize + request.length;
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[blockSize]());
    if (!block) {
        outcome.lastError = kErrorNotEnoughMemory;
        return outcome;
    }
    devio::ScsiPassThroughHeader header{};
    FillHeader(header, request);
    std::memcpy(block.get(), &header, sizeof header);
    std::uint8_t* data = block.get() + devio::kHeaderAndSenseSize;
    const bool placesData = request.source != nullptr && request.length > 0;
    if (placesData) std::memcpy(data, request.source, request.length);

    const std::uint32_t inputSize = devio::kHeaderAndSenseSize + (placesData ? request.length : 0);
    std::uint32_t returned = 0;
    const auto now = [&] { return request.ticks != nullptr ? request.ticks() : device.clock.Ticks(); };
    const std::uint64_t start = request.timed ? now() : 0;
    outcome.delivered = device.stack.Control(handle, devio::kIoctlScsiPassThrough, block.get(), inputSize,
                                             block.get(), blockSize, returned, outcome.lastError);
    if (request.timed) outcome.elapsed = now() - start;
    std::memcpy(&header, block.get(), sizeof header);
    outcome.status = header.scsiStatus;
    // The header comes back with the count the device really sent. The bytes it did not send are
    // the block's zeros, which must not reach the caller as if they were the device's answer.
    outcome.endedEarly = request.destination != nullptr && !request.takesShortReply &&
                         header.dataTransferLength < request.length;
    if (outcome.endedEarly && outcome.delivered && outcome.status == devio::kScsiStatusGood) {
        device.tracer.Trace(" short reply");
    }

    if (outcome.Good() && request.destination != nullptr && request.length > 0)
        std::memcpy(request.destination, data, request.length);
    // Password blocks travel through the security group; none may stay behind in freed memory.
    if (request.cdb[0] == kOpVendor && request.cdb[1] == kGroupSecurity) Wipe(block.get(), blockSize);
    return outcome;
}

int Send(Device& device, DeviceHandle handle, const Request& request) {
    return Exchange(device, handle, request).Good() ? 1 : 0;
}

void Trace(Device& device, const char* text) { device.tracer.Trace(text); }

void TraceErrorCode(Device& device, const char* label, std::uint32_t code) {
    char text[48];
    std::snprintf(text, sizeof text, "%s=%x", label, static_cast<unsigned>(code));
    device.tracer.Trace(text);
}

// --- request shapes

Request DataFromDevice(std::uint8_t pathId, std::uint8_t targetId, std::uint32_t length, std::uint8_t* data) {
    Request request;
    request.pathId = pathId;
    request.targetId = targetId;
    request.dataIn = devio::kDataIn;
    request.length = length;
    request.destination = data;
    return request;
}

// Data-out with bytes, no data transfer without them.
Request DataToDevice(std::uint8_t pathId, std::uint8_t targetId, std::uint32_t length, const std::uint8_t* data) {
    Request request;
    request.pathId = pathId;
    request.targetId = targetId;
    request.dataIn = length > 0 ? devio::kDataOut : devio::kNoData;
    request.length = length;
    request.source = data;
    return request;
}

// Data-out whatever the length.
Request AlwaysDataOut(std::uint8_t pathId, std::uint8_t targetId, std::uint32_t length, const std::uint8_t* data) {
    Request request = DataToDevice(pathId, targetId, length, data);
    request.dataIn = devio::kDataOut;
    return request;
}

Cdb VendorCdb(std::uint8_t group, std::uint8_t code, std::uint32_t address) {
    Cdb cdb{};
    cdb[0] = kOpVendor;
    cdb[1] = group;
    devio::PutBigEndian32(&cdb[2], address);
    cdb[6] = code;
    return cdb;
}

Cdb VendorCdb(std::uint8_t group, std::uint8_t code, std::uint32_t address, std::uint16_t length) {
    Cdb cdb = VendorCdb(group, code, address);
    devio::PutBigEndian16(&cdb[7], length);
    return cdb;
}

Request WithCdb(Request request, const Cdb& cdb) {
    request.cdb = cdb;
    return request;
}

// --- standard command shapes

Request StandardCommand(std::uint8_t lun, std::uint8_t pathId, std::uint8_t targetId, std::uint8_t dataIn) {
    Request request;
    request.lun = lun;
    request.pathId = pathId;
    request.targetId = targetId;
    request.cdbLength = kShortCdb;
    request.dataIn = dataIn;
    return request;
}

bool ValidDiskTransfer(std::uint32_t byteCount) {
    return byteCount % kSectorSize == 0 && byteCount <= devio::kMaxTransferLength;
}

Request DiskCommand(std::uint8_t opcode, std::uint8_t lun, std::uint8_t pathId, std::uint8_t targetId,
                    std::uint32_t lba, std::uint32_t byteCount) {
    Request request = StandardCommand(lun, pathId, targetId, devio::kDataIn);
    request.cdbLength = kDiskCdb;
    request.timeoutSeconds = kDiskTimeout;
    request.length = byteCount;
    request.cdb[0] = opcode;
    devio::PutBigEndian32(&request.cdb[2], lba);
    devio::PutBigEndian16(&request.cdb[7], static_cast<std::uint16_t>(byteCount / kSectorSize));
    return request;
}

Request Read10(std::uint8_t lun, std::uint8_t pathId, std::uint8_t targetId, std::uint32_t lba,
               std::uint32_t byteCount, std::uint8_t* data) {
    Request request = DiskCommand(0x28, lun, pathId, targetId, lba, byteCount);
    request.destination = data;
    return request;
}

Request Write10(std::uint8_t lun, std::uint8_t pathId, std::uint8_t targetId, std::uint32_t lba,
                std::uint32_t byteCount, const std::uint8_t* data) {
    Request request = DiskCommand(0x2A, lun, pathId, targetId, lba, byteCount);
    request.dataIn = devio::kDataOut;
    request.source = data;
    return request;
}

int SendTimed(Device& device, DeviceHandle handle, Request request, std::uint32_t* ticks, TickSource now) {
    if (ticks != nullptr) *ticks = 0;
    if (!ValidDiskTransfer(request.length)) return 0;
    request.timed = true;
    request.ticks = now;
    const Outcome outcome = Exchange(device, handle, request);
    if (!outcome.Good()) return 0;
    if (ticks != nullptr) *ticks = static_cast<std::uint32_t>(outcome.elapsed);
    return 1;
}

std::uint8_t SectorCount(std::uint32_t length) { return static_cast<std::uint8_t>(length / kSectorSize); }

std::uint8_t Byte(std::uint32_t value, int shift) { return static_cast<std::uint8_t>(value >> shift); }

}  // namespace

std::uint64_t SteadyClockTicks() { return SystemClock().Ticks(); }

Cdb PackTestCdb(const TestCommandWords& words) {
    Cdb cdb{};
    cdb[0] = Byte(words.w1, 0);
    cdb[1] = Byte(words.w1, 8);
    devio::PutBigEndian32(&cdb[2], words.w2);
    cdb[6] = Byte(words.w3, 0);
    devio::PutBigEndian16(&cdb[7], static_cast<std::uint16_t>(words.w3 >> 16));
    cdb[9] = Byte(words.w4, 8);
    cdb[10] = Byte(words.w4, 0);
    cdb[11] = Byte(words.w4, 16);
    cdb[12] = Byte(words.w4, 24);
    cdb[13] = Byte(words.w5, 0);
    cdb[14] = Byte(words.w5, 8);
    cdb[15] = Byte(words.w5, 16);
    return cdb;
}

TestCommandWords TestWordsFor(const Cdb& cdb) {
    TestCommandWords words;
    words.w1 = std::uint32_t{cdb[0]} | (std::uint32_t{cdb[1]} << 8);
    words.w2 = devio::GetBigEndian32(&cdb[2]);
    words.w3 = std::uint32_t{cdb[6]} | (std::uint32_t{devio::GetBigEndian16(&cdb[7])} << 16);
    words.w4 = std::uint32_t{cdb[10]} | (std::uint32_t{cdb[9]} << 8) | (std::uint32_t{cdb[11]} << 16) |
               (std::uint32_t{cdb[12]} << 24);
    words.w5 = std::uint32_t{cdb[13]} | (std::uint32_t{cdb[14]} << 8) | (std::uint32_t{cdb[15]} << 16);
    return words;
}

// ---------------------------------------------------------------- standard commands

int CSTDCMDControl::SendInquiry(Device& device, DeviceHandle handle, std::uint8_t pathId, std::uint8_t targetId,
                                std::uint8_t* data) {
    Trace(device, " SendInquiry()");
    constexpr std::uint8_t kInquiryLength = 128;
    Request request = StandardCommand(0, pathId, targetId, devio::kDataIn);
    request.cdb[0] = 0x12;
    request.cdb[4] = kInquiryLength;
    request.length = kInquiryLength;
    request.destination = data;
    request.takesShortReply = true;  // standard data is as long as the device's own
    return Send(device, handle, request);
}

int CSTDCMDControl::SendTestUnitReady(Device& device, DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                                      std::uint8_t targetId, std::uint8_t* status) {
    Trace(device, " SendTestUnitReady()");
    const Outcome outcome = Exchange(device, handle, StandardCommand(lun, pathId, targetId, devio::kDataIn));
    if (status != nullptr) *status = outcome.status;
    return outcome.delivered ? 1 : 0;
}

int CSTDCMDControl::SendReadCapacity(Device& device, DeviceHandle handle, std::uint8_t lun,
                                     std::uint8_t /*unusedPathId*/, std::uint8_t /*unusedTargetId*/,
                                     std::uint8_t* data) {
    Trace(device, " SendReadCapacity()");
    constexpr std::uint8_t kCapacityLength = 8;
    Request request = StandardCommand(lun, 0, 1, devio::kDataIn);
    request.cdb[0] = 0x25;
    request.cdb[4] = kCapacityLength;
    request.length = kCapacityLength;
    request.destination = data;
    return Send(device, handle, request);
}

int CSTDCMDControl::SCSI_LoadUnload(Device& device, DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                                    std::uint8_t targetId, std::uint8_t control) {
    Trace(device, " SCSI_LoadUnload()");
    Request request = StandardCommand(lun, pathId, targetId, devio::kDataIn);
    request.cdb[0] = 0x1B;
    request.cdb[4] = control;
    return Send(device, handle, request);
}

int CSTDCMDControl::SendRead10(Device& device, DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                               std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount,
                               std::uint8_t* data) {
    if (!ValidDiskTransfer(byteCount)) return 0;
    return Send(device, handle, Read10(lun, pathId, targetId, lba, byteCount, data));
}

int CSTDCMDControl::SendWrite10(Device& device, DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                                std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount,
                                const std::uint8_t* data) {
    if (!ValidDiskTransfer(byteCount)) return 0;
    return Send(device, handle, Write10(lun, pathId, targetId, lba, byteCount, data));
}

int CSTDCMDControl::SendRead10Timed(Device& device, DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                                    std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount,
                                    std::uint8_t* data, std::uint32_t* ticks, TickSource now) {
    return SendTimed(device, handle, Read10(lun, pathId, targetId, lba, byteCount, data), ticks, now);
}

int CSTDCMDControl::SendWrite10Timed(Device& device, DeviceHandle handle, std::uint8_t lun, std::uint8_t pathId,
                                     std::uint8_t targetId, std::uint32_t lba, std::uint32_t byteCount,
                                     const std::uint8_t* data, std::uint32_t* ticks, TickSource now) {
    return SendTimed(device, handle, Write10(lun, pathId, targetId, lba, byteCount, data), ticks, now);
}

// ---------------------------------------------------------------- vendor family

namespace {

// Codes whose CDB byte 8 the controller reads as a sector count.
constexpr std::uint8_t kIspSegmentCode = 0x81;
constexpr std::uint8_t kIspSegmentBlocks = 8;
constexpr std::uint8_t kUfdProgramCode = 0x81;
constexpr std::uint8_t kFlashIdCode = 0x82;
constexpr std::uint8_t kFlashIdSectors = 5;

Cdb ValueCdb(std::uint8_t group, std::uint8_t code, std::uint8_t cdb11, std::uint16_t length) {
    Cdb cdb = VendorCdb(group, code, 0, length);
    cdb[11] = cdb11;
    return cdb;
}

Cdb SettingCdb(std::uint8_t code, std::uint8_t cdb11, std::uint32_t address, std::uint16_t length,
               std::uint8_t cdb12, std::uint8_t cdb13) {
    Cdb cdb = VendorCdb(kGroupUsdSetting, code, address, length);
    cdb[11] = cdb11;
    cdb[12] = cdb12;
    cdb[13] = cdb13;
    return cdb;
}

Cdb PowerCdb(std::uint8_t code, std::uint8_t cdb11, std::uint8_t cdb12, std::uint16_t length) {
    Cdb cdb = VendorCdb(kGroupUsdPower, code, 0, length);
    cdb[11] = cdb11;
    cdb[12] = cdb12;
    return cdb;
}

Cdb UfdCdb(std::uint8_t code, std::uint8_t cdb11, std::uint32_t address, std::uint8_t cdb8) {
    Cdb cdb = VendorCdb(kGroupUfdSetting, code, address);
    cdb[8] = cdb8;
    cdb[11] = cdb11;
    return cdb;
}

Cdb SpareCdb(std::uint8_t code, std::uint8_t cdb9, std::uint8_t cdb10, std::uint32_t address,
             std::uint16_t length) {
    Cdb cdb = VendorCdb(kGroupFlash, code, address, length);
    cdb[9] = cdb9;
    cdb[10] = cdb10;
    return cdb;
}

Cdb MarkCdb(std::uint8_t code, std::uint8_t cdb8, std::uint8_t cdb11, std::uint8_t cdb12, std::uint32_t address) {
    Cdb cdb = VendorCdb(kGroupBlockMark, code, address);
    cdb[8] = cdb8;
    cdb[11] = cdb11;
    cdb[12] = cdb12;
    return cdb;
}

void PutLittleEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = Byte(value, 8 * i);
}

void PutLittleEndian16(std::uint8_t* at, std::uint16_t value) {
    at[0] = Byte(value, 0);
    at[1] = Byte(value, 8);
}

void TraceUndelivered(Device& device, const Outcome& outcome, const char* text) {
    if (!outcome.delivered) Trace(device, text);
}
}  // namespace

int CVCommCMDControl::MemoryAccessRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                       std::uint8_t targetId, std::uint16_t address, std::uint16_t length,
                                       std::uint8_t* data) {
    const Cdb cdb = VendorCdb(kGroupMemory, code, address, length);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::MemoryAccessWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                        std::uint8_t targetId, std::uint16_t address, std::uint16_t length,
                                        const std::uint8_t* data) {
    const Cdb cdb = VendorCdb(kGroupMemory, code, address, length);
    return Send(device, handle, WithCdb(AlwaysDataOut(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::ConfigureLUNRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                       std::uint8_t targetId, std::uint32_t address, std::uint16_t length,
                                       std::uint8_t* data) {
    Trace(device, " ConfigureLUNRead()");
    const Cdb cdb = VendorCdb(kGroupConfigureLun, code, address, length);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::ConfigureLUNWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                        std::uint8_t targetId, std::uint32_t address, std::uint16_t length,
                                        const std::uint8_t* data) {
    Trace(device, " ConfigureLUNWrite()");
    const Cdb cdb = VendorCdb(kGroupConfigureLun, code, address, length);
    return Send(device, handle, WithCdb(DataToDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::LUNCONFIGRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                    std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length,
                                    std::uint8_t* data) {
    Trace(device, " LUNCONFIGRead()");
    const Cdb cdb = ValueCdb(kGroupLunConfig, code, cdb11, length);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::LUNCONFIGWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                     std::uint8_t pathId, std::uint8_t targetId, std::uint16_t length,
                                     const std::uint8_t* data) {
    Trace(device, " LUNCONFIGWrite()");
    const Cdb cdb = ValueCdb(kGroupLunConfig, code, cdb11, length);
    return Send(device, handle, WithCdb(DataToDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::SecurityConfigRead(Device& device, DeviceHandle handle, std::uint8_t code,
                                         std::uint8_t cdb11, std::uint8_t pathId, std::uint8_t targetId,
                                         std::uint16_t length, std::uint8_t* data) {
    Trace(device, " SecurityConfigRead()");
    const Cdb cdb = ValueCdb(kGroupSecurity, code, cdb11, length);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::SecurityConfigWrite(Device& device, DeviceHandle handle, std::uint8_t code,
                                          std::uint8_t cdb11, std::uint8_t pathId, std::uint8_t targetId,
                                          std::uint16_t length, const std::uint8_t* data) {
    Trace(device, " SecurityConfigWrite()");
    const Cdb cdb = ValueCdb(kGroupSecurity, code, cdb11, length);
    return Send(device, handle, WithCdb(DataToDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::CacheClear(Device& device, DeviceHandle handle, std::uint8_t pathId, std::uint8_t targetId) {
    Trace(device, " CacheClear()");
    Request request = WithCdb(DataToDevice(pathId, targetId, 0, nullptr), VendorCdb(kGroupCacheClear, 0, 0, 0));
    request.timeoutSeconds = kCacheClearTimeout;
    return Send(device, handle, request);
}

int CVCommCMDControl::USDSettingRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                     std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                                     std::uint16_t length, std::uint8_t* data, std::uint8_t cdb12,
                                     std::uint8_t cdb13) {
    Trace(device, " USDSettingRead()");
    const Cdb cdb = SettingCdb(code, cdb11, address, length, cdb12, cdb13);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::USDSettingWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                      std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                                      std::uint16_t length, const std::uint8_t* data, std::uint8_t cdb12,
                                      std::uint8_t cdb13) {
    Trace(device, " USDSettingWrite()");
    const Cdb cdb = SettingCdb(code, cdb11, address, length, cdb12, cdb13);
    return Send(device, handle, WithCdb(DataToDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::USDPowerRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                   std::uint8_t cdb12, std::uint8_t pathId, std::uint8_t targetId,
                                   std::uint16_t length, std::uint8_t* data) {
    Trace(device, " USDPowerRead()");
    const Cdb cdb = PowerCdb(code, cdb11, cdb12, length);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::USDPowerWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                    std::uint8_t cdb12, std::uint8_t pathId, std::uint8_t targetId,
                                    std::uint16_t length, const std::uint8_t* data) {
    Trace(device, " USDPowerWrite()");
    const Cdb cdb = PowerCdb(code, cdb11, cdb12, length);
    return Send(device, handle, WithCdb(DataToDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::ISPAccessWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                     std::uint8_t targetId, std::uint32_t address, std::uint32_t length,
                                     const std::uint8_t* data) {
    Trace(device, " ISPAccessWrite()");
    Cdb cdb = VendorCdb(kGroupIsp, code, address);
    cdb[8] = code == kIspSegmentCode ? kIspSegmentBlocks : std::uint8_t{0};
    return Send(device, handle, WithCdb(DataToDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::UFDSettingRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                     std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                                     std::uint32_t length, std::uint8_t* data) {
    Trace(device, " UFDSettingRead()");
    const Cdb cdb = UfdCdb(code, cdb11, address, code == kFlashIdCode ? kFlashIdSectors : std::uint8_t{0});
    const Outcome outcome = Exchange(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
    if (!outcome.Good()) TraceErrorCode(device, "Errorcode", outcome.lastError);
    return outcome.Good() ? 1 : 0;
}

int CVCommCMDControl::UFDSettingWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                                      std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                                      std::uint32_t length, const std::uint8_t* data) {
    Trace(device, " UFDSettingWrite()");
    std::uint8_t cdb8 = 0;
    if (code == kUfdProgramCode) cdb8 = SectorCount(length);
    if (code == kFlashIdCode) cdb8 = kFlashIdSectors;
    const Cdb cdb = UfdCdb(code, cdb11, address, cdb8);
    return Send(device, handle, WithCdb(DataToDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::SpareAccessRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb9,
                                      std::uint8_t cdb10, std::uint8_t pathId, std::uint8_t targetId,
                                      std::uint32_t address, std::uint16_t length, std::uint8_t* data) {
    Trace(device, " SpareAccessRead()");
    const Cdb cdb = SpareCdb(code, cdb9, cdb10, address, length);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::SpareAccessWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb9,
                                       std::uint8_t cdb10, std::uint8_t pathId, std::uint8_t targetId,
                                       std::uint32_t address, std::uint16_t length, const std::uint8_t* data) {
    Trace(device, " SpareAccessWrite()");
    const Cdb cdb = SpareCdb(code, cdb9, cdb10, address, length);
    return Send(device, handle, WithCdb(AlwaysDataOut(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::BlockAccessRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                      std::uint8_t targetId, std::uint8_t cdb7, std::uint8_t flags,
                                      std::uint32_t address, std::uint32_t length, std::uint8_t* data) {
    Cdb cdb = VendorCdb(kGroupFlash, code, address);
    cdb[7] = cdb7;
    cdb[8] = SectorCount(length);
    cdb[9] = flags;
    cdb[11] = (flags & 0x80) != 0 ? std::uint8_t{1} : std::uint8_t{0};
    const Outcome outcome = Exchange(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
    TraceUndelivered(device, outcome, "BAR_ERR");
    return outcome.Good() ? 1 : 0;
}

int CVCommCMDControl::BlockAccessWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                       std::uint8_t targetId, std::uint8_t cdb7, std::uint8_t cdb9,
                                       std::uint32_t cdb10to13, std::uint16_t cdb14to15, std::uint32_t address,
                                       std::uint32_t length, const std::uint8_t* data) {
    Cdb cdb = VendorCdb(kGroupFlash, code, address);
    cdb[7] = cdb7;
    cdb[8] = SectorCount(length);
    cdb[9] = cdb9;
    PutLittleEndian32(&cdb[10], cdb10to13);
    PutLittleEndian16(&cdb[14], cdb14to15);
    const Outcome outcome = Exchange(device, handle, WithCdb(AlwaysDataOut(pathId, targetId, length, data), cdb));
    TraceUndelivered(device, outcome, "BAW_ERR");
    return outcome.Good() ? 1 : 0;
}

int CVCommCMDControl::BlockStatusRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                      std::uint8_t targetId, std::uint32_t address, std::uint32_t length,
                                      std::uint8_t* data) {
    const Cdb cdb = VendorCdb(kGroupFlash, code, address);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::BlockMarkRead(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                    std::uint8_t targetId, std::uint8_t cdb8, std::uint8_t cdb11, std::uint8_t cdb12,
                                    std::uint32_t address, std::uint32_t length, std::uint8_t* data) {
    Trace(device, " BlockMarkRead()");
    const Cdb cdb = MarkCdb(code, cdb8, cdb11, cdb12, address);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::BlockMarkWrite(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t pathId,
                                     std::uint8_t targetId, std::uint8_t cdb8, std::uint8_t cdb11,
                                     std::uint8_t cdb12, std::uint32_t address, std::uint32_t length,
                                     const std::uint8_t* data) {
    Trace(device, " BlockMarkWrite()");
    const Cdb cdb = MarkCdb(code, cdb8, cdb11, cdb12, address);
    Request request = WithCdb(DataToDevice(pathId, targetId, length, data), cdb);
    request.dataIn = devio::kDataIn;  // the controller expects this command as data-in
    return Send(device, handle, request);
}

int CVCommCMDControl::BadBlockCommand(Device& device, DeviceHandle handle, std::uint8_t code, std::uint8_t cdb9,
                                      std::uint8_t cdb10, std::uint8_t cdb11, std::uint8_t cdb12,
                                      std::uint8_t pathId, std::uint8_t targetId, std::uint32_t address,
                                      std::uint16_t length, std::uint8_t* data) {
    Cdb cdb = VendorCdb(kGroupBadBlock, code, address, length);
    cdb[9] = cdb9;
    cdb[10] = cdb10;
    cdb[11] = cdb11;
    cdb[12] = cdb12;
    const Outcome outcome = Exchange(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
    if (outcome.Good()) return 1;
    if (!outcome.delivered) Trace(device, "status err");
    if (outcome.status != devio::kScsiStatusGood) Trace(device, "SCSI status err");
    TraceErrorCode(device, "ErrorCode", outcome.lastError);
    return 0;
}

int CVCommCMDControl::TestCommandRead(Device& device, DeviceHandle handle, std::uint8_t pathId,
                                      std::uint8_t targetId, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                                      std::uint32_t w4, std::uint32_t w5, std::uint8_t* data) {
    Trace(device, " TestCommandRead()");
    const Cdb cdb = PackTestCdb({w1, w2, w3, w4, w5});
    const std::uint32_t length = devio::GetBigEndian16(&cdb[7]);
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::TestCommandWrite(Device& device, DeviceHandle handle, std::uint8_t pathId,
                                       std::uint8_t targetId, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                                       std::uint32_t w4, std::uint32_t w5, const std::uint8_t* data) {
    Trace(device, " TestCommandWrite()");
    const Cdb cdb = PackTestCdb({w1, w2, w3, w4, w5});
    const std::uint32_t length = devio::GetBigEndian16(&cdb[7]);
    return Send(device, handle, WithCdb(AlwaysDataOut(pathId, targetId, length, data), cdb));
}

int CVCommCMDControl::ATACommandRead(Device& device, DeviceHandle handle, std::uint8_t pathId,
                                     std::uint8_t targetId, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                                     std::uint32_t w4, std::uint32_t w5, std::uint32_t length, std::uint8_t* data) {
    Trace(device, "ATACommandRead()");
    const Cdb cdb = PackTestCdb({w1, w2, w3, w4, w5});
    return Send(device, handle, WithCdb(DataFromDevice(pathId, targetId, length, data), cdb));
}

}  // namespace corelink
