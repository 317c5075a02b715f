// The parameter block as a careless caller may fill it: any numbers, a label and a system name that
// may be too long and lack their terminating zero. Those two sit in buffers of exactly the size the
// reader promises to look at (12 and 9 bytes: the longest valid text and its zero), so a read past
// that is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "volkern/core/fat32_layout.h"
#include "volkern/core/format_request.h"

namespace {

// Up to `size` bytes from the input in a zeroed buffer of `size` bytes: a text that ends at the zero
// after what was taken, or, when all `size` bytes were taken and none is zero, has no end at all.
std::unique_ptr<char[]> Take(const std::uint8_t*& data, std::size_t& left, std::size_t size, std::size_t& taken) {
    taken = size < left ? size : left;
    auto buffer = std::make_unique<char[]>(size);
    std::memset(buffer.get(), 0, size);
    if (taken > 0) std::memcpy(buffer.get(), data, taken);
    data += taken;
    left -= taken;
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VolkernParameters block{};
    constexpr std::size_t kFixed = 23;  // the fields before the strings
    if (size < kFixed + 2) return 0;
    std::memcpy(&block, data, kFixed);
    const std::size_t labelSize = 12, oemSize = 9;
    const bool withLabel = (data[kFixed] & 1) != 0, withOem = (data[kFixed + 1] & 1) != 0;
    data += kFixed + 2;
    size -= kFixed + 2;
    std::size_t labelTaken = 0, oemTaken = 0;
    const auto label = Take(data, size, labelSize, labelTaken);
    const auto oem = Take(data, size, oemSize, oemTaken);
    const std::string path(reinterpret_cast<const char*>(data), size);  // a C string: zero-terminated
    block.label = withLabel ? label.get() : nullptr;
    block.oemName = withOem ? oem.get() : nullptr;
    block.path = path.c_str();

    const volkern::RequestRead read = volkern::ReadRequest(block, volkern::BuildTime{});
    if (read.error == VOLKERN_OK) {
        // Whatever was accepted plans without trouble.
        volkern::PlanFat32(0, read.request.sectorCount, read.request.sectorsPerCluster);
    }
    return 0;
}
