// The storage view of a rig: interfaces and device nodes, the registry, drive layouts, volumes
// and drive letters, and what unplugging an enclosure takes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "topology_fixture.h"

namespace rig_test {
namespace {

using devio::RegistryHive;

std::vector<std::string> Paths(const std::vector<devio::DeviceInterface>& interfaces) {
    std::vector<std::string> paths;
    for (const auto& i : interfaces) paths.push_back(i.path);
    return paths;
}

std::string RegistryText(devio::DeviceStack& stack, const std::string& key, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!stack.ReadRegistryValue(RegistryHive::LocalMachine, key, name, type, data) || type != rig::kRegSz) return "?";
    return std::string(data.begin(), std::find(data.begin(), data.end(), 0));
}

TEST_F(TopologyTest, UsbDeviceNodesLeadToTheirDiskInterfaces) {
    std::vector<devio::DeviceInterface> disks, usb, hubs;
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kDiskInterfaceClass, disks));
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kUsbDeviceInterfaceClass, usb));
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kUsbHubInterfaceClass, hubs));
    EXPECT_EQ(Paths(disks), (std::vector<std::string>{kBackupInterface, kArchiveInterface}));
    EXPECT_EQ(Paths(hubs), (std::vector<std::string>{std::string("\\\\?\\") + kRootHub,
                                                      std::string("\\\\?\\") + kExternalHub}));
    ASSERT_EQ(usb.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        devio::DeviceInstance child = 0, parent = 0;
        ASSERT_TRUE(stack->FirstChildOf(usb[i].instance, child));
        EXPECT_EQ(child, disks[i].instance);
        ASSERT_TRUE(stack->ParentOf(disks[i].instance, parent));
        EXPECT_EQ(parent, usb[i].instance);
    }
    std::vector<std::string> ids;
    ASSERT_TRUE(stack->HardwareIdsOf(usb[0].instance, ids));
    EXPECT_EQ(ids.front(), "USB\\VID_1A2B&PID_3C4D&REV_0100");
    std::string deviceId;
    ASSERT_TRUE(stack->DeviceIdOf(disks[1].instance, deviceId));
    EXPECT_EQ(deviceId, "USBSTOR\\DISK&VEN_TOVI&PROD_USB_ENCLOSURE&REV_1.00\\A0B1C2D3&0");
    // The archive hangs below the external hub's node.
    devio::DeviceInstance parent = 0;
    ASSERT_TRUE(stack->ParentOf(usb[1].instance, parent));
    EXPECT_EQ(parent, hubs[1].instance);
    EXPECT_FALSE(stack->FirstChildOf(disks[0].instance, parent));
    EXPECT_FALSE(stack->DeviceIdOf(9999, deviceId));
}

