#include "usb_descriptors.h"

#include <algorithm>

namespace rig {
namespace {

constexpr std::uint8_t kClassMassStorage = 0x08;
constexpr std::uint8_t kClassHub = 0x09;

bool HasString(const EnclosureConfig& enclosure, std::uint8_t index) {
    return std::any_of(enclosure.strings.begin(), enclosure.strings.end(),
                       [index](const UsbString& s) { return s.index == index; });
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> Configuration(std::uint8_t interfaceClass, std::uint8_t subClass, std::uint8_t protocol,
                                        const std::vector<std::uint8_t>& endpoints) {
    const auto total = static_cast<std::uint16_t>(9 + 9 + 7 * endpoints.size());
    std::vector<std::uint8_t> out{9, kDescriptorConfiguration};
    Put16(out, total);
    out.insert(out.end(), {1, 1, 0, 0x80, 50});  // one interface, value 1, bus powered, 100 mA
    out.insert(out.end(), {9, kDescriptorInterface, 0, 0, static_cast<std::uint8_t>(endpoints.size()),
                           interfaceClass, subClass, protocol, 0});
    for (std::uint8_t address : endpoints) {
        const bool interrupt = interfaceClass == kClassHub;
        out.insert(out.end(), {7, kDescriptorEndpoint, address, static_cast<std::uint8_t>(interrupt ? 3 : 2)});
        Put16(out, interrupt ? 1 : 512);
        out.push_back(interrupt ? 12 : 0);
    }
    return out;
}

}  // namespace

UsbDeviceDescriptor EnclosureDeviceDescriptor(const EnclosureConfig& enclosure) {
    UsbDeviceDescriptor d{};
    d.bLength = sizeof d;
    d.bDescriptorType = kDescriptorDevice;
    d.bcdUSB = enclosure.bcdUsb;
    d.bMaxPacketSize0 = enclosure.bcdUsb >= 0x0300 ? 9 : 64;
    d.idVendor = enclosure.usbVendorId;
    d.idProduct = enclosure.usbProductId;
    d.bcdDevice = enclosure.bcdDevice;
    d.iManufacturer = HasString(enclosure, 1) ? 1 : 0;
    d.iProduct = HasString(enclosure, 2) ? 2 : 0;
    d.iSerialNumber = HasString(enclosure, 3) ? 3 : 0;
    d.bNumConfigurations = 1;
    return d;
}

UsbDeviceDescriptor HubDeviceDescriptor(const HubConfig& hub) {
    UsbDeviceDescriptor d{};
    d.bLength = sizeof d;
    d.bDescriptorType = kDescriptorDevice;
    d.bcdUSB = 0x0200;
    d.bDeviceClass = kClassHub;
    d.bMaxPacketSize0 = 64;
    d.idVendor = hub.usbVendorId;
    d.idProduct = hub.usbProductId;
    d.bcdDevice = 0x0100;
    d.bNumConfigurations = 1;
    return d;
}

std::vector<std::uint8_t> EnclosureConfiguration() {
    return Configuration(kClassMassStorage, 0x06, 0x50, {0x81, 0x02});  // SCSI, bulk-only
}

std::vector<std::uint8_t> HubConfiguration() { return Configuration(kClassHub, 0, 0, {0x81}); }

std::optional<std::vector<std::uint8_t>> StringDescriptor(const EnclosureConfig& enclosure, std::uint8_t index,
                                                          std::uint16_t language) {
    std::vector<std::uint8_t> out{0, kDescriptorString};
    if (index == 0) {
        std::vector<std::uint16_t> languages;
        for (const UsbString& s : enclosure.strings) {
            if (std::find(languages.begin(), languages.end(), s.language) == languages.end()) {
                languages.push_back(s.language);
            }
        }
        if (languages.empty()) return std::nullopt;
        for (std::uint16_t l : languages) Put16(out, l);
    } else {
        const auto found = std::find_if(enclosure.strings.begin(), enclosure.strings.end(),
                                        [&](const UsbString& s) { return s.index == index && s.language == language; });
        if (found == enclosure.strings.end()) return std::nullopt;
        for (char c : found->text) Put16(out, static_cast<std::uint8_t>(c));
    }
    out[0] = static_cast<std::uint8_t>(out.size());
    return out;
}

}  // namespace rig
