// Disk I/O, the volume lock, safe removal and the registry clean-up on the simulated enclosure:
// the exact READ/WRITE(10) and READ CAPACITY blocks, the retry and timing rules, refusals of
// transfers that cannot be right, lock contention and dismount, an accepted and a vetoed
// removal, and the registry before and after.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "common/core/bridge_protocol.h"
#include "corelink/core/device_removal.h"
#include "corelink/core/disk_transfer.h"
#include "corelink/core/volume_lock.h"
#include "corelink_rig_fixture.h"
#include "rig/core/machine_view.h"

namespace corelink_test {
namespace {

using namespace corelink;
using Bytes = std::vector<std::uint8_t>;
using devio::RegistryHive;

// A counter that moves on by the next step of a script each time it is read.
std::vector<std::uint64_t> gSteps;
std::size_t gStep = 0;
std::uint64_t gNow = 0;
std::uint64_t ScriptedTicks() {
    gNow += gStep < gSteps.size() ? gSteps[gStep++] : 1;
    return gNow;
}
void Script(std::vector<std::uint64_t> steps) {
    gSteps = std::move(steps);
    gStep = 0;
}

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) ^ (i >> 9));
    return bytes;
}

class DiskOnRig : public CorelinkOnRig {
protected:
    std::uint32_t Length(const rig::LogRecord& record) {
        const devio::ScsiPassThroughHeader header = record.header;
        return header.dataTransferLength;
    }
};

TEST_F(DiskOnRig, LongTransfersGoInChunksOf64KiB) {
    const Bytes written = Pattern(131072 + 4096, 3);
    ASSERT_EQ(
        WriteDiskRetry(*device, handles.data(), kSlot, 100, static_cast<std::uint32_t>(written.size()), written.data()),
        1);
    EXPECT_EQ(Cdbs(), (std::vector<std::string>{"2A 00 00 00 00 64 00 00 80 00", "2A 00 00 00 00 E4 00 00 80 00",
                                                "2A 00 00 00 01 64 00 00 08 00"}));
    ClearLog();
    Bytes read(131072, 0);
    ASSERT_EQ(ReadDisk(*device, handles.data(), kSlot, 100, 131072, read.data()), 1);
    EXPECT_EQ(Cdbs(), (std::vector<std::string>{"28 00 00 00 00 64 00 00 80 00", "28 00 00 00 00 E4 00 00 80 00"}));
    const auto log = Log();
    for (const rig::LogRecord& record : log) {
        EXPECT_EQ(record.header.dataIn, devio::kDataIn);
        EXPECT_EQ(Length(record), 65536u);
        EXPECT_EQ(record.header.lun, 0);
    }
    EXPECT_EQ(read, Bytes(written.begin(), written.begin() + 131072));
    EXPECT_EQ(tracer.Joined(), "ReadDisk()|") << "the write traces nothing";

    // Another program sees the same sectors.
    auto other = Program();
    Device second{*other, tracer, clock, console};
    std::array<devio::DeviceHandle, 256> otherHandles{};
    ASSERT_EQ(OpenDiskPathBySymbolicName(second, otherHandles.data(), 0, rig_test::kFirstInterface), 1);
    Bytes tail(4096, 0);
    ASSERT_EQ(ReadDisk(second, otherHandles.data(), 0, 356, 4096, tail.data()), 1);
    EXPECT_EQ(tail, Bytes(written.end() - 4096, written.end()));
}