TEST_F(TopologyTest, RegistryHoldsDriverParentIdPrefixAndSymbolicName) {
    const std::string usb = rig::kUsbEnumKey;
    std::vector<std::string> names;
    ASSERT_TRUE(stack->EnumerateRegistryKeys(RegistryHive::LocalMachine, usb, names));
    EXPECT_EQ(names, (std::vector<std::string>{"VID_2C3D&PID_0104", "VID_1A2B&PID_3C4D", "VID_1A2B&PID_3C4E"}));
    ASSERT_TRUE(stack->EnumerateRegistryKeys(RegistryHive::LocalMachine, usb + "\\vid_1a2b&pid_3c4d", names));
    EXPECT_EQ(names, std::vector<std::string>{"0000A1"});

    const std::string backup = usb + "\\VID_1A2B&PID_3C4D\\0000A1";
    EXPECT_EQ(RegistryText(*stack, backup, "Driver"), "{36fc9e60-c465-11cf-8056-444553540000}\\0000");
    EXPECT_EQ(RegistryText(*stack, backup, "ParentIdPrefix"), "7&2a6c1d1e&0");
    EXPECT_EQ(RegistryText(*stack, backup + "\\Device Parameters", "SymbolicName"),
              "\\??\\usb#vid_1a2b&pid_3c4d#0000A1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    // Without a prefix the instance key is named after the serial number and has no such value.
    const std::string archive = usb + "\\VID_1A2B&PID_3C4E\\A0B1C2D3";
    ASSERT_TRUE(stack->EnumerateRegistryValues(RegistryHive::LocalMachine, archive, names));
    EXPECT_EQ(names, std::vector<std::string>{"Driver"});
    EXPECT_EQ(RegistryText(*stack, archive, "ParentIdPrefix"), "?");

    EXPECT_FALSE(stack->EnumerateRegistryKeys(RegistryHive::LocalMachine, usb + "\\VID_0000&PID_0000", names));
    EXPECT_FALSE(stack->EnumerateRegistryKeys(RegistryHive::CurrentUser, usb, names));
    EXPECT_FALSE(stack->WriteRegistryValue(RegistryHive::LocalMachine, usb + "\\VID_0000&PID_0000", "Driver",
                                           rig::kRegSz, {}))
        << "values go into existing keys only";
}

TEST_F(TopologyTest, MbrAndGptLayoutsAndDeviceNumbers) {
    const auto backup = Open(kBackupInterface);
    const Reply mbr = Ask(*stack, backup, devio::kIoctlDiskGetDriveLayoutEx, std::vector<std::uint8_t>(192), 2240);
    ASSERT_TRUE(mbr.delivered);
    const auto header = mbr.As<devio::DriveLayoutInformationExHeader>();
    EXPECT_EQ(header.PartitionStyle, devio::kPartitionStyleMbr);
    EXPECT_EQ(header.Mbr.Signature, 0xCAFE0001u);
    ASSERT_EQ(header.PartitionCount, 2u) << "E: and its part of G:";
    EXPECT_EQ(mbr.returned, 48u + 2 * 144);
    const auto first = mbr.As<devio::PartitionInformationEx>(48);
    EXPECT_EQ(first.StartingOffset, 0x100000);
    EXPECT_EQ(first.PartitionNumber, 1u);

    // The MBR letter is found through MountedDevices: signature and offset.
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(stack->ReadRegistryValue(RegistryHive::LocalMachine, rig::kMountedDevicesKey, "\\DosDevices\\E:",
                                         type, data));
    EXPECT_EQ(type, rig::kRegBinary);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x01, 0x00, 0xFE, 0xCA, 0, 0, 0x10, 0, 0, 0, 0, 0}));

    const auto archive = Open(kArchiveInterface);
    const Reply gpt = Ask(*stack, archive, devio::kIoctlDiskGetDriveLayoutEx, {}, 2240);
    ASSERT_TRUE(gpt.delivered);
    EXPECT_EQ(gpt.As<devio::DriveLayoutInformationExHeader>().PartitionStyle, devio::kPartitionStyleGpt);
    EXPECT_EQ(gpt.As<devio::DriveLayoutInformationExHeader>().Gpt.MaxPartitionCount, 128u);
    const Reply number = Ask(*stack, archive, devio::kIoctlStorageGetDeviceNumber, {}, 12);
    ASSERT_TRUE(number.delivered);
    EXPECT_EQ(number.As<devio::StorageDeviceNumber>().DeviceNumber, 7u);
    EXPECT_EQ(number.As<devio::StorageDeviceNumber>().DeviceType, devio::kFileDeviceDisk);

    // Too small for the whole layout or the device number: refused, nothing written.
    const Reply shortLayout = Ask(*stack, backup, devio::kIoctlDiskGetDriveLayoutEx, {}, 192);
    EXPECT_EQ(shortLayout.lastError, devio::kErrorInsufficientBuffer);
    EXPECT_EQ(shortLayout.bytes[0], 0xCC);
    EXPECT_TRUE(shortLayout.GuardIntact());
    EXPECT_EQ(Ask(*stack, archive, devio::kIoctlStorageGetDeviceNumber, {}, 11).lastError,
              devio::kErrorInsufficientBuffer);
}

