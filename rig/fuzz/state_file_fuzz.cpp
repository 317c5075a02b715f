// Feeds arbitrary bytes to the state file reader as the file's content (older versions are
// upgraded in place): loading never reads or writes outside the file, and a record it accepts
// serializes back to the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rig/core/rig_file_parser.h"
#include "rig/core/state_file.h"

namespace {

class MemoryFile final : public rig::File {
public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool Size(std::uint64_t& size) override {
        size = bytes_.size();
        return true;
    }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) override {
        got = 0;
        if (offset >= bytes_.size()) return true;
        got = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_.size() - offset));
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), got, out.begin());
        return true;
    }
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        if (offset + bytes.size() > kLimit) return false;
        if (bytes_.size() < offset + bytes.size()) bytes_.resize(static_cast<std::size_t>(offset + bytes.size()));
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    }
    bool Truncate(std::uint64_t size) override {
        bytes_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, kLimit)));
        return true;
    }

private:
    static constexpr std::uint64_t kLimit = 64u * 1024 * 1024;
    std::vector<std::uint8_t> bytes_;
};

const rig::RigConfig& Config() {
    static const rig::RigConfig config = *rig::ParseRigFile(
        "[enclosure]\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4D\nsectors = 2048\n"
        "interface = \\\\?\\usbstor#disk&ven_tovi#0001#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}\n"
        "[enclosure]\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4E\nsectors = 2048\n"
        "interface = \\\\?\\usbstor#disk&ven_tovi#0002#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}\n",
        "/fuzz/sample.rig").config;
    return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryFile file(std::vector<std::uint8_t>(data, data + size));
    rig::StateFile stateFile(file, Config());
    for (std::size_t index = 0; index < 2; ++index) {
        rig::DeviceState state;
        std::string error;
        if (!stateFile.Load(index, state, error)) {
            if (error.empty()) __builtin_trap();
            continue;
        }
        std::vector<std::uint8_t> record;
        rig::SerializeState(state, record);
        rig::DeviceState again;
        if (!rig::DeserializeState(record, again) || !(again == state)) __builtin_trap();
    }
    return 0;
}