TEST_F(DiskOnRig, AWriteChunkIsTriedThreeTimesAndItsFailureIsReported) {
    ASSERT_EQ(Rigctl({"fail", "2A", "00", "00", "00", "00", "64"}), 0);
    ClearLog();
    const Bytes written = Pattern(65536 + 512, 9);
    EXPECT_EQ(
        WriteDiskRetry(*device, handles.data(), kSlot, 100, static_cast<std::uint32_t>(written.size()), written.data()),
        0)
        << "a lost chunk is not a success, even when the last one went through";
    EXPECT_EQ(Cdbs(), (std::vector<std::string>{"2A 00 00 00 00 64 00 00 80 00", "2A 00 00 00 00 64 00 00 80 00",
                                                "2A 00 00 00 00 64 00 00 80 00", "2A 00 00 00 00 E4 00 00 01 00"}))
        << "three attempts, then the transfer goes on";
    ASSERT_EQ(Rigctl({"fail", "off"}), 0);
    Bytes back(512, 0);
    ASSERT_EQ(ReadDisk(*device, handles.data(), kSlot, 228, 512, back.data()), 1);
    EXPECT_EQ(back, Bytes(written.end() - 512, written.end()));
}

TEST_F(DiskOnRig, TimedTransfersReportTheShortestChunk) {
    const Bytes written = Pattern(3 * 65536, 1);
    std::uint32_t ticks = 99;
    Script({10, 50, 10, 20, 10, 35});  // start/end of each chunk: 50, 20 and 35 counter units
    ASSERT_EQ(WriteDisk(*device, handles.data(), kSlot, 1, 0, static_cast<std::uint32_t>(written.size()),
                        written.data(), &ticks, &ScriptedTicks),
              1);
    EXPECT_EQ(ticks, 20u);
    for (const rig::LogRecord& record : Log()) EXPECT_EQ(record.header.lun, 1) << "the caller's unit";

    Bytes read(written.size(), 0);
    Script({10, 50, 10, 20, 10, 35});
    ASSERT_EQ(ReadDiskEx(*device, handles.data(), kSlot, 0, 0, static_cast<std::uint32_t>(read.size()), read.data(),
                         &ticks, &ScriptedTicks),
              1);
    EXPECT_EQ(ticks, 20u);
    EXPECT_EQ(read, written);

    // A failed chunk counts as 0.
    ASSERT_EQ(Rigctl({"fail", "28", "00", "00", "00", "00", "80"}), 0);
    Script({10, 50, 10, 20, 10, 35});
    EXPECT_EQ(ReadDiskEx(*device, handles.data(), kSlot, 0, 0, static_cast<std::uint32_t>(read.size()), read.data(),
                         &ticks, &ScriptedTicks),
              0);
    EXPECT_EQ(ticks, 0u);
    EXPECT_EQ(tracer.Joined(), "WriteDisk()|ReadDiskEx()|ReadDiskEx()|");
}

TEST_F(DiskOnRig, TransfersThatCannotBeRightAreRefusedBeforeAnythingIsSent) {
    Bytes buffer(4096, 0x11);
    std::uint32_t ticks = 7;
    EXPECT_EQ(ReadDisk(*device, handles.data(), kSlot, 0, 1000, buffer.data()), 0);
    EXPECT_EQ(WriteDiskRetry(*device, handles.data(), kSlot, 0, 513, buffer.data()), 0);
    EXPECT_EQ(ReadDisk(*device, handles.data(), kSlot, 0, 512, nullptr), 0);
    EXPECT_EQ(WriteDisk(*device, handles.data(), kSlot, 0, 0, 512, nullptr, &ticks, &ScriptedTicks), 0);
    EXPECT_EQ(ticks, 0u);
    EXPECT_EQ(ReadDiskEx(*device, nullptr, kSlot, 0, 0, 512, buffer.data(), &ticks, &ScriptedTicks), 0);
    // The last block would lie past block 0xFFFFFFFF: the address would wrap to block 0.
    EXPECT_EQ(WriteDiskRetry(*device, handles.data(), kSlot, 0xFFFFFFFF, 1024, buffer.data()), 0);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(buffer, Bytes(4096, 0x11));

    EXPECT_EQ(WriteDiskRetry(*device, handles.data(), kSlot, 0, 0, nullptr), 1) << "nothing to do";
    EXPECT_EQ(ReadDisk(*device, handles.data(), kSlot, 0, 0, nullptr), 1);
    EXPECT_TRUE(Log().empty());
}