TEST_F(TopologyTest, VolumeSpanningTwoDisksHasTwoExtents) {
    std::vector<std::string> volumes, paths;
    ASSERT_TRUE(stack->EnumerateVolumes(volumes));
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[1], "\\\\?\\Volume{6d1f6a3e-0b1c-4e0d-9a55-3c2b1a000001}\\");
    ASSERT_TRUE(stack->VolumePathNames(volumes[1], paths));
    EXPECT_EQ(paths, std::vector<std::string>{"G:\\"});
    EXPECT_FALSE(stack->VolumePathNames("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\", paths));
    EXPECT_EQ(stack->LogicalDriveMask(), (1u << ('E' - 'A')) | (1u << ('G' - 'A')));

    const auto g = Open("\\\\.\\g:");
    ASSERT_NE(g, devio::kInvalidDeviceHandle);
    const Reply extents = Ask(*stack, g, devio::kIoctlVolumeGetVolumeDiskExtents, {}, 248);
    ASSERT_TRUE(extents.delivered);
    EXPECT_EQ(extents.returned, 8u + 2 * 24);
    EXPECT_EQ(extents.As<std::uint32_t>(), 2u);
    EXPECT_EQ(extents.As<devio::DiskExtent>(8).DiskNumber, 1u);
    EXPECT_EQ(extents.As<devio::DiskExtent>(8).StartingOffset, 0x10000000);
    EXPECT_EQ(extents.As<devio::DiskExtent>(32).DiskNumber, 7u);
    EXPECT_EQ(extents.As<devio::DiskExtent>(32).ExtentLength, 0x4000000);
    // Room for one extent: the count and that extent, ERROR_MORE_DATA.
    const Reply one = Ask(*stack, g, devio::kIoctlVolumeGetVolumeDiskExtents, {}, 32);
    EXPECT_FALSE(one.delivered);
    EXPECT_EQ(one.lastError, devio::kErrorMoreData);
    EXPECT_EQ(one.returned, 32u);
    EXPECT_EQ(one.As<std::uint32_t>(), 2u);
    EXPECT_TRUE(one.GuardIntact());
    EXPECT_EQ(Ask(*stack, g, devio::kIoctlVolumeGetVolumeDiskExtents, {}, 31).lastError, devio::kErrorInsufficientBuffer);

    // A volume on two disks is no one device; E: still reaches its enclosure.
    EXPECT_EQ(SendThrough(*stack, g, Inquiry()).lastError, devio::kErrorNotSupported);
    EXPECT_TRUE(SendThrough(*stack, Open("\\\\.\\E:"), Inquiry()).delivered);
}

TEST_F(TopologyTest, UnplugTakesThePortInterfacesAndLettersAway) {
    const auto root = RootHub();
    const auto handle = Open(kBackupInterface);
    ASSERT_EQ(Rigctl({"unplug"}), 0);

    const Reply port = Ask(*stack, root, devio::kIoctlUsbGetNodeConnectionInformationEx, PortRequest(1, 365), 365);
    ASSERT_TRUE(port.delivered);
    EXPECT_EQ(+port.As<devio::UsbNodeConnectionInformationEx>().ConnectionStatus, 0u);
    EXPECT_EQ(+port.As<devio::UsbNodeConnectionInformationEx>().DeviceDescriptor.idVendor, 0);
    std::vector<devio::DeviceInterface> disks, usb;
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kDiskInterfaceClass, disks));
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kUsbDeviceInterfaceClass, usb));
    EXPECT_EQ(Paths(disks), std::vector<std::string>{kArchiveInterface});
    EXPECT_EQ(usb.size(), 1u);
    EXPECT_EQ(stack->LogicalDriveMask(), 0u) << "E: and the spanned G: are gone";
    EXPECT_EQ(stack->DriveType("E:\\"), rig::kDriveNoRootDir);
    EXPECT_EQ(Open(kBackupInterface), devio::kInvalidDeviceHandle);
    EXPECT_EQ(SendThrough(*stack, handle, Inquiry()).lastError, devio::kErrorDeviceNotConnected);
    // The registry remembers the device.
    EXPECT_NE(RegistryText(*stack, std::string(rig::kUsbEnumKey) + "\\VID_1A2B&PID_3C4D\\0000A1", "Driver"), "?");

    ASSERT_EQ(Rigctl({"plug"}), 0);
    EXPECT_EQ(+Ask(*stack, root, devio::kIoctlUsbGetNodeConnectionInformationEx, PortRequest(1, 365), 365)
                  .As<devio::UsbNodeConnectionInformationEx>()
                  .ConnectionStatus,
              1u);
    EXPECT_EQ(stack->LogicalDriveMask(), (1u << ('E' - 'A')) | (1u << ('G' - 'A')));
    EXPECT_TRUE(SendThrough(*stack, handle, Inquiry()).delivered);

    // The state file keeps it across programs; reset plugs everything back in.
    ASSERT_EQ(Rigctl({"unplug", "--enclosure", "1"}), 0);
    EXPECT_EQ(Program()->LogicalDriveMask(), 1u << ('E' - 'A'));
    EXPECT_EQ(Rigctl({"unplug", "--enclosure", "2"}), 1);
    ASSERT_EQ(Rigctl({"reset"}), 0);
    EXPECT_EQ(Program()->LogicalDriveMask(), (1u << ('E' - 'A')) | (1u << ('G' - 'A')));
}

