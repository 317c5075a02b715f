#include "maker_drive_check.h"

#include <cstring>
#include <string>

#include "common/core/scsi_pass_through.h"

namespace dockline {

namespace {

// The request without the data area the platform's block leaves room for: header, sense and
// the 128 INQUIRY bytes.
#pragma pack(push, 1)
struct InquiryRequest {
    devio::ScsiPassThroughHeader header;
    std::uint8_t padding[4];
    std::uint8_t sense[24];
    std::uint8_t padding2[8];
    std::uint8_t data[128];
};
#pragma pack(pop)
static_assert(offsetof(InquiryRequest, sense) == offsetof(devio::ScsiPassThroughBlock, sense));
static_assert(offsetof(InquiryRequest, data) == offsetof(devio::ScsiPassThroughBlock, data));
static_assert(sizeof(InquiryRequest) == 208);

// Closes an opened volume whatever path the check takes.
class OpenedVolume {
public:
    OpenedVolume(devio::DeviceStack& stack, devio::DeviceHandle handle) : stack_(stack), handle_(handle) {}
    ~OpenedVolume() {
        if (handle_ != devio::kInvalidDeviceHandle) stack_.Close(handle_);
    }
    OpenedVolume(const OpenedVolume&) = delete;
    OpenedVolume& operator=(const OpenedVolume&) = delete;
    devio::DeviceHandle Handle() const { return handle_; }

private:
    devio::DeviceStack& stack_;
    devio::DeviceHandle handle_;
};

}  // namespace

bool SendInquiry(devio::DeviceStack& stack, devio::DeviceHandle volume, InquiryData& reply, const TraceSink& trace) {
    if (trace) trace("\nSendInquiry()\n");
    InquiryRequest request{};
    constexpr std::uint8_t kAllocationLength = sizeof request.data;
    request.header.length = static_cast<std::uint16_t>(sizeof(devio::ScsiPassThroughHeader));
    request.header.cdbLength = 6;
    request.header.senseInfoLength = static_cast<std::uint8_t>(sizeof request.sense);
    request.header.dataIn = devio::kDataIn;
    request.header.dataTransferLength = kAllocationLength;
    request.header.timeOutValue = 3;
    request.header.dataBufferOffset = static_cast<std::uint32_t>(offsetof(InquiryRequest, data));
    request.header.senseInfoOffset = static_cast<std::uint32_t>(offsetof(InquiryRequest, sense));
    request.header.cdb[0] = 0x12;  // INQUIRY, standard data
    request.header.cdb[4] = kAllocationLength;

    std::uint32_t returned = 0;
    std::uint32_t lastError = 0;
    if (!stack.Control(volume, devio::kIoctlScsiPassThrough, &request, devio::kHeaderAndSenseSize, &request,
                       static_cast<std::uint32_t>(sizeof request), returned, lastError)) {
        return false;
    }
    if (request.header.scsiStatus != devio::kScsiStatusGood) return false;
    std::memcpy(reply.data(), request.data, reply.size());
    return true;
}

bool IsToviDrive(devio::DeviceStack& stack, char letter, const TraceSink& trace) {
    const std::string path = std::string("\\\\.\\") + letter + ":";
    std::uint32_t lastError = 0;
    const OpenedVolume volume(stack,
                              stack.Open(path, devio::kGenericRead | devio::kGenericWrite,
                                         devio::kShareRead | devio::kShareWrite, devio::kOpenExisting, 0, lastError));
    if (volume.Handle() == devio::kInvalidDeviceHandle) return false;
    InquiryData reply{};
    if (!SendInquiry(stack, volume.Handle(), reply, trace)) return false;
    return std::memcmp(reply.data() + 36, "QKTR", 4) == 0;
}

}  // namespace dockline