TEST_F(DiskOnRig, CapacityIsTheReplyInNativeNumbers) {
    std::uint32_t lastLba = 1, blockLength = 1;
    ASSERT_EQ(ReadCapacity(*device, handles.data(), kSlot, &lastLba, &blockLength), 1);
    EXPECT_EQ(lastLba, 0x000FFFFFu);
    EXPECT_EQ(blockLength, 512u);
    ASSERT_EQ(ReadCapacityEx(*device, handles.data(), kSlot, 1, &lastLba, &blockLength), 1);
    const auto log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(rig::HexBytes(log[0].header.cdb, log[0].header.cdbLength), "25 00 00 00 08 00");
    EXPECT_EQ(log[0].header.lun, 0);
    EXPECT_EQ(log[1].header.lun, 1);
    EXPECT_EQ(log[0].header.targetId, 1);

    ASSERT_EQ(Rigctl({"not-ready", "on"}), 0);
    EXPECT_EQ(ReadCapacity(*device, handles.data(), kSlot, &lastLba, &blockLength), 0);
    EXPECT_EQ(lastLba, 0u);
    EXPECT_EQ(blockLength, 0u);
    EXPECT_EQ(tracer.Joined(),
              "ReadCapacity()| SendReadCapacity()|ReadCapacityEx()| SendReadCapacity()|"
              "ReadCapacity()| SendReadCapacity()|");
}

// A bridge that ends a data-in transfer early still answers GOOD; the header says how many bytes
// came. The missing ones must not reach the caller as zeros: a zero button byte reads as a press,
// zero sectors as data. Only INQUIRY, whose replies are of any length, takes what came.
TEST_F(DiskOnRig, RepliesThatEndEarlyFailInsteadOfHandingOverZeros) {
    for (const char* rule : {"EE 80 .. .. .. .. 87", "28", "25", "12"}) {
        std::vector<std::string> words{"fail", "short-reply"};
        std::istringstream bytes(rule);
        for (std::string word; bytes >> word;) words.push_back(word);
        ASSERT_EQ(Rigctl(words), 0);
    }
    ClearLog();

    std::uint8_t button = 0xCC;
    EXPECT_EQ(ReadButton_USD(*device, handles.data(), kSlot, 1, 0, &button), 0) << "no byte came";
    EXPECT_EQ(button, 0xCC) << "the caller's byte stays as it was";

    const Bytes sectors = Pattern(4096, 5);
    ASSERT_EQ(WriteDiskRetry(*device, handles.data(), kSlot, 200, 4096, sectors.data()), 1);
    Bytes read(4096, 0xAA);
    EXPECT_EQ(ReadDisk(*device, handles.data(), kSlot, 200, 4096, read.data()), 0);
    EXPECT_EQ(read, Bytes(4096, 0xAA));

    std::uint32_t lastLba = 1, blockLength = 1;
    EXPECT_EQ(ReadCapacity(*device, handles.data(), kSlot, &lastLba, &blockLength), 0);
    EXPECT_EQ(lastLba, 0u);
    EXPECT_EQ(blockLength, 0u);

    Bytes inquiry(128, 0xAA);
    ASSERT_EQ(ReadInquery(*device, handles.data(), kSlot, inquiry.data()), 1);
    EXPECT_EQ(std::string(inquiry.begin() + 36, inquiry.begin() + 40), "QKTR") << "the first half came";
    EXPECT_EQ(Bytes(inquiry.begin() + 64, inquiry.end()), Bytes(64, 0)) << "what did not come is not stale";
    EXPECT_EQ(Log().size(), 5u) << "one command each, the write's included";

    ASSERT_EQ(Rigctl({"fail", "off"}), 0);
    EXPECT_EQ(ReadButton_USD(*device, handles.data(), kSlot, 1, 0, &button), 1);
    EXPECT_EQ(button & devio::bridge::kButtonReleasedBit, devio::bridge::kButtonReleasedBit);

    // A settings change writes back what it read: a firmware piece that came half is never
    // written over the device's own with zeros.
    const rig::DeviceState before = State();
    ASSERT_EQ(Rigctl({"fail", "short-reply", "EE", "80", "00", "00", "10", "00", "81"}), 0);
    ClearLog();
    EXPECT_EQ(EnableSuspned_USD(*device, handles.data(), kSlot, 1), 0);
    const auto log = Log();
    const auto writes = [](const rig::LogRecord& r) { return r.header.dataIn == devio::kDataOut; };
    EXPECT_EQ(std::count_if(log.begin(), log.end(), writes), 0) << "nothing written";
    EXPECT_EQ(State().firmware, before.firmware);
    EXPECT_EQ(State().eeprom, before.eeprom);
}