// The backup enclosure also presenting a CD-ROM interface with letter F:.
inline const char kBackupCdrom[] =
    "\\\\?\\usbstor#cdrom&ven_tovi&prod_usb_enclosure&rev_1.00#7&2a6c1d1e&0&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

std::string CdromRigText() {
    std::string text = TopologyRigText();
    text.replace(text.find("drive = E: E\n"), 13, "drive = E: E\ncdrom = f:\n");
    return text;
}

std::vector<std::uint8_t> Wide(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (char c : text) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class CdromTest : public TopologyTest {
protected:
    void SetUp() override {
        TopologyTest::SetUp();
        WriteTextFile(rigPath, CdromRigText());
        ASSERT_EQ(Rigctl({"reset"}), 0);
        stack = Program();
        ASSERT_TRUE(stack);
    }
};

TEST_F(CdromTest, CdromInterfaceHasItsNodeAndAnswersAsACdromUnit) {
    std::vector<devio::DeviceInterface> cdroms, disks, usb;
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kCdromInterfaceClass, cdroms));
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kDiskInterfaceClass, disks));
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kUsbDeviceInterfaceClass, usb));
    ASSERT_EQ(Paths(cdroms), std::vector<std::string>{kBackupCdrom});
    EXPECT_EQ(Paths(disks), (std::vector<std::string>{kBackupInterface, kArchiveInterface}));

    // A sibling of the disk's node: the USB device's first child stays the disk.
    devio::DeviceInstance node = 0;
    ASSERT_TRUE(stack->FirstChildOf(usb[0].instance, node));
    EXPECT_EQ(node, disks[0].instance);
    ASSERT_TRUE(stack->ParentOf(cdroms[0].instance, node));
    EXPECT_EQ(node, usb[0].instance);
    EXPECT_NE(cdroms[0].instance, disks[0].instance);
    std::string deviceId;
    std::vector<std::string> ids;
    ASSERT_TRUE(stack->DeviceIdOf(cdroms[0].instance, deviceId));
    EXPECT_EQ(deviceId, "USBSTOR\\CDROM&VEN_TOVI&PROD_USB_ENCLOSURE&REV_1.00\\7&2A6C1D1E&0&0");
    ASSERT_TRUE(stack->HardwareIdsOf(cdroms[0].instance, ids));
    EXPECT_EQ(ids, std::vector<std::string>{"USBSTOR\\GenCdRom"});

    // INQUIRY: type 5, the enclosure's identity bytes; the disk still reports type 0.
    const Sent cdrom = SendThrough(*stack, Open(kBackupCdrom), Inquiry());
    const Sent disk = SendThrough(*stack, Open(kBackupInterface), Inquiry());
    ASSERT_TRUE(cdrom.delivered);
    ASSERT_TRUE(disk.delivered);
    ASSERT_EQ(cdrom.data.size(), disk.data.size());
    EXPECT_EQ(cdrom.data[0], 0x05);
    EXPECT_EQ(disk.data[0], 0x00);
    EXPECT_TRUE(std::equal(cdrom.data.begin() + 1, cdrom.data.end(), disk.data.begin() + 1));
    EXPECT_EQ(std::string(cdrom.data.begin() + 36, cdrom.data.begin() + 40), "QKTR");
    // It is not the disk: no layout, so the disk's signature never lends it the disk's letters.
    const Reply layout = Ask(*stack, Open(kBackupCdrom), devio::kIoctlDiskGetDriveLayoutEx, {}, 4096);
    EXPECT_FALSE(layout.delivered);
    EXPECT_EQ(layout.lastError, devio::kErrorNotSupported);
}

