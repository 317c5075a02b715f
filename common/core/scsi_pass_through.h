#pragma once
// The SCSI pass-through request block: the platform's SCSI_PASS_THROUGH header (32-bit layout)
// followed by a sense area and up to 65536 data bytes, sent with IOCTL_SCSI_PASS_THROUGH. The
// same buffer is the request and the reply.

#include <cstddef>
#include <cstdint>

namespace devio {

inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004;

inline constexpr std::uint8_t kDataOut = 0;   // to the device
inline constexpr std::uint8_t kDataIn = 1;    // from the device
inline constexpr std::uint8_t kNoData = 2;

inline constexpr std::uint8_t kScsiStatusGood = 0;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 2;

inline constexpr std::size_t kMaxTransferLength = 65536;

#pragma pack(push, 1)
struct ScsiPassThroughHeader {
    std::uint16_t length;              // 44
    std::uint8_t scsiStatus;
    std::uint8_t pathId;
    std::uint8_t targetId;
    std::uint8_t lun;
    std::uint8_t cdbLength;
    std::uint8_t senseInfoLength;      // 24
    std::uint8_t dataIn;               // kDataOut, kDataIn or kNoData
    std::uint8_t padding1[3];
    std::uint32_t dataTransferLength;
    std::uint32_t timeOutValue;        // seconds
    std::uint32_t dataBufferOffset;    // 80
    std::uint32_t senseInfoOffset;     // 48
    std::uint8_t cdb[16];
};

struct ScsiPassThroughBlock {
    ScsiPassThroughHeader header;
    std::uint8_t padding2[4];
    std::uint8_t sense[24];
    std::uint8_t padding3[8];
    std::uint8_t data[kMaxTransferLength];
};
#pragma pack(pop)

static_assert(sizeof(ScsiPassThroughHeader) == 44);
static_assert(offsetof(ScsiPassThroughHeader, scsiStatus) == 2);
static_assert(offsetof(ScsiPassThroughHeader, pathId) == 3);
static_assert(offsetof(ScsiPassThroughHeader, targetId) == 4);
static_assert(offsetof(ScsiPassThroughHeader, lun) == 5);
static_assert(offsetof(ScsiPassThroughHeader, cdbLength) == 6);
static_assert(offsetof(ScsiPassThroughHeader, senseInfoLength) == 7);
static_assert(offsetof(ScsiPassThroughHeader, dataIn) == 8);
static_assert(offsetof(ScsiPassThroughHeader, dataTransferLength) == 12);
static_assert(offsetof(ScsiPassThroughHeader, timeOutValue) == 16);
static_assert(offsetof(ScsiPassThroughHeader, dataBufferOffset) == 20);
static_assert(offsetof(ScsiPassThroughHeader, senseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThroughHeader, cdb) == 28);
static_assert(offsetof(ScsiPassThroughBlock, sense) == 48);
static_assert(offsetof(ScsiPassThroughBlock, data) == 80);
static_assert(sizeof(ScsiPassThroughBlock) == 65616);

inline constexpr std::uint32_t kHeaderAndSenseSize = 80;  // the request size without data

// Big-endian fields of command blocks.
inline void PutBigEndian16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}
inline void PutBigEndian32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}
inline std::uint16_t GetBigEndian16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}
inline std::uint32_t GetBigEndian32(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
}

}  // namespace devio
