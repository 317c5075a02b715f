#pragma once
// One emulated enclosure in memory: requests go through the same decode, execute and reply
// steps as on a rig, without files.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pass_through_builder.h"
#include "rig/core/bridge_emulator.h"
#include "rig/core/pass_through_request.h"

namespace rig_test {

struct Reply {
    std::uint8_t status = 0xFF;
    std::uint32_t returned = 0;
    std::uint32_t dataLength = 0;  // the header's DataTransferLength after the reply
    std::vector<std::uint8_t> data;
    std::uint8_t senseKey = 0;
    std::uint8_t asc = 0;
};

inline rig::EnclosureConfig TestEnclosure() {
    rig::EnclosureConfig config;
    config.usbVendorId = 0x1A2B;
    config.usbProductId = 0x3C4D;
    config.sectors = 0x00100000;
    config.interfacePath =
        "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure#0001#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    config.ataModel = "TOVI USB Enclosure";
    config.ataSerial = "RIG00000";
    config.ataFirmware = "1.00";
    return config;
}

class EmulatorTest : public ::testing::Test {
protected:
    Reply Send(Request& request) {
        std::string why;
        const auto command = rig::DecodePassThrough(request.Bytes(), request.inputSize, request.outputSize, why);
        EXPECT_TRUE(command) << why;
        if (!command) return {};
        const rig::PassThroughAnswer answer = rig::ExecuteCommand(config, *state, medium, *command);
        Reply reply;
        reply.returned = rig::WriteAnswer(*command, answer, request.Bytes(), request.outputSize);
        reply.status = request.Header().scsiStatus;
        reply.dataLength = request.Header().dataTransferLength;
        if (command->direction == devio::kDataIn) reply.data = request.Data(reply.dataLength);
        reply.senseKey = request.block->sense[2];
        reply.asc = request.block->sense[12];
        return reply;
    }

    Reply Send(Request&& request) { return Send(request); }

    rig::EnclosureConfig config = TestEnclosure();
    std::unique_ptr<rig::DeviceState> state = std::make_unique<rig::DeviceState>(rig::DefaultState(config, 0));
    rig::MemoryBlockStore medium{512};
};

}  // namespace rig_test