TEST_F(CdromTest, CdromLetterIsAVolumeMountedByInterfaceName) {
    EXPECT_EQ(stack->LogicalDriveMask(), (1u << ('E' - 'A')) | (1u << ('F' - 'A')) | (1u << ('G' - 'A')));
    EXPECT_EQ(stack->DriveType("F:\\"), rig::kDriveCdrom);
    EXPECT_EQ(stack->DriveType("E:\\"), rig::kDriveFixed);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(stack->ReadRegistryValue(RegistryHive::LocalMachine, rig::kMountedDevicesKey, "\\DosDevices\\F:",
                                         type, data));
    EXPECT_EQ(type, rig::kRegBinary);
    EXPECT_EQ(data, Wide(std::string("\\??\\") + (kBackupCdrom + 4)));
    // E: keeps its MBR entry: signature and offset.
    ASSERT_TRUE(stack->ReadRegistryValue(RegistryHive::LocalMachine, rig::kMountedDevicesKey, "\\DosDevices\\E:",
                                         type, data));
    EXPECT_EQ(data.size(), 12u);

    const auto f = Open("\\\\.\\F:");
    const Sent inquiry = SendThrough(*stack, f, Inquiry());
    ASSERT_TRUE(inquiry.delivered);
    EXPECT_EQ(inquiry.data.at(0), 0x05);
    EXPECT_EQ(Ask(*stack, f, devio::kIoctlVolumeGetVolumeDiskExtents, {}, 248).lastError, devio::kErrorNotSupported);
    // The disk's layout counts only its own partition.
    const Reply layout = Ask(*stack, Open(kBackupInterface), devio::kIoctlDiskGetDriveLayoutEx, {}, 4096);
    ASSERT_TRUE(layout.delivered);
    EXPECT_EQ(layout.As<devio::DriveLayoutInformationExHeader>().PartitionCount, 2u) << "E: and the spanned G:";
}

TEST_F(CdromTest, UnplugTakesTheCdromInterfaceAndLetterAway) {
    const auto handle = Open(kBackupCdrom);
    ASSERT_NE(handle, devio::kInvalidDeviceHandle);
    ASSERT_EQ(Rigctl({"unplug"}), 0);
    std::vector<devio::DeviceInterface> cdroms;
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kCdromInterfaceClass, cdroms));
    EXPECT_TRUE(cdroms.empty());
    EXPECT_EQ(stack->LogicalDriveMask(), 0u);
    EXPECT_EQ(stack->DriveType("F:\\"), rig::kDriveNoRootDir);
    EXPECT_EQ(Open(kBackupCdrom), devio::kInvalidDeviceHandle);
    EXPECT_EQ(Open("\\\\.\\F:"), devio::kInvalidDeviceHandle);
    EXPECT_EQ(SendThrough(*stack, handle, Inquiry()).lastError, devio::kErrorDeviceNotConnected);

    ASSERT_EQ(Rigctl({"plug"}), 0);
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kCdromInterfaceClass, cdroms));
    EXPECT_EQ(Paths(cdroms), std::vector<std::string>{kBackupCdrom});
    EXPECT_EQ(SendThrough(*stack, handle, Inquiry()).data.at(0), 0x05);
}

