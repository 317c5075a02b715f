#pragma once
// The volume broadcasts of WM_DEVICECHANGE: which of them Dockline and Copperfold act on, read
// from the broadcast record without trusting its sender.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace common {

inline constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
inline constexpr std::uint32_t kDeviceTypeVolume = 2;           // DBT_DEVTYP_VOLUME

// The broadcast header and the volume record that extends it (the platform's layouts).
#pragma pack(push, 1)
struct BroadcastHeader {
    std::uint32_t size;        // of the whole record, as its sender says
    std::uint32_t deviceType;
    std::uint32_t reserved;
};
struct VolumeRecord {
    BroadcastHeader header;
    std::uint32_t unitMask;    // bit n: drive 'A' + n
    std::uint16_t flags;
};
#pragma pack(pop)
static_assert(sizeof(BroadcastHeader) == 12);
static_assert(offsetof(VolumeRecord, unitMask) == 12);
static_assert(sizeof(VolumeRecord) == 18);

struct VolumeChange {
    bool arrival = false;  // else removal
    std::uint32_t unitMask = 0;
};

// How many bytes of the record may be read, from its first four bytes (the size its sender
// gives): 0 when the record is too short to be a volume record, else a volume record's size.
std::size_t ReadableVolumeBytes(std::uint32_t declaredSize);

// The change a broadcast reports, from `available` bytes of its record (as
// ReadableVolumeBytes allows); none for other events, other device types and short records.
std::optional<VolumeChange> DecodeVolumeChange(std::uint32_t event, const std::uint8_t* record,
                                               std::size_t available);

// The change of a WM_DEVICECHANGE message: for an arrival or removal, the record's first four
// bytes (its size as the sender gives it; the system copies that much of a sender's record) and
// then no more than that size allows are read. Nothing for other events and null records.
std::optional<VolumeChange> ReadVolumeBroadcast(std::uint32_t event, const std::uint8_t* record);

}  // namespace common
