// The table builders and the scan on hostile input: the chip record's CE, CH and bitmap size, the
// parameter and capacity records, and every device reply come from the fuzz input. The found-block
// list lies in a heap block of exactly the size its pair count allows, so the sanitizer sees any
// write past it; the bitmaps are the table's own. A device that gives back what it was given
// lets a block pass its self-test.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "corelink/core/flash_block_test.h"
#include "corelink/core/flash_find.h"
#include "corelink/core/flash_scan.h"
#include "corelink/core/flash_system_table.h"
#include "corelink/core/flash_table.h"
#include "corelink/core/fuzz/fuzz_device_stack.h"

namespace {

class NoDumps final : public corelink::DumpFolder {
public:
    bool Prepare(const std::string&) override { return true; }
    std::unique_ptr<corelink::DumpFile> Create(const std::string&, const std::string&) override {
        return std::make_unique<Sink>();
    }

private:
    struct Sink final : corelink::DumpFile {
        bool Write(std::span<const std::uint8_t>) override { return true; }
    };
};

class NoNotice final : public corelink::UserNotice {
public:
    void Show(const char*) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corelink::fuzzing::Cursor in(data, size);
    const std::uint8_t ce = static_cast<std::uint8_t>(1 + in.Byte() % 4);
    const std::uint8_t ch = static_cast<std::uint8_t>(1 + in.Byte() % 4);
    const std::uint32_t cellBytes = 1 + in.Byte() % 16;
    const std::uint8_t overrideCe = in.Byte();  // the caller may write anything into its record
    std::uint8_t parameters[corelink::kTableParameterBytes];
    for (std::uint8_t& b : parameters) b = in.Byte();
    parameters[9] = static_cast<std::uint8_t>(parameters[9] % 3);  // keep the self-test's units small
    std::uint8_t capacity[corelink::kCapacityRecordBytes];
    for (std::uint8_t& b : capacity) b = in.Byte();
    static constexpr std::uint16_t kPages[] = {64, 128, 256, 512, 100};
    const std::uint16_t pagesPerBlock = kPages[in.Byte() % 5];
    const std::uint8_t flags = in.Byte();

    std::uint8_t* table = corelink::CreateFlashTable(1, ce, ch, cellBytes);
    if (table == nullptr) __builtin_trap();
    std::uint8_t* chip = nullptr;
    std::memcpy(&chip, table + offsetof(CorelinkFlashTable, chips), sizeof chip);
    if (overrideCe < 8) chip[1] = overrideCe;

    corelink::fuzzing::FuzzDeviceStack stack(in);
    corelink::fuzzing::FuzzTracer tracer;
    corelink::ManualClock clock;
    corelink::Device device{stack, tracer, clock, tracer};
    devio::DeviceHandle handles[256] = {};
    corelink::FlashGeometry geometry;
    NoDumps dumps;
    NoNotice notice;
    corelink::FlashSession session{device, handles, 7, geometry, &dumps, &notice};

    corelink::ScanFlashBlock(session, chip, pagesPerBlock, 0x0102, flags);
    const std::size_t listBytes = 1 + 14 * std::size_t{parameters[5]};
    auto list = std::make_unique<std::uint8_t[]>(listBytes);
    corelink::FindISPAndCISUseBlock(session, chip, list.get(), parameters);
    if (list[0] > 2 * parameters[5]) __builtin_trap();
    corelink::BuildUFDSystemTable(session, chip, parameters, capacity);
    corelink::FreeFlashTable(table);
    return 0;
}
