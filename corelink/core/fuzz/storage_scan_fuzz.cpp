// Feeds interface paths, SCSI replies, drive layouts, device numbers, volume extents and
// MountedDevices values from the fuzz input to the storage scan: ScanDiskPathBySymbolicName
// and ScanDiskPath, each into a full disk-path list. The first byte picks the product filter
// and whether the list sits in front of a guard area (checked after each call) or in a heap
// block of its exact size (for the sanitizer).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/core/device_list.h"
#include "corelink/core/fuzz/fuzz_device_stack.h"
#include "corelink/core/fuzz/fuzz_list.h"
#include "corelink/core/storage_scan.h"

namespace {

using DiskList = corelink::fuzzing::FuzzList<devio::DiskPathEntry, devio::kDiskPathListRecords>;

// Every text field of every record ends within its size.
void CheckTerminated(const devio::DiskPathEntry* list) {
    for (std::size_t i = 0; i < devio::kDiskPathListRecords; ++i) {
        const devio::DiskPathEntry& record = list[i];
        if (record.driveLetterCount >= sizeof record.driveLetters) __builtin_trap();
        if (record.driveLetters[sizeof record.driveLetters - 1] != 0) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    corelink::fuzzing::Cursor in(data + 1, size - 1);
    corelink::fuzzing::FuzzDeviceStack stack(in);
    corelink::fuzzing::FuzzTracer tracer;
    corelink::ManualClock clock;  // pauses never sleep
    corelink::Device device{stack, tracer, clock};
    const bool guarded = (options & 1) != 0;

    static DiskList byName;
    devio::DiskPathEntry* const named = byName.Prepare(guarded);
    corelink::ScanDiskPathBySymbolicName(device, named, (options & 2) != 0);
    byName.Check();
    CheckTerminated(named);

    static DiskList byLetter;
    corelink::ScanDiskPath(device, byLetter.Prepare(guarded));
    byLetter.Check();
    return 0;
}
