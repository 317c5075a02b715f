// The storage interface scan: records, identity and readiness, drive letters by disk signature,
// device number and interface path, CD-ROM interfaces joining their disk, and the list bounds.
#include "corelink/core/storage_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/core/failing_device_stack.h"
#include "common/core/scsi_pass_through.h"
#include "common/core/usb_ioctl_layout.h"
#include "corelink/core/tests/fake_device_stack.h"
#include "rig/tests/topology_fixture.h"

namespace {

using devio::DiskPathEntry;
using corelink_test::RecordingTracer;

std::string Letters(const DiskPathEntry& r) { return std::string(r.driveLetters, r.driveLetterCount); }
std::string PathOf(const DiskPathEntry& r) {
    return {r.devicePath, std::find(r.devicePath, r.devicePath + sizeof r.devicePath, '\0')};
}

bool AllBytes(const void* data, std::size_t size, std::uint8_t value) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

// ---------------------------------------------------------------- on the rig

class StorageScanOnRig : public rig_test::TopologyTest {
protected:
    // The topology rig with `from` replaced by `to`, loaded afresh.
    void Rewrite(const std::string& from, const std::string& to) {
        std::string text = rig_test::TopologyRigText();
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        rig_test::WriteTextFile(rigPath, text);
        ASSERT_EQ(Rigctl({"reset"}), 0);
        stack = Program();
        ASSERT_TRUE(stack);
    }
    void GiveArchiveItsOwnLetter() { Rewrite("partition_style = gpt\n", "partition_style = gpt\ndrive = H: H\n"); }

    int Scan(bool productFilterOff = false) {
        corelink::Device device{*stack, tracer};
        return corelink::ScanDiskPathBySymbolicName(device, list.data(), productFilterOff);
    }

    RecordingTracer tracer;
    std::array<DiskPathEntry, devio::kDiskPathListRecords> list{};
};

TEST_F(StorageScanOnRig, DisksGetIdentityHardwareIdAndLettersByLayout) {
    GiveArchiveItsOwnLetter();
    std::vector<devio::DeviceInterface> disks;
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kDiskInterfaceClass, disks));
    ASSERT_EQ(Scan(), 1);
    EXPECT_EQ(tracer.lines.at(0), "ScanDiskPathBySymbolicName()");

    const DiskPathEntry& backup = list[0];
    EXPECT_EQ(PathOf(backup), rig_test::kBackupInterface);
    EXPECT_EQ(backup.devInst, disks[0].instance);
    EXPECT_STREQ(backup.hardwareId, "USB\\VID_1A2B&PID_3C4D&REV_0100");
    EXPECT_EQ(Letters(backup), "E") << "MBR signature in MountedDevices; the spanned G: is not its own";
    EXPECT_EQ(backup.present, 1);
    EXPECT_EQ(backup.ready, 1);
    EXPECT_EQ(backup.isTovi, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(backup.inquiryData + 8), 8), "TOVI    ");
    EXPECT_EQ((std::vector<std::uint8_t>(backup.capacity, backup.capacity + 8)),
              (std::vector<std::uint8_t>{0x00, 0x0F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));

    const DiskPathEntry& archive = list[1];
    EXPECT_EQ(PathOf(archive), rig_test::kArchiveInterface);
    EXPECT_STREQ(archive.hardwareId, "USB\\VID_1A2B&PID_3C4E&REV_0100");
    EXPECT_EQ(Letters(archive), "H") << "GPT: the single-extent volume on device number 7 only";
    EXPECT_EQ(archive.capacity[1], 0x1F);
    EXPECT_TRUE(AllBytes(&list[2], sizeof list[2], 0)) << "records not reached stay as given";
}

TEST_F(StorageScanOnRig, VolumeSpanningDisksGivesTheGptDiskNoLetter) {
    ASSERT_EQ(Scan(), 1);
    EXPECT_EQ(list[1].driveLetterCount, 0);
    EXPECT_EQ(list[1].present, 1);
}

TEST_F(StorageScanOnRig, ForeignSignatureIsOursOnlyWithTheFilterOffAndNotReadyReadsNoCapacity) {
    Rewrite("partition_style = gpt\n", "partition_style = gpt\nsignature = ABCD\nnot_ready = yes\n");
    ASSERT_EQ(Scan(), 1);
    EXPECT_EQ(list[0].isTovi, 1);
    EXPECT_EQ(list[1].isTovi, 0);
    EXPECT_EQ(list[1].present, 1);
    EXPECT_EQ(list[1].ready, 0);
    EXPECT_TRUE(AllBytes(list[1].capacity, 8, 0));

    list = {};
    ASSERT_EQ(Scan(true), 1);
    EXPECT_EQ(list[1].isTovi, 1);
}

