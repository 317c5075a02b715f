// The hub view of a rig: root hub name, node and connection information, hub chains,
// descriptors and their bounds.
#include <gtest/gtest.h>

#include "topology_fixture.h"

namespace rig_test {
namespace {

using devio::UsbNodeConnectionInformationEx;

UsbNodeConnectionInformationEx Connection(devio::DeviceStack& stack, devio::DeviceHandle hub, std::uint32_t port) {
    const Reply reply = Ask(stack, hub, devio::kIoctlUsbGetNodeConnectionInformationEx, PortRequest(port, 365), 365);
    EXPECT_TRUE(reply.delivered) << "port " << port << " error " << reply.lastError;
    return reply.As<UsbNodeConnectionInformationEx>();
}

TEST_F(TopologyTest, HostControllerNamesItsRootHubInTwoSteps) {
    const auto controller = Open(kController);
    ASSERT_NE(controller, devio::kInvalidDeviceHandle);
    const Reply size = Ask(*stack, controller, devio::kIoctlUsbGetRootHubName, {}, 6);
    ASSERT_TRUE(size.delivered);
    EXPECT_EQ(size.returned, 6u);
    EXPECT_TRUE(size.GuardIntact());
    const auto needed = size.As<std::uint32_t>();
    EXPECT_EQ(needed, 4 + 2 * (std::strlen(kRootHub) + 1));
    const Reply full = Ask(*stack, controller, devio::kIoctlUsbGetRootHubName, {}, needed);
    ASSERT_TRUE(full.delivered);
    EXPECT_EQ(full.returned, needed);
    EXPECT_EQ(full.Wide(4), kRootHub);
    EXPECT_EQ(Ask(*stack, controller, devio::kIoctlUsbGetRootHubName, {}, 5).lastError, devio::kErrorInsufficientBuffer);
}

TEST_F(TopologyTest, DeviceOnARootHubPort) {
    const auto hub = RootHub();
    ASSERT_NE(hub, devio::kInvalidDeviceHandle);
    const Reply info = Ask(*stack, hub, devio::kIoctlUsbGetNodeInformation, std::vector<std::uint8_t>(76), 76);
    ASSERT_TRUE(info.delivered);
    EXPECT_EQ(info.returned, 76u);
    EXPECT_EQ(info.bytes[6], 4) << "bNumberOfPorts";

    const auto device = Connection(*stack, hub, 1);
    EXPECT_EQ(+device.ConnectionIndex, 1u);
    EXPECT_EQ(+device.ConnectionStatus, 1u);
    EXPECT_EQ(+device.DeviceIsHub, 0);
    EXPECT_EQ(+device.Speed, 2);
    EXPECT_EQ(+device.DeviceDescriptor.idVendor, 0x1A2B);
    EXPECT_EQ(+device.DeviceDescriptor.idProduct, 0x3C4D);
    EXPECT_EQ(+device.DeviceDescriptor.iManufacturer, 1);
    EXPECT_EQ(+device.DeviceDescriptor.iSerialNumber, 3);
    EXPECT_EQ(+device.NumberOfOpenPipes, 2u);
    EXPECT_EQ(+Connection(*stack, hub, 2).ConnectionStatus, 0u);

    // The driver key name: size first, then the name, which the registry's "Driver" value repeats.
    const Reply size = Ask(*stack, hub, devio::kIoctlUsbGetNodeConnectionDriverKeyName, PortRequest(1, 10), 10);
    ASSERT_TRUE(size.delivered);
    const auto needed = size.As<std::uint32_t>(4);
    const Reply key = Ask(*stack, hub, devio::kIoctlUsbGetNodeConnectionDriverKeyName, PortRequest(1, needed), needed);
    ASSERT_TRUE(key.delivered);
    EXPECT_EQ(key.Wide(8), "{36fc9e60-c465-11cf-8056-444553540000}\\0000");
    EXPECT_FALSE(Ask(*stack, hub, devio::kIoctlUsbGetNodeConnectionDriverKeyName, PortRequest(2, 64), 64).delivered);
}

TEST_F(TopologyTest, DeviceBehindAnExternalHubOnPort3) {
    const auto root = RootHub();
    const auto port3 = Connection(*stack, root, 3);
    EXPECT_EQ(+port3.ConnectionStatus, 1u);
    EXPECT_EQ(+port3.DeviceIsHub, 1);
    EXPECT_EQ(+port3.DeviceDescriptor.bDeviceClass, 9);
    EXPECT_EQ(+port3.DeviceDescriptor.idVendor, 0x2C3D);

    const Reply size = Ask(*stack, root, devio::kIoctlUsbGetNodeConnectionName, PortRequest(3, 10), 10);
    ASSERT_TRUE(size.delivered);
    const auto needed = size.As<std::uint32_t>(4);
    const Reply name = Ask(*stack, root, devio::kIoctlUsbGetNodeConnectionName, PortRequest(3, needed), needed);
    ASSERT_EQ(name.Wide(8), kExternalHub);
    // A port with a device that is no hub has an empty name.
    EXPECT_EQ(Ask(*stack, root, devio::kIoctlUsbGetNodeConnectionName, PortRequest(1, 64), 64).As<std::uint32_t>(4), 10u);

    const auto hub = Open(std::string("\\\\.\\") + kExternalHub);
    ASSERT_NE(hub, devio::kInvalidDeviceHandle);
    EXPECT_EQ(Ask(*stack, hub, devio::kIoctlUsbGetNodeInformation, {}, 76).bytes[6], 4);
    const auto archive = Connection(*stack, hub, 2);
    EXPECT_EQ(+archive.ConnectionStatus, 1u);
    EXPECT_EQ(+archive.Speed, 3);
    EXPECT_EQ(+archive.DeviceDescriptor.bcdUSB, 0x0300);
    EXPECT_EQ(+archive.DeviceDescriptor.idProduct, 0x3C4E);
    EXPECT_EQ(+Connection(*stack, hub, 1).ConnectionStatus, 0u);
}

TEST_F(TopologyTest, StringDescriptorsInTwoLanguages) {
    const auto hub = RootHub();
    const Reply languages = Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection,
                                DescriptorRequest(1, devio::kDescriptorString, 0, 0, 255), 12 + 255);
    ASSERT_TRUE(languages.delivered);
    EXPECT_EQ(languages.returned, 12u + 6);
    EXPECT_EQ(std::vector<std::uint8_t>(languages.bytes.begin() + 12, languages.bytes.begin() + 18),
              (std::vector<std::uint8_t>{6, 3, 0x09, 0x04, 0x07, 0x04}));