// Enclosure 0 holds the volumes of E: and F:; the first one found, E:'s, is the one locked.
const std::string kVolumeE = "\\\\?\\Volume{52494700-0000-0000-0000-000000000045}\\";

TEST_F(DiskOnRig, LockWaitsForOtherOpensAndUnlockDismounts) {
    // Another open of the volume keeps it from being locked: four attempts, then nothing held.
    const devio::DeviceHandle other = OpenPath(*stack, "\\\\.\\E:");
    ASSERT_NE(other, devio::kInvalidDeviceHandle);
    devio::DeviceHandle volume = 0;
    EXPECT_EQ(Disk_Lock(*device, handles.data(), kSlot, &volume), 0u);
    EXPECT_EQ(volume, devio::kInvalidDeviceHandle);
    EXPECT_EQ(clock.Pauses(), 3u);
    EXPECT_EQ(clock.Ticks(), 900u * 1000000u);
    EXPECT_FALSE(stack->Locked(kVolumeE));
    stack->Close(other);

    ASSERT_EQ(Disk_Lock(*device, handles.data(), kSlot, &volume), 1u);
    ASSERT_NE(volume, devio::kInvalidDeviceHandle);
    EXPECT_TRUE(stack->Locked(kVolumeE));
    std::uint32_t error = 0;
    EXPECT_EQ(stack->Open("\\\\.\\E:", devio::kGenericRead, devio::kShareRead, devio::kOpenExisting, 0, error),
              devio::kInvalidDeviceHandle)
        << "a locked volume takes no new opens";
    EXPECT_EQ(error, devio::kErrorAccessDenied);

    ASSERT_EQ(Disk_Unlock(*device, handles.data(), kSlot, volume), 1);
    EXPECT_FALSE(stack->Locked(kVolumeE));
    EXPECT_EQ(stack->Dismounts(kVolumeE), 1u);
    EXPECT_EQ(stack->PropertyUpdates(0), 1u);
    std::uint32_t returned = 0;
    EXPECT_FALSE(stack->Control(volume, devio::kFsctlUnlockVolume, nullptr, 0, nullptr, 0, returned, error))
        << "the volume was closed";
    EXPECT_EQ(tracer.Joined().find("Disk_Lock(2)|Disk_Lock(2)|Disk_Unlock(2)|"), 0u) << tracer.Joined();

    // Without a volume only the disk is refreshed.
    EXPECT_EQ(Disk_Unlock(*device, handles.data(), kSlot, devio::kInvalidDeviceHandle), 1);
    EXPECT_EQ(stack->PropertyUpdates(0), 2u);
    EXPECT_EQ(stack->Dismounts(kVolumeE), 1u);
}

TEST_F(DiskOnRig, LockOfAHandleWithoutDeviceNumberReportsTheSystemError) {
    devio::DeviceHandle volume = 0;
    handles[kSlot] = 0x77;  // never opened
    EXPECT_EQ(Disk_Lock(*device, handles.data(), kSlot, &volume), devio::kErrorInvalidHandle);
    EXPECT_EQ(volume, devio::kInvalidDeviceHandle);
    EXPECT_EQ(tracer.Joined(), "Disk_Lock(2)|Disk_Lock_Err=6|");
    EXPECT_EQ(Disk_Lock(*device, nullptr, kSlot, &volume), 0u);
}