TEST_F(StorageScanOnRig, ScanDiskPathAsksTheDrivesCToZ) {
    GiveArchiveItsOwnLetter();
    std::array<DiskPathEntry, 24> drives{};
    corelink::Device device{*stack, tracer};
    ASSERT_EQ(corelink::ScanDiskPath(device, drives.data()), 1);
    EXPECT_EQ(tracer.lines.at(0), "ScanDiskPath()");
    for (int k = 0; k < 24; ++k) {
        const char letter = static_cast<char>('C' + k);
        const bool expected = letter == 'E' || letter == 'H';  // G: spans two disks: no INQUIRY
        EXPECT_EQ(drives[k].present, expected ? 1 : 0) << letter;
        EXPECT_EQ(drives[k].ready, expected ? 1 : 0) << letter;
    }
    EXPECT_EQ(drives[2].isTovi, 0);
    EXPECT_EQ(drives[2].devicePath[0], '\0');
    EXPECT_EQ(drives[5].capacity[1], 0x1F);
}

// ---------------------------------------------------------------- on a scripted stack

const devio::Guid kDisk{0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const devio::Guid kCdrom{0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

std::string DiskPath(const std::string& serial) {
    return "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#" + serial +
           "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}
std::string CdromPath(const std::string& serial) {
    return "\\\\?\\usbstor#cdrom&ven_tovi&prod_usb_enclosure&rev_1.00#" + serial +
           "#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
}

struct FakeUnit {
    std::string path;
    devio::DeviceInstance instance = 0;
    bool answersInquiry = true;
    std::string signature = "QKTR";
    bool readyDelivered = true;
    std::uint8_t readyStatus = devio::kScsiStatusGood;
    bool capacityAnswers = true;
    bool vendorReadAnswers = false;
    bool layoutAnswers = true;
    std::uint32_t style = devio::kPartitionStyleMbr;
    std::uint32_t diskSignature = 0;
    std::uint32_t deviceNumber = 0;
};

// Disk and CD-ROM units answering the scan's requests, MountedDevices values and volumes.
class StorageStack final : public devio::FailingDeviceStack {
public:
    std::vector<FakeUnit> disks, cdroms;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> mounted;
    std::map<char, std::vector<devio::DiskExtent>> volumes;
    std::vector<std::vector<std::uint8_t>> vendorCdbs;
    std::uint32_t majorVersion = 10;
    int openHandles = 0;

    static std::vector<std::uint8_t> Signature(std::uint32_t value, std::uint64_t offset = 0x100000) {
        std::vector<std::uint8_t> data(12);
        std::memcpy(data.data(), &value, 4);
        std::memcpy(data.data() + 4, &offset, 8);
        return data;
    }
    static std::vector<std::uint8_t> Wide(const std::string& text) {
        std::vector<std::uint8_t> data;
        for (char c : text) data.insert(data.end(), {static_cast<std::uint8_t>(c), 0});
        data.insert(data.end(), {0, 0});
        return data;
    }

    devio::DeviceHandle Open(const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t& lastError) override {
        if (path.size() == 6 && path.starts_with("\\\\.\\") && volumes.count(path[4])) {
            ++openHandles;
            return kVolumeBase + static_cast<unsigned char>(path[4]);
        }
        for (std::size_t i = 0; i < Units().size(); ++i) {
            if (Units()[i]->path == path) {
                ++openHandles;
                return kUnitBase + i;
            }
        }
        lastError = devio::kErrorFileNotFound;
        return devio::kInvalidDeviceHandle;
    }
    bool Close(devio::DeviceHandle) override {
        --openHandles;
        return true;
    }
    bool Control(devio::DeviceHandle handle, std::uint32_t code, const void*, std::uint32_t, void* output,
                 std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) override {
        auto* out = static_cast<std::uint8_t*>(output);
        if (handle >= kVolumeBase) return Extents(static_cast<char>(handle - kVolumeBase), out, outputSize, returned);
        const FakeUnit& unit = *Units().at(handle - kUnitBase);
        lastError = devio::kErrorNotSupported;
        if (code == devio::kIoctlScsiPassThrough) return PassThrough(unit, out, returned);
        if (code == devio::kIoctlDiskGetDriveLayoutEx && unit.layoutAnswers) {
            devio::DriveLayoutInformationExHeader layout{};
            layout.PartitionStyle = unit.style;
            layout.Mbr.Signature = unit.diskSignature;
            std::memcpy(out, &layout, sizeof layout);
            returned = sizeof layout;
            return outputSize >= sizeof layout;
        }
        if (code == devio::kIoctlStorageGetDeviceNumber) {
            const devio::StorageDeviceNumber number{devio::kFileDeviceDisk, unit.deviceNumber, 0};
            std::memcpy(out, &number, sizeof number);
            returned = sizeof number;
            return true;
        }
        return false;
    }

    bool EnumerateInterfaces(const devio::Guid& cls, std::vector<devio::DeviceInterface>& found) override {
        found.clear();
        for (const FakeUnit& unit : cls == kDisk ? disks : cls == kCdrom ? cdroms : std::vector<FakeUnit>{}) {
            found.push_back({unit.path, unit.instance});
        }
        return true;
    }
    bool EnumerateRegistryValues(devio::RegistryHive, const std::string& key, std::vector<std::string>& names) override {
        names.clear();
        for (const auto& value : mounted) names.push_back(value.first);
        return key == "SYSTEM\\MountedDevices";
    }
    bool ReadRegistryValue(devio::RegistryHive, const std::string&, const std::string& name, std::uint32_t& type,
                           std::vector<std::uint8_t>& data) override {
        for (const auto& value : mounted) {
            if (value.first == name) {
                type = 3;
                data = value.second;
                return true;
            }
        }
        return false;
    }
    std::uint32_t LogicalDriveMask() override {
        std::uint32_t mask = 0;
        for (const auto& volume : volumes) mask |= 1u << (volume.first - 'A');
        return mask;
    }
    std::uint32_t SystemMajorVersion() override { return majorVersion; }

private:
    static constexpr devio::DeviceHandle kUnitBase = 0x100;
    static constexpr devio::DeviceHandle kVolumeBase = 0x10000;

    std::vector<const FakeUnit*> Units() const {
        std::vector<const FakeUnit*> units;
        for (const auto& u : disks) units.push_back(&u);
        for (const auto& u : cdroms) units.push_back(&u);
        return units;
    }

    bool PassThrough(const FakeUnit& unit, std::uint8_t* block, std::uint32_t& returned) {
        devio::ScsiPassThroughHeader header{};
        std::memcpy(&header, block, sizeof header);
        std::uint8_t* data = block + devio::kHeaderAndSenseSize;
        bool good = true;
        switch (header.cdb[0]) {
        case 0x12:
            good = unit.answersInquiry;
            if (good) std::memcpy(data + 36, unit.signature.data(), 4);
            break;
        case 0x00:
            if (!unit.readyDelivered) return false;
            good = unit.readyStatus == devio::kScsiStatusGood;
            break;
        case 0x25:
            good = unit.capacityAnswers;
            if (good) std::memcpy(data, "\x00\x01\x02\x03\x00\x00\x02\x00", 8);
            break;
        case 0xEE:
            vendorCdbs.emplace_back(header.cdb, header.cdb + 16);
            good = unit.vendorReadAnswers;
            break;
        default:
            good = false;
        }
        block[offsetof(devio::ScsiPassThroughHeader, scsiStatus)] =
            good ? devio::kScsiStatusGood : devio::kScsiStatusCheckCondition;
        returned = devio::kHeaderAndSenseSize + header.dataTransferLength;
        return true;
    }

    bool Extents(char letter, std::uint8_t* out, std::uint32_t outputSize, std::uint32_t& returned) {
        const auto& extents = volumes.at(letter);
        const std::uint32_t count = static_cast<std::uint32_t>(extents.size());
        returned = 8 + 24 * count;
        if (outputSize < returned) return false;
        std::memcpy(out, &count, 4);
        std::memcpy(out + 8, extents.data(), 24 * extents.size());
        return true;
    }
};

struct ScanBench {
    StorageStack stack;
    RecordingTracer tracer;
    corelink::Device device{stack, tracer};

    int Scan(DiskPathEntry* list, bool productFilterOff = false) {
        return corelink::ScanDiskPathBySymbolicName(device, list, productFilterOff);
    }
};

TEST(StorageScanLetters, InterfacePathInAWideValueIsTheLastResort) {
    ScanBench bench;
    const std::string path = DiskPath("0001&0");
    bench.stack.disks.push_back({.path = path, .instance = 5, .style = devio::kPartitionStyleGpt, .deviceNumber = 3});
    std::string upper = "\\??\\" + path.substr(4);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bench.stack.mounted = {{"\\??\\Volume{1}", StorageStack::Wide(upper)},
                           {"\\DosDevices\\K:", StorageStack::Wide("\\??\\usbstor#disk&ven_other#0009&0")},
                           {"\\DosDevices\\J:", StorageStack::Wide(upper)}};
    bench.stack.volumes['L'] = {{3, 0x100000, 0x1000}, {4, 0x100000, 0x1000}};  // spans: no GPT letter

    for (std::uint32_t version : {10u, 5u}) {  // older systems take the same route
        bench.stack.majorVersion = version;
        std::array<DiskPathEntry, 32> list{};
        ASSERT_EQ(bench.Scan(list.data()), 1);
        EXPECT_EQ(Letters(list[0]), "J") << version;
    }
    EXPECT_EQ(bench.stack.openHandles, 0) << "every handle closed";
}

TEST(StorageScanLetters, MbrSignatureSkipsTheFallbackAndGptTakesSingleExtentVolumes) {
    ScanBench bench;
    bench.stack.disks.push_back({.path = DiskPath("0001&0"), .diskSignature = 0xCAFE0001});
    bench.stack.disks.push_back({.path = DiskPath("0002&0"), .style = devio::kPartitionStyleGpt, .deviceNumber = 2});
    bench.stack.mounted = {{"\\DosDevices\\F:", StorageStack::Signature(0xCAFE0001)},
                           {"\\DosDevices\\Q:", StorageStack::Signature(0xCAFE0002)},
                           {"\\DosDevices\\R:", StorageStack::Wide(DiskPath("0001&0"))}};
    bench.stack.volumes['M'] = {{2, 0x100000, 0x1000}};
    bench.stack.volumes['N'] = {{1, 0x100000, 0x1000}};
    std::array<DiskPathEntry, 32> list{};
    ASSERT_EQ(bench.Scan(list.data()), 1);
    EXPECT_EQ(Letters(list[0]), "F");
    EXPECT_EQ(Letters(list[1]), "M");
}

TEST(StorageScanRecords, ReadinessCapacityAndInquiryFailure) {
    ScanBench bench;
    bench.stack.disks = {
        {.path = "\\\\?\\ide#diskwdc#1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"},  // not USB storage
        {.path = DiskPath("0001&0"), .readyStatus = devio::kScsiStatusCheckCondition},
        {.path = DiskPath("0002&0"), .capacityAnswers = false},
        {.path = DiskPath("0003&0"), .instance = 9, .answersInquiry = false, .diskSignature = 0x77},
    };
    bench.stack.mounted = {{"\\DosDevices\\T:", StorageStack::Signature(0x77)}};
    std::array<DiskPathEntry, 32> list;
    std::memset(list.data(), 0xAB, sizeof list);
    ASSERT_EQ(bench.Scan(list.data()), 1);

    EXPECT_EQ(PathOf(list[0]), DiskPath("0001&0"));
    EXPECT_EQ(list[0].present, 1);
    EXPECT_EQ(list[0].ready, 0xAB) << "not ready: neither ready nor capacity written";
    EXPECT_TRUE(AllBytes(list[0].capacity, 8, 0xAB));
    EXPECT_EQ(list[1].ready, 1);
    EXPECT_TRUE(AllBytes(list[1].capacity, 8, 0)) << "failed READ CAPACITY clears it";

    const DiskPathEntry& silent = list[2];
    EXPECT_EQ(PathOf(silent), DiskPath("0003&0"));
    EXPECT_EQ(silent.devInst, 9u);
    EXPECT_EQ(Letters(silent), "T");
    EXPECT_EQ(silent.hardwareId[0], '\0');
    EXPECT_EQ(silent.present, 0xAB);
    EXPECT_EQ(silent.isTovi, 0xAB);
    EXPECT_TRUE(AllBytes(silent.inquiryData, sizeof silent.inquiryData, 0xAB));
    EXPECT_TRUE(AllBytes(&list[3], sizeof list[3], 0xAB));

    bench.stack.disks = {bench.stack.disks[3]};
    EXPECT_EQ(bench.Scan(list.data()), 0) << "no interface answered";
}

TEST(StorageScanCdrom, JoinsItsDiskOrTakesARecordOfItsOwn) {
    ScanBench bench;
    bench.stack.disks.push_back({.path = DiskPath("0001&0"), .diskSignature = 0x10});
    bench.stack.cdroms = {
        {.path = CdromPath("0001&1"), .diskSignature = 0x11},  // the same device: instance and class differ
        {.path = CdromPath("0002&1"), .signature = "ABCD", .vendorReadAnswers = true, .diskSignature = 0x12},
        {.path = CdromPath("0003&1"), .signature = "ABCD", .readyDelivered = false, .diskSignature = 0x13},
    };
    bench.stack.mounted = {{"\\DosDevices\\E:", StorageStack::Signature(0x10)},
                           {"\\DosDevices\\F:", StorageStack::Signature(0x11)},
                           {"\\DosDevices\\K:", StorageStack::Signature(0x12)},
                           {"\\DosDevices\\P:", StorageStack::Signature(0x13)}};
    std::array<DiskPathEntry, 32> list;
    std::memset(list.data(), 0xAB, sizeof list);
    ASSERT_EQ(bench.Scan(list.data()), 1);

    EXPECT_EQ(Letters(list[0]), "EF");
    EXPECT_EQ(PathOf(list[1]), CdromPath("0002&1"));
    EXPECT_EQ(Letters(list[1]), "K");
    EXPECT_EQ(list[1].isTovi, 1) << "the firmware-area read answered";
    EXPECT_EQ(list[1].ready, 1);
    ASSERT_EQ(bench.stack.vendorCdbs.size(), 2u);
    EXPECT_EQ(bench.stack.vendorCdbs[0],
              (std::vector<std::uint8_t>{0xEE, 0x80, 0, 0, 0, 0, 0x81, 0x02, 0x00, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(PathOf(list[2]), CdromPath("0003&1"));
    EXPECT_EQ(list[2].isTovi, 0);
    EXPECT_EQ(list[2].ready, 0xAB);
    EXPECT_TRUE(AllBytes(list[2].capacity, 8, 0)) << "TEST UNIT READY not delivered clears the capacity";
    EXPECT_TRUE(AllBytes(&list[3], sizeof list[3], 0xAB));

    // With the filter off no vendor read is needed.
    bench.stack.vendorCdbs.clear();
    ASSERT_EQ(bench.Scan(list.data(), true), 1);
    EXPECT_EQ(list[2].isTovi, 1);
    EXPECT_TRUE(bench.stack.vendorCdbs.empty());
}

// Twin enclosures (one model) differ only in their serial numbers, so each CD-ROM interface is
// within the same-device limit of both disks: the closest disk must get it.
TEST(StorageScanCdrom, EachTwinCdromJoinsTheDiskThatDiffersLeast) {
    ScanBench bench;
    bench.stack.disks = {{.path = DiskPath("0001&0"), .diskSignature = 0x10},
                         {.path = DiskPath("0002&0"), .diskSignature = 0x20}};
    bench.stack.cdroms = {{.path = CdromPath("0002&0"), .diskSignature = 0x21},  // only its class differs
                          {.path = CdromPath("0001&0"), .diskSignature = 0x11}};
    bench.stack.mounted = {{"\\DosDevices\\T:", StorageStack::Signature(0x10)},
                           {"\\DosDevices\\U:", StorageStack::Signature(0x11)},
                           {"\\DosDevices\\V:", StorageStack::Signature(0x20)},
                           {"\\DosDevices\\W:", StorageStack::Signature(0x21)}};
    std::array<DiskPathEntry, 32> list{};
    ASSERT_EQ(bench.Scan(list.data()), 1);
    EXPECT_EQ(Letters(list[0]), "TU");
    EXPECT_EQ(Letters(list[1]), "VW");
    EXPECT_TRUE(AllBytes(&list[2], sizeof list[2], 0)) << "both CD-ROMs joined a disk";
}

TEST(StorageScanCdrom, ADiskWithTheCdromsSerialIsNeverPassedOver) {
    ScanBench bench;
    // Both disks differ from the CD-ROM in two tokens; only the second has its serial number.
    bench.stack.disks = {{.path = DiskPath("0001&1"), .diskSignature = 0x10},
                         {.path = DiskPath("0002&0"), .diskSignature = 0x20}};
    bench.stack.cdroms = {{.path = CdromPath("0002&1"), .diskSignature = 0x21}};
    bench.stack.mounted = {{"\\DosDevices\\T:", StorageStack::Signature(0x10)},
                           {"\\DosDevices\\V:", StorageStack::Signature(0x20)},
                           {"\\DosDevices\\W:", StorageStack::Signature(0x21)}};
    std::array<DiskPathEntry, 32> list{};
    ASSERT_EQ(bench.Scan(list.data()), 1);
    EXPECT_EQ(Letters(list[0]), "T");
    EXPECT_EQ(Letters(list[1]), "VW");

    // With its own disk too far off, the CD-ROM keeps a record rather than join a stranger.
    bench.stack.disks[1].path = "\\\\?\\usbstor#disk&ven_tovi&prod_other&rev_2.00#0002&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    list = {};
    ASSERT_EQ(bench.Scan(list.data()), 1);
    EXPECT_EQ(Letters(list[0]), "T");
    EXPECT_EQ(Letters(list[1]), "V");
    EXPECT_EQ(PathOf(list[2]), CdromPath("0002&1"));
    EXPECT_EQ(Letters(list[2]), "W");
}

TEST(StorageScanRecords, MoreInterfacesThanRecordsNeverWritePastTheList) {
    ScanBench bench;
    for (int i = 0; i < 200; ++i) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "%04d&0", i);
        bench.stack.disks.push_back({.path = DiskPath(serial), .instance = static_cast<std::uint32_t>(100 + i)});
    }
    bench.stack.cdroms.push_back({.path = CdromPath("9999&1")});
    bench.stack.cdroms.push_back({.path = CdromPath("0000&1")});  // joins record 0
    bench.stack.mounted = {{"\\DosDevices\\W:", StorageStack::Signature(0)}};

    std::vector<DiskPathEntry> list(devio::kDiskPathListRecords + 2);
    std::memset(list.data(), 0, sizeof(DiskPathEntry) * devio::kDiskPathListRecords);
    std::memset(&list[devio::kDiskPathListRecords], 0xCC, 2 * sizeof(DiskPathEntry));
    ASSERT_EQ(bench.Scan(list.data()), 1);
    EXPECT_EQ(list[31].devInst, 131u);
    EXPECT_EQ(PathOf(list[31]), DiskPath("0031&0"));
    EXPECT_EQ(Letters(list[0]), "WW") << "the joining CD-ROM still adds its letter";
    EXPECT_TRUE(AllBytes(&list[devio::kDiskPathListRecords], 2 * sizeof(DiskPathEntry), 0xCC));
}

// Two enclosures of one model, each with a CD-ROM interface: every letter stays with its own
// enclosure (a wrong letter would send a job to the other one).
TEST_F(StorageScanOnRig, TwinEnclosuresKeepTheirOwnCdromLetters) {
    const std::string twin = std::string("\n[enclosure]\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4D\nsectors = 0x10000\n");
    rig_test::WriteTextFile(rigPath, twin + "interface = " + rig_test::kFirstInterface + "\ndrive = T: T\ncdrom = U:\n" +
                                         twin + "interface = " + rig_test::kSecondInterface +
                                         "\ndrive = V: V\ncdrom = W:\n");
    ASSERT_EQ(Rigctl({"reset"}), 0);
    stack = Program();
    ASSERT_TRUE(stack);

    ASSERT_EQ(Scan(), 1);
    EXPECT_EQ(PathOf(list[0]), rig_test::kFirstInterface);
    EXPECT_EQ(Letters(list[0]), "TU");
    EXPECT_EQ(PathOf(list[1]), rig_test::kSecondInterface);
    EXPECT_EQ(Letters(list[1]), "VW");
    EXPECT_TRUE(AllBytes(&list[2], sizeof list[2], 0)) << "both CD-ROM interfaces joined their disks";
}

TEST_F(StorageScanOnRig, RigCdromInterfaceGivesItsLetterToItsDisk) {
    Rewrite("drive = E: E\n", "drive = E: E\ncdrom = F:\n");
    std::vector<devio::DeviceInterface> cdroms;
    ASSERT_TRUE(stack->EnumerateInterfaces(rig::kCdromInterfaceClass, cdroms));
    ASSERT_EQ(cdroms.size(), 1u);
    ASSERT_EQ(Scan(), 1);
    EXPECT_EQ(PathOf(list[0]), rig_test::kBackupInterface);
    EXPECT_EQ(list[0].driveLetterCount, 2);
    EXPECT_EQ(Letters(list[0]), "EF") << "E: by signature, F: by the CD-ROM path in MountedDevices";
    EXPECT_EQ(PathOf(list[1]), rig_test::kArchiveInterface);
    EXPECT_EQ(Letters(list[1]), "");
    EXPECT_TRUE(AllBytes(&list[2], sizeof list[2], 0)) << "the merged CD-ROM keeps no record";
}

}  // namespace
