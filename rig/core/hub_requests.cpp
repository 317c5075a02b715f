#include "hub_requests.h"

#include <cstring>

#include "reply_buffer.h"
#include "usb_descriptors.h"

namespace rig {
namespace {

constexpr std::uint32_t kNoDeviceConnected = 0;
constexpr std::uint32_t kDeviceConnected = 1;
constexpr std::uint8_t kHubDescriptorType = 0x29;

bool Refuse(std::uint32_t error, std::uint32_t& returned, std::uint32_t& lastError) {
    returned = 0;
    lastError = error;
    return false;
}

bool ReadConnectionIndex(const void* input, std::uint32_t inputSize, std::uint32_t& port) {
    if (input == nullptr || inputSize < sizeof port) return false;
    std::memcpy(&port, input, sizeof port);
    return true;
}

std::vector<std::uint8_t> NodeInformation(std::uint8_t ports) {
    UsbNodeInformation info{};
    info.NodeType = 0;  // UsbHub
    info.HubDescriptor.bDescriptorLength = 9;
    info.HubDescriptor.bDescriptorType = kHubDescriptorType;
    info.HubDescriptor.bNumberOfPorts = ports;
    info.HubDescriptor.bPowerOnToPowerGood = 50;
    std::vector<std::uint8_t> reply;
    AppendBytes(reply, info);
    return reply;
}

std::vector<std::uint8_t> ConnectionInformation(const MachineView& view, std::uint32_t port,
                                                PortOccupant occupant, std::uint32_t outputSize) {
    UsbNodeConnectionInformationEx info{};
    info.ConnectionIndex = port;
    std::vector<std::uint8_t> configuration;
    if (occupant.kind != PortOccupant::Kind::None) {
        const bool isHub = occupant.kind == PortOccupant::Kind::Hub;
        const UsbAttachment& at = isHub ? view.Config().hubs[occupant.index].attachment
                                        : view.Config().enclosures[occupant.index].attachment;
        info.DeviceDescriptor = isHub ? HubDeviceDescriptor(view.Config().hubs[occupant.index])
                                      : EnclosureDeviceDescriptor(view.Config().enclosures[occupant.index]);
        info.CurrentConfigurationValue = 1;
        info.Speed = at.speed;
        info.DeviceIsHub = isHub ? 1 : 0;
        info.DeviceAddress = static_cast<std::uint16_t>(port + 1);
        info.ConnectionStatus = kDeviceConnected;
        configuration = isHub ? HubConfiguration() : EnclosureConfiguration();
    } else {
        info.ConnectionStatus = kNoDeviceConnected;
    }
    // One pipe per endpoint descriptor of the configuration, as many as the buffer holds.
    std::vector<std::uint8_t> pipes;
    for (std::size_t at = 0; at + 7 <= configuration.size(); at += configuration[at]) {
        if (configuration[at] == 0) break;
        if (configuration[at + 1] != kDescriptorEndpoint) continue;
        if (sizeof info + pipes.size() + sizeof(UsbPipeInfo) > outputSize) break;
        UsbPipeInfo pipe{};
        std::memcpy(pipe.endpointDescriptor, &configuration[at], sizeof pipe.endpointDescriptor);
        AppendBytes(pipes, pipe);
        ++info.NumberOfOpenPipes;
    }
    std::vector<std::uint8_t> reply;
    AppendBytes(reply, info);
    reply.insert(reply.end(), pipes.begin(), pipes.end());
    return reply;
}

// USB_NODE_CONNECTION_NAME / _DRIVERKEY_NAME: ConnectionIndex, ActualLength, the wide name.
std::vector<std::uint8_t> ConnectionName(std::uint32_t port, const std::string& name) {
    std::vector<std::uint8_t> reply;
    AppendBytes(reply, port);
    AppendBytes(reply, static_cast<std::uint32_t>(kConnectionNameTextOffset + 2 * (name.size() + 1)));
    AppendWide(reply, name);
    return reply;
}

std::optional<std::vector<std::uint8_t>> Descriptor(const MachineView& view, PortOccupant occupant,
                                                    const UsbDescriptorRequest& request) {
    const auto type = static_cast<std::uint8_t>(request.wValue >> 8);
    const auto index = static_cast<std::uint8_t>(request.wValue);
    const bool isHub = occupant.kind == PortOccupant::Kind::Hub;
    std::vector<std::uint8_t> bytes;
    if (type == kDescriptorDevice && index == 0) {
        AppendBytes(bytes, isHub ? HubDeviceDescriptor(view.Config().hubs[occupant.index])
                                 : EnclosureDeviceDescriptor(view.Config().enclosures[occupant.index]));
        return bytes;
    }
    if (type == kDescriptorConfiguration && index == 0) return isHub ? HubConfiguration() : EnclosureConfiguration();
    if (type == kDescriptorString && !isHub) {
        return StringDescriptor(view.Config().enclosures[occupant.index], index, request.wIndex);
    }
    return std::nullopt;
}

}  // namespace

bool AnswerControllerRequest(const ControllerConfig& controller, std::uint32_t controlCode, void* output,
                             std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) {
    if (controlCode != kIoctlUsbGetRootHubName) return Refuse(devio::kErrorNotSupported, returned, lastError);
    std::vector<std::uint8_t> reply;
    AppendBytes(reply, static_cast<std::uint32_t>(kRootHubNameTextOffset + 2 * (controller.rootHub.size() + 1)));
    AppendWide(reply, controller.rootHub);
    return CopyReply(reply, kRootHubNameFixedSize, output, outputSize, returned, lastError);
}

bool AnswerHubRequest(const MachineView& view, HubRef hub, std::uint32_t controlCode, const void* input,
                      std::uint32_t inputSize, void* output, std::uint32_t outputSize, std::uint32_t& returned,
                      std::uint32_t& lastError) {
    const std::uint8_t ports = view.PortCount(hub);
    if (controlCode == kIoctlUsbGetNodeInformation) {
        return CopyReply(NodeInformation(ports), sizeof(UsbNodeInformation), output, outputSize, returned, lastError);
    }
    const bool known = controlCode == kIoctlUsbGetNodeConnectionInformationEx ||
                       controlCode == kIoctlUsbGetNodeConnectionName ||
                       controlCode == kIoctlUsbGetNodeConnectionDriverKeyName ||
                       controlCode == kIoctlUsbGetDescriptorFromNodeConnection;
    if (!known) return Refuse(devio::kErrorNotSupported, returned, lastError);
    std::uint32_t port = 0;
    if (!ReadConnectionIndex(input, inputSize, port) || port == 0 || port > ports) {
        return Refuse(devio::kErrorInvalidParameter, returned, lastError);
    }
    const PortOccupant occupant = view.Occupant(hub, static_cast<std::uint8_t>(port));
    if (controlCode == kIoctlUsbGetNodeConnectionInformationEx) {
        const auto reply = ConnectionInformation(view, port, occupant, outputSize);
        return CopyReply(reply, sizeof(UsbNodeConnectionInformationEx), output, outputSize, returned, lastError);
    }
    if (controlCode == kIoctlUsbGetNodeConnectionName) {
        const std::string name =
            occupant.kind == PortOccupant::Kind::Hub ? view.Config().hubs[occupant.index].hubName : std::string();
        return CopyReply(ConnectionName(port, name), kConnectionNameFixedSize, output, outputSize, returned,
                         lastError);
    }
    if (occupant.kind == PortOccupant::Kind::None) {
        return Refuse(controlCode == kIoctlUsbGetNodeConnectionDriverKeyName ? devio::kErrorInvalidParameter
                                                                             : kErrorGenFailure,
                      returned, lastError);
    }
    if (controlCode == kIoctlUsbGetNodeConnectionDriverKeyName) {
        const std::string& key = occupant.kind == PortOccupant::Kind::Hub
                                     ? view.Config().hubs[occupant.index].driverKey
                                     : view.Config().enclosures[occupant.index].driverKey;
        return CopyReply(ConnectionName(port, key), kConnectionNameFixedSize, output, outputSize, returned, lastError);
    }
    // A descriptor: the request comes back followed by at most wLength descriptor bytes.
    UsbDescriptorRequest request{};
    if (inputSize < sizeof request) return Refuse(devio::kErrorInvalidParameter, returned, lastError);
    std::memcpy(&request, input, sizeof request);
    const auto descriptor = Descriptor(view, occupant, request);
    if (!descriptor) return Refuse(kErrorGenFailure, returned, lastError);
    std::vector<std::uint8_t> reply;
    AppendBytes(reply, request);
    reply.insert(reply.end(), descriptor->begin(),
                 descriptor->begin() + std::min<std::size_t>(descriptor->size(), request.wLength));
    return CopyReply(reply, sizeof request, output, outputSize, returned, lastError);
}

}  // namespace rig
