#pragma once
// The simulated enclosure of the tests that run the programs end to end: one enclosure of the
// maker's, serial 0001, on port 1 of a USB controller's root hub (where the component's port
// walk finds it), its drive E: the folder "enclosure" beside the rig file.

#include <filesystem>
#include <fstream>
#include <string>

namespace testing_support {

inline constexpr char kEnclosureInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// Writes the rig file `rigFile` and makes the enclosure's folder beside it.
inline void WriteEnclosureRig(const std::wstring& rigFile) {
    const std::filesystem::path path(rigFile);
    std::filesystem::create_directories(path.parent_path() / "enclosure");
    std::ofstream(path) << "[controller]\nname = xhci\nports = 4\n"
                           "path = \\\\?\\pci#ven_1b2c&dev_0d0e#3&11583659&0&a0#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}\n"
                           "root_hub = USB#ROOT_HUB20#4&2a1b3c4d&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}\n"
                           "\n[enclosure]\nname = backup\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4D\n"
                           "sectors = 0x100000\nparent = xhci\nport = 1\nserial_number = 0001\ninterface = "
                        << kEnclosureInterface << "\ndrive = E: enclosure\n";
}

}  // namespace testing_support