    const auto product = [&](std::uint16_t language) {
        return Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection,
                   DescriptorRequest(1, devio::kDescriptorString, 2, language, 255), 12 + 255);
    };
    const Reply english = product(0x0409);
    ASSERT_TRUE(english.delivered);
    EXPECT_EQ(english.returned, english.bytes[12] + 12u) << "returned = bLength + 12";
    EXPECT_EQ(english.Wide(14), "Backup Box");
    EXPECT_EQ(product(0x0407).Wide(14), "Sicherung");
    EXPECT_EQ(product(0x040C).lastError, devio::kErrorGenFailure);
    // The serial number exists in the first language only.
    EXPECT_FALSE(Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection,
                     DescriptorRequest(1, devio::kDescriptorString, 3, 0x0407, 255), 12 + 255)
                     .delivered);
}

TEST_F(TopologyTest, ConfigurationDescriptorReadInTwoSteps) {
    const auto hub = RootHub();
    const Reply head = Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection,
                           DescriptorRequest(1, devio::kDescriptorConfiguration, 0, 0, 9), 21);
    ASSERT_TRUE(head.delivered);
    EXPECT_EQ(head.returned, 21u);
    const auto total = head.As<std::uint16_t>(14);
    EXPECT_EQ(total, 32);
    const Reply all = Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection,
                          DescriptorRequest(1, devio::kDescriptorConfiguration, 0, 0, total), 12u + total);
    ASSERT_TRUE(all.delivered);
    EXPECT_EQ(all.returned, 12u + total);
    EXPECT_EQ(all.bytes[12 + 9 + 1], devio::kDescriptorInterface);
    EXPECT_EQ(all.bytes[12 + 9 + 5], 8) << "mass storage";
    EXPECT_EQ(all.As<std::uint32_t>(0), 1u) << "the request comes back in front";
}

TEST_F(TopologyTest, MalformedAndOversizedRequestsStayInsideTheBuffer) {
    const auto hub = RootHub();
    const auto code = devio::kIoctlUsbGetNodeConnectionInformationEx;
    EXPECT_EQ(Ask(*stack, hub, code, PortRequest(1, 2), 365).lastError, devio::kErrorInvalidParameter);
    EXPECT_EQ(Ask(*stack, hub, code, PortRequest(0, 4), 365).lastError, devio::kErrorInvalidParameter);
    EXPECT_EQ(Ask(*stack, hub, code, PortRequest(5, 4), 365).lastError, devio::kErrorInvalidParameter);
    const Reply tooSmall = Ask(*stack, hub, code, PortRequest(1, 34), 34);
    EXPECT_EQ(tooSmall.lastError, devio::kErrorInsufficientBuffer);
    EXPECT_EQ(tooSmall.returned, 0u);
    EXPECT_TRUE(tooSmall.GuardIntact());
    // Room for the fixed part and one pipe: one pipe reported.
    const Reply onePipe = Ask(*stack, hub, code, PortRequest(1, 46), 46);
    ASSERT_TRUE(onePipe.delivered);
    EXPECT_EQ(onePipe.returned, 46u);
    EXPECT_EQ(+onePipe.As<UsbNodeConnectionInformationEx>().NumberOfOpenPipes, 1u);
    EXPECT_TRUE(onePipe.GuardIntact());

    // A descriptor request asking for more than the output holds is cut at the output's end.
    const Reply cut = Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection,
                          DescriptorRequest(1, devio::kDescriptorConfiguration, 0, 0, 0xFFFF), 20);
    ASSERT_TRUE(cut.delivered);
    EXPECT_EQ(cut.returned, 20u);
    EXPECT_TRUE(cut.GuardIntact());
    EXPECT_EQ(Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection, PortRequest(1, 11), 64).lastError,
              devio::kErrorInvalidParameter);
    EXPECT_EQ(Ask(*stack, hub, devio::kIoctlUsbGetDescriptorFromNodeConnection,
                  DescriptorRequest(1, 7, 0, 0, 64), 76)
                  .lastError,
              devio::kErrorGenFailure);
    const Reply nodeShort = Ask(*stack, hub, devio::kIoctlUsbGetNodeInformation, {}, 75);
    EXPECT_EQ(nodeShort.lastError, devio::kErrorInsufficientBuffer);
    EXPECT_TRUE(nodeShort.GuardIntact());
    const Reply nameShort = Ask(*stack, hub, devio::kIoctlUsbGetNodeConnectionName, PortRequest(3, 10), 12);
    ASSERT_TRUE(nameShort.delivered);
    EXPECT_EQ(nameShort.returned, 12u);
    EXPECT_TRUE(nameShort.GuardIntact());
    EXPECT_EQ(Ask(*stack, hub, devio::kIoctlScsiPassThrough, {}, 80).lastError, devio::kErrorNotSupported);
}

}  // namespace
}  // namespace rig_test
