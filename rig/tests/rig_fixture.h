#pragma once
// A rig file with two enclosures in a fresh folder, and helpers to send requests through a
// device stack the way a program does.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pass_through_builder.h"
#include "rig/core/rig.h"
#include "rig/core/rig_device_stack.h"
#include "rig/core/rig_files.h"
#include "test_folder.h"

namespace rig_test {

inline const char kFirstInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
inline const char kSecondInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0002&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

inline void WriteTextFile(const std::string& path, const std::string& text) {
    rig::OpenStatus status = rig::OpenStatus::Ok;
    auto file = rig::PlatformFileSystem().Open(path, rig::OpenMode::ReadWrite, status);
    ASSERT_TRUE(file) << path;
    ASSERT_TRUE(file->Truncate(0));
    ASSERT_TRUE(file->WriteAt(0, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
}

inline std::string ReadTextFile(const std::string& path) {
    std::string bytes;
    rig::ReadWholeFile(rig::PlatformFileSystem(), path, 64 * 1024 * 1024, bytes);
    return bytes;
}

struct Sent {
    bool delivered = false;
    std::uint32_t lastError = 0;
    std::uint32_t returned = 0;
    std::uint8_t status = 0xFF;
    std::vector<std::uint8_t> data;
};

inline Sent SendThrough(devio::DeviceStack& stack, devio::DeviceHandle handle, Request& request) {
    Sent sent;
    sent.delivered = stack.Control(handle, devio::kIoctlScsiPassThrough, request.Bytes(), request.inputSize,
                                   request.Bytes(), request.outputSize, sent.returned, sent.lastError);
    sent.status = request.Header().scsiStatus;
    if (sent.delivered && request.Header().dataIn == devio::kDataIn) {
        sent.data = request.Data(request.Header().dataTransferLength);
    }
    return sent;
}

inline Sent SendThrough(devio::DeviceStack& stack, devio::DeviceHandle handle, Request&& request) {
    return SendThrough(stack, handle, request);
}

class RigTest : public ::testing::Test {
protected:
    void SetUp() override {
        rigPath = folder.File("demo.rig");
        WriteTextFile(rigPath, std::string("[enclosure]\n"
                                           "usb_vendor_id = 0x1A2B\n"
                                           "usb_product_id = 0x3C4D\n"
                                           "sectors = 0x00100000\n"
                                           "interface = ") +
                                   kFirstInterface +
                                   "\n"
                                   "drive = E: E\n"
                                   "drive = f: F\n"
                                   "\n"
                                   "[enclosure]\n"
                                   "usb_vendor_id = 0x1A2B\n"
                                   "usb_product_id = 0x3C4E\n"
                                   "model = 3452\n"
                                   "sectors = 2048\n"
                                   "drive_type = removable\n"
                                   "interface = " +
                                   kSecondInterface + "\ndrive = K: K\n");
    }

    // One "program": its own rig object and device stack on the shared files.
    std::unique_ptr<rig::RigDeviceStack> Program() {
        std::string error;
        auto machine = rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error);
        EXPECT_TRUE(machine) << error;
        if (!machine) return nullptr;
        return std::make_unique<rig::RigDeviceStack>(machine);
    }

    devio::DeviceHandle OpenPath(devio::DeviceStack& stack, const std::string& path) {
        std::uint32_t error = 0;
        return stack.Open(path, devio::kGenericRead | devio::kGenericWrite, devio::kShareRead | devio::kShareWrite,
                          devio::kOpenExisting, 0, error);
    }

    TestFolder folder;
    std::string rigPath;
};

}  // namespace rig_test