TEST(TopologyParser, CdromKeyNeedsAFreeLetterAndADiskPath) {
    const auto config = rig::ParseRigFile(CdromRigText(), "t.rig").config;
    ASSERT_TRUE(config);
    EXPECT_EQ(config->enclosures[0].cdromLetter, 'F');
    EXPECT_EQ(config->enclosures[0].cdromPath, kBackupCdrom);
    EXPECT_TRUE(config->enclosures[1].cdromPath.empty());

    struct BadCase {
        std::string replace, with, error;
    };
    const std::vector<BadCase> cases = {
        {"cdrom = f:", "cdrom = E:", "drive letter E: used twice"},
        {"cdrom = f:", "cdrom = F", "'cdrom' is a drive letter with a colon"},
        {"cdrom = f:", "cdrom = f:\ncdrom = H:", "given twice"},
        {"usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#7", "usbstor#disc&ven_tovi&prod_usb_enclosure&rev_1.00#7",
         "'cdrom' needs an 'interface' containing '#disk&'"},
        // The archive's disk path is the backup's CD-ROM path.
        {"usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#A0B1C2D3&0",
         "usbstor#cdrom&ven_tovi&prod_usb_enclosure&rev_1.00#7&2a6c1d1e&0&0", "used by two"},
    };
    for (const BadCase& bad : cases) {
        std::string text = CdromRigText();
        const auto at = text.find(bad.replace);
        ASSERT_NE(at, std::string::npos) << bad.replace;
        text.replace(at, bad.replace.size(), bad.with);
        const auto result = rig::ParseRigFile(text, "t.rig");
        EXPECT_FALSE(result.config) << bad.with;
        EXPECT_NE(result.error.find(bad.error), std::string::npos) << bad.with << "\n  gave: " << result.error;
    }
    // A path of 254 bytes is fine as a disk path but one byte too long as a CD-ROM path.
    std::string text = CdromRigText();
    const std::string longPath = "\\\\?\\usbstor#disk&" + std::string(254 - 17, 'x');
    text.replace(text.find(kBackupInterface), std::strlen(kBackupInterface), longPath);
    EXPECT_NE(rig::ParseRigFile(text, "t.rig").error.find("longer than 254 bytes"), std::string::npos);
}

TEST(TopologyParser, RefusesInconsistentTrees) {
    struct BadCase {
        std::string replace, with, error;
    };
    const std::vector<BadCase> cases = {
        {"parent = desk hub\n", "parent = nowhere\n", "must name a [controller] or a [hub]"},
        {"port = 2\nspeed = 3", "port = 5\nspeed = 3", "'port' is beyond the ports of 'desk hub'"},
        {"extent = archive 0x100000 0x4000000", "extent = archive 0x100000 0x40000000", "beyond the capacity"},
        {"extent = archive", "extent = nobody", "'extent' names no enclosure"},
        {"letter = G:", "letter = E:", "drive letter E: used twice"},
        {"string = 0x0407 2 Sicherung", "string = 0x0407 2 Sicherung\nstring = 0x407 2 X", "given twice"},
        {"string = 0x0407 2 Sicherung", "string = 0x0407 0 X", "'string' is a language, an index"},
        {"parent = xhci\nport = 3", "parent = xhci", "without 'port'"},
        {"[controller]\nname = xhci", "[controller]\nname = desk hub", "used twice"},
    };
    for (const BadCase& bad : cases) {
        std::string text = TopologyRigText();
        const auto at = text.find(bad.replace);
        ASSERT_NE(at, std::string::npos) << bad.replace;
        text.replace(at, bad.replace.size(), bad.with);
        const auto result = rig::ParseRigFile(text, "t.rig");
        EXPECT_FALSE(result.config) << bad.with;
        EXPECT_NE(result.error.find(bad.error), std::string::npos) << bad.with << "\n  gave: " << result.error;
    }
    // Two devices on one port.
    std::string text = TopologyRigText();
    text.replace(text.find("parent = desk hub\nport = 2"), 26, "parent = xhci\nport = 1");
    EXPECT_NE(rig::ParseRigFile(text, "t.rig").error.find("port 1 of 'xhci' used twice"), std::string::npos);
    EXPECT_TRUE(rig::ParseRigFile(TopologyRigText(), "t.rig").config);
}

}  // namespace
}  // namespace rig_test