TEST_F(DiskOnRig, DismountIsSkippedOnVersion6UnlessForced) {
    EXPECT_EQ(DismountVolume(*device, handles[kSlot], false), 1);
    EXPECT_EQ(stack->Dismounts(kVolumeE), 0u);
    EXPECT_EQ(DismountVolume(*device, handles[kSlot], true), 1);
    EXPECT_EQ(stack->Dismounts(kVolumeE), 1u);
    EXPECT_EQ(DismountVolume(*device, 0x77, true), 0);
    EXPECT_EQ(tracer.Joined(), "DisMountVolume|DisMountVolume|DisMountVolume|GetDeviceNumber_Err=6|");
}

devio::DeviceInstance DiskNode(devio::DeviceStack& stack) {
    std::vector<devio::DeviceInterface> interfaces;
    stack.EnumerateInterfaces(rig::kDiskInterfaceClass, interfaces);
    for (const auto& found : interfaces) {
        if (found.path == rig_test::kFirstInterface) return found.instance;
    }
    return 0;
}

TEST_F(DiskOnRig, SafeRemovalEjectsTheUsbDevice) {
    const devio::DeviceInstance disk = DiskNode(*stack);
    ASSERT_NE(disk, 0u);
    EXPECT_EQ(DeviceSafeRemoval(*device, disk), 1u);
    ASSERT_EQ(Rigctl({"state"}), 0);
    EXPECT_NE(rigctlOut.find("USB             unplugged"), std::string::npos) << rigctlOut;
    EXPECT_EQ(clock.Pauses(), 0u);
}

TEST_F(DiskOnRig, AVetoedRemovalIsTriedThreeTimesAndAnswers0) {
    ASSERT_EQ(Rigctl({"eject", "veto"}), 0);
    const devio::DeviceInstance disk = DiskNode(*stack);
    EXPECT_EQ(DeviceSafeRemoval(*device, disk), 0u);
    EXPECT_EQ(clock.Pauses(), 3u);
    EXPECT_EQ(clock.Ticks(), 1500u * 1000000u) << "about 1.5 s";
    ASSERT_EQ(Rigctl({"state"}), 0);
    EXPECT_NE(rigctlOut.find("USB             plugged"), std::string::npos);
    EXPECT_NE(rigctlOut.find("eject request   vetoed"), std::string::npos);

    ASSERT_EQ(Rigctl({"eject", "fail"}), 0);
    EXPECT_EQ(DeviceSafeRemoval(*device, disk), devio::kCrFailure) << "the configuration manager's own code";
    EXPECT_EQ(DeviceSafeRemoval(*device, 0xFFFF), devio::kCrFailure) << "no such node";
}

class RegistryOnRig : public CorelinkOnRig {
protected:
    bool KeyExists(const std::string& key) {
        std::vector<std::string> names;
        return stack->EnumerateRegistryKeys(RegistryHive::LocalMachine, key, names);
    }
    const std::string usb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
    const std::string usbStor = "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR";
};

