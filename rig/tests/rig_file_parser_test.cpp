#include "rig/core/rig_file_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using rig::ParseRigFile;

const char kFullRig[] =
    "# two enclosures\n"
    "[rig]\n"
    "format = 1\n"
    "state = run/demo.state\n"
    "log = /var/log/rig-commands.log\n"
    "system_major_version = 10\n"
    "\n"
    "[enclosure]\n"
    "name = backup\n"
    "usb_vendor_id = 0x1A2B\n"
    "usb_product_id = 15437\n"
    "inquiry_vendor = TOVI\n"
    "inquiry_product = \"  Dock 4327  \"\n"
    "inquiry_revision = 2.10\n"
    "signature = ABCD\n"
    "model = 3452\n"
    "sectors = 0x00100000\n"
    "sector_size = 4096\n"
    "interface = \\\\?\\usbstor#disk&ven_tovi&prod_dock#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}\n"
    "drive = e: E\n"
    "drive = F: \"/mnt/with space\"\n"
    "drive_type = removable\n"
    "button = pressed\n"
    "not_ready = yes\n"
    "image = /images/backup.img\n"
    "ata_model = Rig HDD 500\n"
    "ata_serial = S123\n"
    "ata_firmware = FW1\n"
    "\n"
    "; the second one takes every default\n"
    "[Enclosure]\n"
    "USB_VENDOR_ID = 1\n"
    "usb_product_id = 2\n"
    "interface = \\\\?\\usbstor#disk&ven_tovi&prod_two#0002&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}\n"
    "sectors = 1000\n";

