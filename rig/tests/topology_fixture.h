#pragma once
// A rig with a USB tree: one host controller whose root hub has four ports; enclosure "backup"
// on root port 1 (MBR, strings in two languages, a parent id prefix); an external hub on root
// port 3 with enclosure "archive" on its port 2 (GPT); a volume G: spanning both disks.

#include <algorithm>
#include <cstring>
#include <sstream>

#include "rig/core/machine_view.h"
#include "rig/core/rig_control.h"
#include "rig/core/rig_file_parser.h"
#include "common/core/usb_ioctl_layout.h"
#include "rig_fixture.h"

namespace rig_test {

inline const char kController[] = "\\\\?\\pci#ven_1b2c&dev_0d0e#3&11583659&0&a0#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}";
inline const char kRootHub[] = "USB#ROOT_HUB20#4&2a1b3c4d&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
inline const char kExternalHub[] = "USB#VID_2C3D&PID_0104#5&1e2f3a4b&0&3#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
inline const char kBackupInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#7&2a6c1d1e&0&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
inline const char kArchiveInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#A0B1C2D3&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

inline std::string TopologyRigText() {
    return std::string(
               "[controller]\nname = xhci\nports = 4\npath = ") +
           kController + "\nroot_hub = " + kRootHub +
           "\n\n[hub]\nname = desk hub\nparent = xhci\nport = 3\nports = 4\n"
           "usb_vendor_id = 0x2C3D\nusb_product_id = 0x0104\nhub_name = " +
           kExternalHub +
           "\n\n[enclosure]\nname = backup\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4D\nsectors = 0x100000\n"
           "interface = " +
           kBackupInterface +
           "\ndrive = E: E\nparent = xhci\nport = 1\nspeed = 2\nmanufacturer = Tovi\nproduct = Backup Box\n"
           "serial_number = 0000A1\nstring = 0x0407 1 Tovi GmbH\nstring = 0x0407 2 Sicherung\n"
           "parent_id_prefix = 7&2a6c1d1e&0\ndisk_signature = 0xCAFE0001\n"
           "\n[enclosure]\nname = archive\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4E\nsectors = 0x200000\n"
           "interface = " +
           kArchiveInterface +
           "\nparent = desk hub\nport = 2\nspeed = 3\nbcd_usb = 0x0300\nserial_number = A0B1C2D3\n"
           "partition_style = gpt\ndevice_number = 7\n"
           "\n[volume]\nguid = {6d1f6a3e-0b1c-4e0d-9a55-3c2b1a000001}\nletter = G:\n"
           "extent = backup 0x10000000 0x1000000\nextent = archive 0x100000 0x4000000\n";
}

// A control request's reply in a buffer with a guard area behind the caller's output size.
struct Reply {
    bool delivered = false;
    std::uint32_t returned = 0;
    std::uint32_t lastError = 0;
    std::vector<std::uint8_t> bytes;  // outputSize bytes, then the guard
    std::uint32_t outputSize = 0;

    bool GuardIntact() const {
        for (std::size_t i = outputSize; i < bytes.size(); ++i) {
            if (bytes[i] != 0xCC) return false;
        }
        return true;
    }
    template <typename T>
    T As(std::size_t offset = 0) const {
        T value{};
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    }
    // The wide ASCII text at `offset` up to its NUL or the returned bytes.
    std::string Wide(std::size_t offset) const {
        std::string text;
        for (std::size_t i = offset; i + 1 < returned && bytes[i] != 0; i += 2) text += static_cast<char>(bytes[i]);
        return text;
    }
};

inline Reply Ask(devio::DeviceStack& stack, devio::DeviceHandle handle, std::uint32_t code,
                 const std::vector<std::uint8_t>& input, std::uint32_t outputSize) {
    Reply reply;
    reply.outputSize = outputSize;
    reply.bytes.assign(outputSize + 64, 0xCC);
    reply.delivered = stack.Control(handle, code, input.data(), static_cast<std::uint32_t>(input.size()),
                                    reply.bytes.data(), outputSize, reply.returned, reply.lastError);
    return reply;
}

template <typename T>
std::vector<std::uint8_t> BytesOf(const T& value, std::size_t size = sizeof(T)) {
    std::vector<std::uint8_t> bytes(size, 0);
    std::memcpy(bytes.data(), &value, std::min(size, sizeof value));
    return bytes;
}

inline std::vector<std::uint8_t> PortRequest(std::uint32_t port, std::size_t size) {
    return BytesOf(port, size);
}

inline std::vector<std::uint8_t> DescriptorRequest(std::uint32_t port, std::uint8_t type, std::uint8_t index,
                                                   std::uint16_t language, std::uint16_t length) {
    devio::UsbDescriptorRequest request{};
    request.ConnectionIndex = port;
    request.wValue = static_cast<std::uint16_t>(type << 8 | index);
    request.wIndex = language;
    request.wLength = length;
    return BytesOf(request, sizeof request + length);
}

inline Request Inquiry() { return MakeRequest(Cdb{0x12, 0, 0, 0, 128, 0}, devio::kDataIn, 128); }

class TopologyTest : public RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        WriteTextFile(rigPath, TopologyRigText());
        stack = Program();
        ASSERT_TRUE(stack);
    }

    int Rigctl(std::vector<std::string> args) {
        std::ostringstream out, err;
        args.insert(args.begin(), rigPath);
        return rig::RunRigControl(rig::PlatformFileSystem(), args, out, err);
    }

    devio::DeviceHandle Open(const std::string& path) { return OpenPath(*stack, path); }
    devio::DeviceHandle RootHub() { return Open(std::string("\\\\?\\") + kRootHub); }

    std::unique_ptr<rig::RigDeviceStack> stack;
};

}  // namespace rig_test