TEST_F(RegistryOnRig, SystemKeysAreDeletedWithTheirSubtreeAfterTheirPermissionsAreOpened) {
    ASSERT_TRUE(KeyExists(usb + "\\VID_1A2B&PID_3C4D\\RIG00000\\Device Parameters"));
    EXPECT_EQ(
        stack->DeleteRegistryKey(RegistryHive::LocalMachine, usb + "\\VID_1A2B&PID_3C4D\\RIG00000\\Device Parameters"),
        devio::kErrorAccessDenied)
        << "the system's keys are protected";

    EXPECT_EQ(DeleteDevRegistryRecord(*device, 0x1A2B, 0x3C4D), 1);
    EXPECT_FALSE(KeyExists(usb + "\\Vid_1a2b&Pid_3c4d"));
    EXPECT_TRUE(KeyExists(usb + "\\VID_1A2B&PID_3C4E")) << "the other enclosure's key stays";
    EXPECT_TRUE(KeyExists(usb));
    EXPECT_NE(console.Joined().find("Successfully changed DACL\n"), std::string::npos);
    EXPECT_EQ(tracer.Joined(), "DeleteDevRegistryRecord()|");

    // Another program sees the key gone; what was deleted is on record.
    auto other = Program();
    std::vector<std::string> names;
    EXPECT_FALSE(other->EnumerateRegistryKeys(RegistryHive::LocalMachine, usb + "\\VID_1A2B&PID_3C4D", names));
    ASSERT_EQ(Rigctl({"registry"}), 0);
    EXPECT_NE(rigctlOut.find("delete\tSYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_1a2b&Pid_3c4d\n"), std::string::npos)
        << rigctlOut;
    EXPECT_NE(rigctlOut.find("delete\tSYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_1a2b&Pid_3c4d\\RIG00000\\Device "
                             "Parameters\n"),
              std::string::npos)
        << rigctlOut;

    // A key that is not there is gone already.
    console.texts.clear();
    EXPECT_EQ(DeleteDevRegistryRecord(*device, 0x0000, 0x0001), 1);
    EXPECT_NE(console.Joined().find("Key not found.\n"), std::string::npos) << console.Joined();
    ASSERT_EQ(Rigctl({"reset"}), 0);
    EXPECT_TRUE(KeyExists(usb + "\\VID_1A2B&PID_3C4D")) << "reset brings the registry back";
}

TEST_F(RegistryOnRig, TheStorageKeyGoesWithTheUsbKey) {
    const std::string storage = usbStor + "\\Disk&Ven_TOVI&Prod_USB_Enclosure&Rev_1.00";
    ASSERT_TRUE(KeyExists(storage + "\\RIG00000&0"));
    EXPECT_EQ(DeleteDevRegistryRecordEx(*device, 0x1A2B, 0x3C4E, "TOVI", "USB_Enclosure", "1.00"), 1);
    EXPECT_FALSE(KeyExists(storage));
    EXPECT_FALSE(KeyExists(usb + "\\VID_1A2B&PID_3C4E"));
    EXPECT_TRUE(KeyExists(usb + "\\VID_1A2B&PID_3C4D"));
    EXPECT_TRUE(KeyExists(usbStor));
}

TEST_F(RegistryOnRig, DeviceTextsThatCouldReachAnotherKeyAreRefusedBeforeAnythingIsDeleted) {
    const std::string tooLong(500, 'A');
    const char* hostile[][3] = {{"TOVI\\..", "USB_Enclosure", "1.00"},      {"TOVI", "x\\..\\..\\USB", "1.00"},
                                {"TOVI", "USB_Enclosure", "1.00\\"},        {"TOVI", "USB\tEnclosure", "1.00"},
                                {tooLong.c_str(), "USB_Enclosure", "1.00"}, {nullptr, "USB_Enclosure", "1.00"}};
    for (const auto& texts : hostile) {
        SCOPED_TRACE(texts[0] != nullptr ? texts[0] : "(null)");
        EXPECT_EQ(DeleteDevRegistryRecordEx(*device, 0x1A2B, 0x3C4D, texts[0], texts[1], texts[2]), 0);
    }
    EXPECT_TRUE(KeyExists(usb + "\\VID_1A2B&PID_3C4D")) << "not even the USB key was touched";
    ASSERT_EQ(Rigctl({"registry"}), 0);
    EXPECT_EQ(rigctlOut, "");
}

TEST_F(RegistryOnRig, IgnoredSerialNumberIsOneBinaryByte) {
    EXPECT_EQ(SetIgnoredRegistry(*device, 0x1234, 0x0ABC), 1);
    auto other = Program();
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(other->ReadRegistryValue(RegistryHive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\usbflags",
                                         "IgnoreHWSerNum12340abc", type, data));
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(data, Bytes{0x01});
    EXPECT_EQ(tracer.Joined(), "SetIgnoredRegistry()|");
}

}  // namespace
}  // namespace corelink_test