TEST(RigFileParser, ReadsEveryKey) {
    const auto result = ParseRigFile(kFullRig, "/srv/rigs/demo.rig");
    ASSERT_TRUE(result.config) << result.error;
    const rig::RigConfig& config = *result.config;
    EXPECT_EQ(config.statePath, "/srv/rigs/run/demo.state");
    EXPECT_EQ(config.logPath, "/var/log/rig-commands.log");
    EXPECT_EQ(config.systemMajorVersion, 10u);
    ASSERT_EQ(config.enclosures.size(), 2u);

    const rig::EnclosureConfig& first = config.enclosures[0];
    EXPECT_EQ(first.name, "backup");
    EXPECT_EQ(first.usbVendorId, 0x1A2B);
    EXPECT_EQ(first.usbProductId, 15437);
    EXPECT_EQ(first.inquiryProduct, "  Dock 4327  ");  // quotes keep the spaces
    EXPECT_EQ(first.inquiryRevision, "2.10");
    EXPECT_EQ(first.signature, "ABCD");
    EXPECT_EQ(first.model, "3452");
    EXPECT_EQ(first.sectors, 0x00100000u);
    EXPECT_EQ(first.sectorSize, 4096u);
    EXPECT_EQ(first.interfacePath,
              "\\\\?\\usbstor#disk&ven_tovi&prod_dock#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
    ASSERT_EQ(first.drives.size(), 2u);
    EXPECT_EQ(first.drives[0].letter, 'E');
    EXPECT_EQ(first.drives[0].folder, "/srv/rigs/E");
    EXPECT_EQ(first.drives[1].letter, 'F');
    EXPECT_EQ(first.drives[1].folder, "/mnt/with space");
    EXPECT_TRUE(first.removable);
    EXPECT_TRUE(first.buttonPressed);
    EXPECT_TRUE(first.notReady);
    EXPECT_EQ(first.imagePath, "/images/backup.img");
    EXPECT_EQ(first.ataModel, "Rig HDD 500");
    EXPECT_EQ(first.ataSerial, "S123");
    EXPECT_EQ(first.ataFirmware, "FW1");
    EXPECT_EQ(first.line, 8);

    const rig::EnclosureConfig& second = config.enclosures[1];
    EXPECT_EQ(second.inquiryVendor, "TOVI");
    EXPECT_EQ(second.inquiryProduct, "USB Enclosure");
    EXPECT_EQ(second.signature, "QKTR");
    EXPECT_EQ(second.model, "4327");
    EXPECT_EQ(second.sectorSize, 512u);
    EXPECT_FALSE(second.removable);
    EXPECT_FALSE(second.buttonPressed);
    EXPECT_FALSE(second.notReady);
    EXPECT_TRUE(second.drives.empty());
    EXPECT_EQ(second.imagePath, "/srv/rigs/run/demo.1.img");  // beside the state file
    EXPECT_EQ(second.ataModel, "TOVI USB Enclosure");
    EXPECT_EQ(second.ataSerial, "RIG00001");
    EXPECT_EQ(second.ataFirmware, "1.00");
}

TEST(RigFileParser, FilesDefaultToTheRigFilesFolderInItsOwnPathForm) {
    const std::string minimal =
        "[enclosure]\nusb_vendor_id = 1\nusb_product_id = 2\ninterface = x\nsectors = 8\ndrive = G: backup\n";
    const auto posix = ParseRigFile(minimal, "/srv/rigs/demo.rig");
    ASSERT_TRUE(posix.config) << posix.error;
    EXPECT_EQ(posix.config->statePath, "/srv/rigs/demo.state");
    EXPECT_EQ(posix.config->logPath, "/srv/rigs/demo.log");
    EXPECT_EQ(posix.config->enclosures[0].imagePath, "/srv/rigs/demo.0.img");
    EXPECT_EQ(posix.config->enclosures[0].drives[0].folder, "/srv/rigs/backup");
    EXPECT_EQ(posix.config->systemMajorVersion, 6u);

    const auto windows = ParseRigFile(minimal, "Z:\\srv\\rigs\\demo.rig");
    ASSERT_TRUE(windows.config) << windows.error;
    EXPECT_EQ(windows.config->statePath, "Z:\\srv\\rigs\\demo.state");
    EXPECT_EQ(windows.config->enclosures[0].imagePath, "Z:\\srv\\rigs\\demo.0.img");
    EXPECT_EQ(windows.config->enclosures[0].drives[0].folder, "Z:\\srv\\rigs\\backup");
}

TEST(RigFileParser, AcceptsBomCrLfCommentsAndAnEmptyMachine) {
    const auto result = ParseRigFile("\xEF\xBB\xBF# nothing plugged\r\n[rig]\r\n  ; indented comment\r\nformat = 1\r\n",
                                     "demo.rig");
    ASSERT_TRUE(result.config) << result.error;
    EXPECT_TRUE(result.config->enclosures.empty());
    EXPECT_EQ(result.config->statePath, "demo.state");
}

std::string Enclosure(const std::string& extra, int serial = 0) {
    return "[enclosure]\nusb_vendor_id = 1\nusb_product_id = 2\ninterface = \\\\?\\usbstor#disk#" +
           std::to_string(serial) + "\nsectors = 8\n" + extra;
}

struct BadCase {
    std::string text;
    std::string error;  // the expected message starts with this
};

TEST(RigFileParser, NamesTheLineOfTheFirstProblem) {
    const BadCase cases[] = {
        {"format = 1\n", "line 1: 'format' outside a section"},
        {"[rig]\n[port]\n", "line 2: unknown section [port]"},
        {"[rig\n", "line 1: a section header ends with ']'"},
        {"[rig]\n[rig]\n", "line 2: a second [rig] section"},
        {"[rig]\nformat\n", "line 2: expected 'key = value'"},
        {"[rig]\n= 1\n", "line 2: missing key"},
        {"[rig]\nfor mat = 1\n", "line 2: bad key"},
        {"[rig]\nformat = 2\n", "line 2: unsupported format '2'"},
        {"[rig]\nstate = a\nstate = b\n", "line 3: 'state' given twice"},
        {"[rig]\nstate =\n", "line 2: empty path"},
        {"[rig]\nsystem_major_version = 0\n", "line 2: 'system_major_version'"},
        {"[rig]\ncolour = red\n", "line 2: unknown key 'colour' in [rig]"},
        {"[enclosure]\nusb_vendor_id = 1\n\n[rig]\n", "line 1: [enclosure] without 'usb_product_id'"},
        {"[enclosure]\nusb_vendor_id = 1\nusb_product_id = 2\nsectors = 8\n",
         "line 1: [enclosure] without 'interface'"},
        {Enclosure("sectors = 9\n"), "line 6: 'sectors' given twice"},
        {"[enclosure]\nusb_vendor_id = 0x10000\n", "line 2: 'usb_vendor_id' must be a number"},
        {"[enclosure]\nusb_product_id = -1\n", "line 2: 'usb_product_id' must be a number"},
        {"[enclosure]\nsectors = 0\n", "line 2: 'sectors' must be a number from 1"},
        {"[enclosure]\nsectors = 0x100000001\n", "line 2: 'sectors' must be a number from 1"},
        {"[enclosure]\nsectors = 99999999999999999999999\n", "line 2: 'sectors' must be a number from 1"},
        {"[enclosure]\nsectors = 0x\n", "line 2: 'sectors' must be a number from 1"},
        {"[enclosure]\nsector_size = 520\n", "line 2: 'sector_size' must be 512"},
        {"[enclosure]\nsignature = QKT\n", "line 2: 'signature' must be exactly 4"},
        {"[enclosure]\nmodel = 43270\n", "line 2: 'model' must be exactly 4"},
        {"[enclosure]\nmodel = 43\xC3\xA9\n", "line 2: 'model' must be printable ASCII"},
        {"[enclosure]\ninquiry_vendor = TOVITOVIX\n", "line 2: 'inquiry_vendor' must be 0 to 8"},
        {"[enclosure]\ninquiry_product = 12345678901234567\n", "line 2: 'inquiry_product' must be 0 to 16"},
        {"[enclosure]\nata_model =\n", "line 2: 'ata_model' must be 1 to 40"},
        {"[enclosure]\ninterface = " + std::string(255, 'x') + "\n", "line 2: 'interface' must be 1 to 254"},
        {"[enclosure]\ndrive = EE /x\n", "line 2: 'drive' is a letter with a colon"},
        {"[enclosure]\ndrive = 1: /x\n", "line 2: 'drive' is a letter with a colon"},
        {"[enclosure]\ndrive = E:\n", "line 2: 'drive' needs a folder"},
        {"[enclosure]\ndrive = E:/x\n", "line 2: 'drive' needs a folder"},
        {"[enclosure]\ndrive_type = floppy\n", "line 2: 'drive_type' must be"},
        {"[enclosure]\nbutton = down\n", "line 2: 'button' must be"},
        {"[enclosure]\nnot_ready = maybe\n", "line 2: 'not_ready' must be yes or no"},
        {"[enclosure]\nspeed = high\n", "line 2: 'speed' must be a number from 0 to 3"},
        {"[enclosure]\nusb_speed = 2\n", "line 2: unknown key 'usb_speed' in [enclosure]"},
        {Enclosure("drive = E: /a\n", 1) + Enclosure("drive = e: /b\n", 2), "line 12: drive letter E: used twice"},
        {Enclosure("name = a\n", 1) + Enclosure("name = A\n", 2), "line 12: enclosure name 'A' used twice"},
        {Enclosure("", 1) + "[enclosure]\nusb_vendor_id = 1\nusb_product_id = 2\ninterface = \\\\?\\USBSTOR#DISK#1\n"
                            "sectors = 8\n",
         "line 6: interface path used by two"},
        {"[rig]\nstate = a\x01\n", "line 2: control character 0x01"},
        {"[rig]\n" + std::string(4097, '#') + "\n", "line 2: longer than 4096 bytes"},
        {"[rig]\nstate = " + std::string(1025, 'a') + "\n", "line 2: path longer than 1024 bytes"},
    };
    for (const BadCase& bad : cases) {
        const auto result = ParseRigFile(bad.text, "/srv/demo.rig");
        EXPECT_FALSE(result.config) << bad.text;
        EXPECT_EQ(result.error.substr(0, bad.error.size()), bad.error) << bad.text << "\n  gave: " << result.error;
    }
}

TEST(RigFileParser, EnforcesItsLimitsExactly) {
    std::string enclosures;
    for (int i = 0; i < 32; ++i) enclosures += Enclosure("", i);
    EXPECT_TRUE(ParseRigFile(enclosures, "r.rig").config);
    const auto tooMany = ParseRigFile(enclosures + Enclosure("", 32), "r.rig");
    EXPECT_FALSE(tooMany.config);
    EXPECT_EQ(tooMany.error, "line 161: more than 32 enclosures");

    std::string drives;
    for (char letter = 'A'; letter < 'A' + 25; ++letter) drives += std::string("drive = ") + letter + ": /d\n";
    EXPECT_TRUE(ParseRigFile(Enclosure(drives), "r.rig").config);
    const auto tooManyDrives = ParseRigFile(Enclosure(drives + "drive = Z: /d\n"), "r.rig");
    EXPECT_EQ(tooManyDrives.error, "line 31: more than 25 drives in one enclosure");

    EXPECT_TRUE(ParseRigFile("[enclosure]\ninterface = " + std::string(254, 'x') +
                                 "\nusb_vendor_id = 1\nusb_product_id = 1\nsectors = 0x100000000\n",
                             "r.rig")
                    .config);
    EXPECT_TRUE(ParseRigFile("[rig]\n" + std::string(4096, '#') + "\n", "r.rig").config);

    const std::string huge(rig::kMaxRigFileSize + 1, '\n');
    EXPECT_EQ(ParseRigFile(huge, "r.rig").error, "the rig file is larger than 1048576 bytes");
}

}  // namespace
