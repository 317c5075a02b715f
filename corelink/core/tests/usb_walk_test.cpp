// The USB port walk against rigs with USB trees: where records land and what they hold, the
// port chain across hub tiers, the join with the storage view, the polls across an unplug and
// replug, the hub scan, and hardware whose replies are deeper or stranger than the records allow.
#include "corelink/core/usb_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/core/usb_ioctl_layout.h"
#include "corelink/core/usb_walk_internal.h"
#include "rig/tests/topology_fixture.h"

namespace {

using devio::DeviceListEntry;
using devio::DiskPathEntry;
using devio::HubListRecord;
using rig_test::kArchiveInterface;
using rig_test::kBackupInterface;
using rig_test::kExternalHub;

const std::string kRootHubPath = "\\\\?\\usb#root_hub20#4&2a1b3c4d&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

struct Lines final : corelink::Tracer {
    std::vector<std::string> lines;
    void Trace(const char* text) override { lines.emplace_back(text); }
    long Count(const std::string& line) const { return std::count(lines.begin(), lines.end(), line); }
    bool Has(const std::string& line) const { return Count(line) > 0; }
};

// A control request as the wrapping stack lets a test rewrite it after the rig answered.
struct Call {
    const std::string& path;  // what the handle was opened with
    std::uint32_t code;
    std::uint32_t port;  // the first four input bytes
    std::uint8_t* output;
    std::uint32_t outputSize;
    std::uint32_t& returned;
    bool& delivered;
    std::uint32_t& lastError;
};

void PutWideName(Call& call, const std::string& name) {
    const std::uint32_t actual = static_cast<std::uint32_t>(8 + 2 * (name.size() + 1));
    std::memcpy(call.output + 4, &actual, 4);
    std::uint32_t at = 8;
    for (char c : name) {
        if (at + 2 > call.outputSize) break;
        call.output[at] = static_cast<std::uint8_t>(c);
        call.output[at + 1] = 0;
        at += 2;
    }
    if (at + 2 <= call.outputSize) {
        call.output[at] = 0;
        call.output[at + 1] = 0;
        at += 2;
    }
    call.returned = std::min(at, call.outputSize);
    call.delivered = true;
}

// Forwards everything to a rig and hands each control reply to `tamper` first.
class WrappedStack final : public devio::DeviceStack {
public:
    explicit WrappedStack(devio::DeviceStack& inner) : inner_(inner) {}
    std::function<void(Call&)> tamper;

    devio::DeviceHandle Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t flags, std::uint32_t& lastError) override {
        const auto handle = inner_.Open(path, access, share, disposition, flags, lastError);
        paths_[handle] = path;
        return handle;
    }
    bool Close(devio::DeviceHandle handle) override { return inner_.Close(handle); }
    bool Control(devio::DeviceHandle handle, std::uint32_t code, const void* input, std::uint32_t inputSize,
                 void* output, std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) override {
        bool delivered = inner_.Control(handle, code, input, inputSize, output, outputSize, returned, lastError);
        std::uint32_t port = 0;
        if (input != nullptr && inputSize >= 4) std::memcpy(&port, input, 4);
        Call call{paths_[handle], code, port, static_cast<std::uint8_t*>(output), outputSize, returned, delivered,
                  lastError};
        if (tamper) tamper(call);
        return delivered;
    }
    bool EnumerateInterfaces(const devio::Guid& c, std::vector<devio::DeviceInterface>& i) override {
        return inner_.EnumerateInterfaces(c, i);
    }
    bool ParentOf(devio::DeviceInstance i, devio::DeviceInstance& p) override { return inner_.ParentOf(i, p); }
    bool FirstChildOf(devio::DeviceInstance i, devio::DeviceInstance& c) override { return inner_.FirstChildOf(i, c); }
    bool DeviceIdOf(devio::DeviceInstance i, std::string& id) override { return inner_.DeviceIdOf(i, id); }
    bool HardwareIdsOf(devio::DeviceInstance i, std::vector<std::string>& ids) override {
        return inner_.HardwareIdsOf(i, ids);
    }
    std::uint32_t RequestEject(devio::DeviceInstance i) override { return inner_.RequestEject(i); }
    bool ReadRegistryValue(devio::RegistryHive h, const std::string& k, const std::string& n, std::uint32_t& t,
                           std::vector<std::uint8_t>& d) override {
        return inner_.ReadRegistryValue(h, k, n, t, d);
    }
    bool EnumerateRegistryValues(devio::RegistryHive h, const std::string& k, std::vector<std::string>& n) override {
        return inner_.EnumerateRegistryValues(h, k, n);
    }
    bool EnumerateRegistryKeys(devio::RegistryHive h, const std::string& k, std::vector<std::string>& n) override {
        return inner_.EnumerateRegistryKeys(h, k, n);
    }
    bool WriteRegistryValue(devio::RegistryHive h, const std::string& k, const std::string& n, std::uint32_t t,
                            const std::vector<std::uint8_t>& d) override {
        return inner_.WriteRegistryValue(h, k, n, t, d);
    }
    bool DeleteRegistryValue(devio::RegistryHive h, const std::string& k, const std::string& n) override {
        return inner_.DeleteRegistryValue(h, k, n);
    }
    bool DeleteRegistryTree(devio::RegistryHive h, const std::string& k) override {
        return inner_.DeleteRegistryTree(h, k);
    }
    std::uint32_t CheckRegistryKey(devio::RegistryHive h, const std::string& k) override {
        return inner_.CheckRegistryKey(h, k);
    }
    std::uint32_t DeleteRegistryKey(devio::RegistryHive h, const std::string& k) override {
        return inner_.DeleteRegistryKey(h, k);
    }
    bool GrantRegistryKeyToAdministrators(devio::RegistryHive h, const std::string& k, std::string& r) override {
        return inner_.GrantRegistryKeyToAdministrators(h, k, r);
    }
    std::uint32_t LogicalDriveMask() override { return inner_.LogicalDriveMask(); }
    std::uint32_t DriveType(const std::string& root) override { return inner_.DriveType(root); }
    bool EnumerateVolumes(std::vector<std::string>& v) override { return inner_.EnumerateVolumes(v); }
    bool VolumePathNames(const std::string& v, std::vector<std::string>& p) override {
        return inner_.VolumePathNames(v, p);
    }
    std::uint32_t SystemMajorVersion() override { return inner_.SystemMajorVersion(); }

private:
    devio::DeviceStack& inner_;
    std::map<devio::DeviceHandle, std::string> paths_;
};

// The caller's device list with guard bytes behind it.
struct GuardedList {
    static constexpr std::size_t kSize = sizeof(DeviceListEntry) * devio::kDeviceListRecords;
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kSize + 256, 0xCC);

    DeviceListEntry* get() { return reinterpret_cast<DeviceListEntry*>(bytes.data()); }
    DeviceListEntry operator[](std::size_t i) const {
        DeviceListEntry entry;
        std::memcpy(&entry, bytes.data() + i * sizeof entry, sizeof entry);
        return entry;
    }
    bool GuardIntact() const {
        return std::all_of(bytes.begin() + kSize, bytes.end(), [](std::uint8_t b) { return b == 0xCC; });
    }
    bool AllZero() const {
        return std::all_of(bytes.begin(), bytes.begin() + kSize, [](std::uint8_t b) { return b == 0; });
    }
};

std::string Text(const char* field) { return field; }

// Bounded copy into a fixed text field of a hand-built record.
template <std::size_t N>
void Put(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

std::uint32_t AddressOf(const char* field) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(field));
}

std::array<std::uint8_t, 10> Chain(const DeviceListEntry& entry) {
    std::array<std::uint8_t, 10> chain{};
    std::memcpy(chain.data(), entry.portChain, chain.size());
    return chain;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class UsbWalkTest : public rig_test::TopologyTest {
protected:
    void UseRig(const std::string& text) {
        rig_test::WriteTextFile(rigPath, text);
        stack = Program();
        ASSERT_TRUE(stack);
    }
    corelink::Device Dev() { return corelink::Device{*stack, tracer}; }
    corelink::Device Dev(devio::DeviceStack& other) { return corelink::Device{other, tracer}; }

    int Scan() {
        auto device = Dev();
        return corelink::ScanUSBPort(device, state, list.get());
    }

    Lines tracer;
    corelink::WalkState state;
    GuardedList list;
};

// ---------------------------------------------------------------- the scan on the topology rig

TEST_F(UsbWalkTest, ScanFindsBothEnclosuresWithTheirPlaceIdentityAndDisk) {
    ASSERT_EQ(Scan(), 1);
    EXPECT_TRUE(list.GuardIntact());

    const DeviceListEntry backup = list[0];
    EXPECT_EQ(backup.connected, 1);
    EXPECT_EQ(backup.vendorId, 0x1A2B);
    EXPECT_EQ(backup.productId, 0x3C4D);
    EXPECT_EQ(backup.speed, 2);
    EXPECT_EQ(Text(backup.hubPath), kRootHubPath) << "the root hub added from its controller";
    EXPECT_EQ(backup.hubPortCount, 4u);
    EXPECT_EQ(backup.portIndex, 1u);
    EXPECT_EQ(backup.hubDepth, 1);
    EXPECT_EQ(Chain(backup), (std::array<std::uint8_t, 10>{0x10, 0x14, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Text(backup.parentIdPrefix), "7&2a6c1d1e&0");
    EXPECT_EQ(Text(backup.serialNumber), "0000A1") << "the string descriptor, first language";
    EXPECT_EQ(Text(backup.manufacturer), "Tovi");
    EXPECT_EQ(Text(backup.product), "Backup Box");
    EXPECT_EQ(Text(backup.symbolicName),
              "\\??\\usb#vid_1a2b&pid_3c4d#0000A1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_EQ(Text(backup.driverKeyName), "{36fc9e60-c465-11cf-8056-444553540000}\\0000");
    EXPECT_EQ(Text(backup.disk.devicePath), kBackupInterface);
    EXPECT_EQ(backup.disk.present, 1);

    const DeviceListEntry archive = list[1];
    EXPECT_EQ(archive.connected, 1);
    EXPECT_EQ(archive.speed, 3);
    EXPECT_EQ(archive.hubDepth, 2);
    EXPECT_EQ(archive.portIndex, 2u);
    EXPECT_EQ(Text(archive.hubPath), std::string("\\\\.\\") + kExternalHub);
    // Tier 1: hub 1 (4 ports), port 3; tier 2: hub 2 (4 ports), port 2.
    EXPECT_EQ(Chain(archive), (std::array<std::uint8_t, 10>{0x10, 0x34, 0x20, 0x24, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Text(archive.parentIdPrefix), "a0b1c2d3") << "the instance name, lower-cased by the matching";
    EXPECT_EQ(Text(archive.serialNumber), "A0B1C2D3");
    EXPECT_EQ(Text(archive.disk.devicePath), kArchiveInterface);
    EXPECT_EQ(archive.diskIndex, 1);

    // Each record points at its own copy of the disk path.
    EXPECT_EQ(backup.diskPathRef, AddressOf(list.get()[0].disk.devicePath));
    for (std::size_t i = 2; i < devio::kDeviceListRecords; ++i) EXPECT_EQ(list[i].connected, 0) << i;
    EXPECT_TRUE(std::all_of(list.bytes.begin() + 2 * sizeof(DeviceListEntry), list.bytes.begin() + GuardedList::kSize,
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(state.walkDepth, 1);
    EXPECT_EQ(state.currentHub, 0);
    EXPECT_EQ(state.hubCounter, 2);
    EXPECT_TRUE(tracer.Has("Start") && tracer.Has("Start2") && tracer.Has("ISTOVI=1"));
    EXPECT_TRUE(tracer.Has("PortIndex3=1") && tracer.Has("Index=2, Speed=3"));
}

TEST_F(UsbWalkTest, NoDeviceOfTheMakersProductLeavesTheListZero) {
    std::string text = rig_test::TopologyRigText();
    text = Replace(text, "sectors = 0x100000\n", "sectors = 0x100000\nsignature = ABCD\n");
    text = Replace(text, "sectors = 0x200000\n", "sectors = 0x200000\nsignature = ABCD\n");
    UseRig(text);
    std::fill(list.bytes.begin(), list.bytes.begin() + GuardedList::kSize, 0x5A);
    EXPECT_EQ(Scan(), 1) << "the interfaces answered INQUIRY";
    EXPECT_TRUE(list.AllZero()) << "also the port chain written for the external hub";
    EXPECT_TRUE(list.GuardIntact());
}

TEST_F(UsbWalkTest, Usb30OnlyKeepsSuperSpeedDevicesOnSuperSpeedRootHubsWithSpeedZero) {
    const std::string root30 = "USB#ROOT_HUB30#4&99aa00bb&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    std::string text = Replace(rig_test::TopologyRigText(), rig_test::kRootHub, root30);
    // The backup moves to port 2 of the SuperSpeed root hub at SuperSpeed; the archive behind
    // the hub runs at high speed.
    text = Replace(text, "port = 1\nspeed = 2\n", "port = 2\nspeed = 3\n");
    text = Replace(text, "speed = 3\nbcd_usb = 0x0300\n", "speed = 2\n");
    UseRig(text);
    state.usb30Only = true;
    ASSERT_EQ(Scan(), 1);
    const DeviceListEntry kept = list[0];
    EXPECT_EQ(kept.connected, 1);
    EXPECT_EQ(kept.portIndex, 2u);
    EXPECT_EQ(kept.speed, 0) << "a kept SuperSpeed record reads 0";
    EXPECT_EQ(list[1].connected, 0) << "the high-speed archive is dropped";

    state.usb30Only = false;
    ASSERT_EQ(Scan(), 1);
    EXPECT_EQ(list[0].speed, 3);
    EXPECT_EQ(list[1].speed, 2);
}

// ---------------------------------------------------------------- matching

struct MatchBench {
    Lines tracer;
    std::vector<DiskPathEntry> disks = std::vector<DiskPathEntry>(devio::kDiskPathListRecords, DiskPathEntry{});
    DeviceListEntry record{};

    MatchBench(const char* prefix, const char* serial) {
        Put(record.parentIdPrefix, prefix);
        Put(record.serialNumber, serial);
        record.vendorId = 0x1A2B;
        record.productId = 0x3C4D;
    }
    void Disk(std::size_t i, const char* path, const char* hardwareId, std::uint8_t isTovi = 1) {
        disks[i].present = 1;
        disks[i].isTovi = isTovi;
        Put(disks[i].devicePath, path);
        Put(disks[i].hardwareId, hardwareId);
    }
    bool Match(devio::DeviceStack& stack) {
        corelink::Device device{stack, tracer};
        return corelink::MatchPortRecord(device, record, disks.data());
    }
};

TEST_F(UsbWalkTest, MatchingByPrefixThenSerialOnlyAmongTheMakersCandidates) {
    const char* hw = "USB\\VID_1A2B&PID_3C4D&REV_0100";
    {   // A prefix holding '&' matches inside the '#'-separated instance token.
        MatchBench b("7&2A6C1D1E&0", "");
        b.Disk(2, "\\\\?\\usbstor#disk&ven_tovi#7&2a6c1d1e&0#x", hw, 0);  // not the maker's
        b.Disk(3, "\\\\?\\usbstor#disk&ven_tovi#7&2a6c1d1e&1&0#x", hw);   // another prefix
        b.Disk(5, kBackupInterface, hw);
        ASSERT_TRUE(b.Match(*stack));
        EXPECT_EQ(b.record.diskIndex, 5);
        EXPECT_EQ(Text(b.record.parentIdPrefix), "7&2a6c1d1e&0");
        EXPECT_EQ(Text(b.record.disk.devicePath), kBackupInterface);
        EXPECT_EQ(b.record.diskPathRef, AddressOf(b.record.disk.devicePath));
        EXPECT_EQ(b.tracer.lines,
                  (std::vector<std::string>{"Start", kBackupInterface, "7&2a6c1d1e&0", "ISTOVI=1", "End"}));
    }
    {   // Another product's hardware id is no candidate, a CD-ROM path always is.
        MatchBench b("0001", "");
        b.Disk(0, "\\\\?\\usbstor#disk&ven_tovi#0001&0#x", "USB\\VID_1A2B&PID_9999");
        EXPECT_FALSE(b.Match(*stack));
        b.Disk(1, "\\\\?\\usbstor#cdrom&ven_tovi#0001&0#x", "");
        ASSERT_TRUE(b.Match(*stack));
        EXPECT_EQ(b.record.diskIndex, 1);
    }
    {   // The serial number is the second key; an empty one is not tried, nor an empty prefix.
        MatchBench b("", "A0B1C2D3");
        b.Disk(0, kArchiveInterface, "USB\\VID_1A2B&PID_3C4D");
        ASSERT_TRUE(b.Match(*stack));
        EXPECT_EQ(b.tracer.lines.front(), "Start2");
        MatchBench none("", "");
        none.Disk(0, "\\\\?\\usbstor#disk##x", "USB\\VID_1A2B&PID_3C4D");
        EXPECT_FALSE(none.Match(*stack));
    }
    {   // A one-character key must equal a token; records the scan did not fill never match.
        MatchBench b("0", "");
        b.Disk(0, "\\\\?\\usbstor#disk#10#x", "USB\\VID_1A2B&PID_3C4D");
        EXPECT_FALSE(b.Match(*stack));
        b.Disk(0, "\\\\?\\usbstor#disk#1&0#x", "USB\\VID_1A2B&PID_3C4D");
        EXPECT_TRUE(b.Match(*stack));
    }
}

// ---------------------------------------------------------------- polling

TEST_F(UsbWalkTest, PollingFollowsUnplugAndReplugAndRefreshesTheCapacity) {
    ASSERT_EQ(Scan(), 1);
    DeviceListEntry entry = list[0];
    auto device = Dev();

    ASSERT_EQ(Rigctl({"unplug", "--enclosure", "0"}), 0);
    EXPECT_EQ(corelink::PollingSingleUSBPort(device, state, entry), 1);
    EXPECT_EQ(entry.connected, 0);
    EXPECT_EQ(entry.changed, 1);
    EXPECT_EQ(Text(entry.disk.devicePath), kBackupInterface) << "a gone device keeps its data";

    entry.changed = 0;
    std::memset(entry.disk.capacity, 0, sizeof entry.disk.capacity);
    ASSERT_EQ(Rigctl({"plug", "--enclosure", "0"}), 0);
    EXPECT_EQ(corelink::PollingSingleUSBPort(device, state, entry), 1);
    EXPECT_EQ(entry.connected, 1);
    EXPECT_EQ(entry.changed, 1);
    EXPECT_EQ(std::vector<std::uint8_t>(entry.disk.capacity, entry.disk.capacity + 8),
              (std::vector<std::uint8_t>{0x00, 0x0F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));

    // Unchanged: nothing to report.
    entry.changed = 0;
    EXPECT_EQ(corelink::PollingSingleUSBPort(device, state, entry), 1);
    EXPECT_EQ(entry.changed, 0);

    // A hub that cannot be opened reads as gone.
    DeviceListEntry lost = entry;
    Put(lost.hubPath, "\\\\.\\no such hub");
    EXPECT_EQ(corelink::PollingSingleUSBPort(device, state, lost), 0);
    EXPECT_EQ(lost.connected, 0);
    EXPECT_EQ(lost.changed, 1);
    EXPECT_TRUE(tracer.Has("create hub fail") && tracer.Has("EnumerateHub fail"));
}

TEST_F(UsbWalkTest, PollingExRejoinsOnItsTriggersAndOtherwiseRefreshesTheLetter) {
    ASSERT_EQ(Scan(), 1);
    auto device = Dev();
    DeviceListEntry entry = list[0];

    // No trigger condition met: the first drive letter comes from a fresh storage scan.
    entry.disk.driveLetters[0] = 'Q';
    EXPECT_EQ(corelink::PollingSingleUSBPortEx(device, state, entry, 0x07, 9), 1);
    EXPECT_EQ(entry.disk.driveLetters[0], 'E');
    EXPECT_TRUE(tracer.Has("PollingSingleUSBPortEx(9)"));

    // Another driver key at the port (bit 0): the entry takes the fresh record, keeping its
    // port count and depth.
    Put(entry.driverKeyName, "{other}\\0001");
    entry.hubPortCount = 4;
    entry.changed = 0;
    EXPECT_EQ(corelink::PollingSingleUSBPortEx(device, state, entry, 0x01, 0), 1);
    EXPECT_EQ(Text(entry.driverKeyName), "{36fc9e60-c465-11cf-8056-444553540000}\\0000");
    EXPECT_EQ(entry.hubPortCount, 4u);
    EXPECT_EQ(entry.changed, 1);
    EXPECT_EQ(entry.diskPathRef, AddressOf(entry.disk.devicePath));

    ASSERT_EQ(Rigctl({"unplug", "--enclosure", "0"}), 0);
    entry.changed = 0;
    EXPECT_EQ(corelink::PollingSingleUSBPortEx(device, state, entry, 0x01, 0), 1);
    EXPECT_EQ(entry.connected, 0);
    EXPECT_EQ(entry.changed, 1);
}

// ---------------------------------------------------------------- the hub scan

TEST_F(UsbWalkTest, ScanHubRecordsTheMakersHubAndItsMassStoragePorts) {
    UseRig(Replace(rig_test::TopologyRigText(), "usb_vendor_id = 0x2C3D", "usb_vendor_id = 0x1A2B"));
    std::vector<HubListRecord> hubs(devio::kHubListRecords + 1);
    std::memset(static_cast<void*>(hubs.data()), 0x77, sizeof(HubListRecord) * hubs.size());
    auto device = Dev();
    ASSERT_EQ(corelink::ScanHub(device, state, hubs.data()), 1);
    const HubListRecord& hub = hubs[0];
    EXPECT_EQ(Text(hub.parentHubPath), kRootHubPath);
    EXPECT_EQ(hub.parentPortCount, 4);
    EXPECT_EQ(hub.parentPort, 3);
    EXPECT_EQ(hub.connectionStatus, 1);
    EXPECT_EQ(Text(hub.hubPath), std::string("\\\\.\\") + kExternalHub);
    EXPECT_EQ(hub.vendorId, 0x1A2B);
    EXPECT_EQ(hub.productId, 0x0104);
    EXPECT_EQ(std::vector<std::uint8_t>(hub.massStoragePorts[1], hub.massStoragePorts[1] + 5),
              (std::vector<std::uint8_t>{4, 2, 1, 3, 0}));
    EXPECT_EQ(hub.massStoragePorts[0][0], 0);
    EXPECT_EQ(hubs[1].parentPort, 0) << "the rest is zeroed";
    EXPECT_EQ(hubs[devio::kHubListRecords].parentPort, 0x77) << "nothing behind the list";
    EXPECT_TRUE(tracer.Has("ScanHub_End()"));

    HubListRecord polled = hub;
    ASSERT_EQ(Rigctl({"unplug", "--enclosure", "1"}), 0);
    EXPECT_EQ(corelink::PollingHubPort(device, state, polled), 1);
    EXPECT_EQ(polled.changed, 0) << "the hub itself is still there";
    EXPECT_EQ(polled.massStoragePorts[1][0], 0) << "the archive's slot is gone";

    Put(polled.parentHubPath, "\\\\.\\gone");
    EXPECT_EQ(corelink::PollingHubPort(device, state, polled), 0);
    EXPECT_EQ(polled.connectionStatus, 0);
    EXPECT_EQ(polled.changed, 1);
}

// ---------------------------------------------------------------- hardware beyond the records

// A chain of hubs four deep below the root hub (the enclosure on the tier-5 hub), whose last
// hub also claims a hub on port 1 that answers with the tier-2 hub's name: a loop without end
// unless the walk stops at the fifth tier.
TEST_F(UsbWalkTest, HubsDeeperThanFiveTiersAreNotWalked) {
    std::string text = std::string("[controller]\nname = xhci\nports = 4\npath = ") + rig_test::kController +
                       "\nroot_hub = " + rig_test::kRootHub + "\n";
    const char* parents[] = {"xhci", "h2", "h3", "h4"};
    for (int i = 0; i < 4; ++i) {
        text += "\n[hub]\nname = h" + std::to_string(i + 2) + "\nparent = " + parents[i] +
                "\nport = 1\nports = 4\nhub_name = USB#HUB" + std::to_string(i + 2) + "#{f18a0e88}\n";
    }
    text += std::string("\n[enclosure]\nname = deep\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4D\n"
                        "sectors = 0x100000\nparent = h5\nport = 2\nparent_id_prefix = 7&2a6c1d1e&0\ninterface = ") +
            kBackupInterface + "\n";
    UseRig(text);
    WrappedStack wrapped(*stack);
    wrapped.tamper = [](Call& call) {
        if (call.path.find("HUB5") == std::string::npos || call.port != 1) return;
        if (call.code == devio::kIoctlUsbGetNodeConnectionInformationEx && call.outputSize >= 35) {
            devio::UsbNodeConnectionInformationEx info{};
            info.ConnectionIndex = 1;
            info.DeviceIsHub = 1;
            info.ConnectionStatus = 1;
            std::memcpy(call.output, &info, sizeof info);
            call.delivered = true;
            call.returned = 35;
        } else if (call.code == devio::kIoctlUsbGetNodeConnectionName) {
            PutWideName(call, "USB#HUB2#{f18a0e88}");
        }
    };
    auto device = Dev(wrapped);
    ASSERT_EQ(corelink::ScanUSBPort(device, state, list.get()), 1);
    EXPECT_TRUE(list.GuardIntact());
    const DeviceListEntry deep = list[0];
    EXPECT_EQ(deep.connected, 1);
    EXPECT_EQ(deep.hubDepth, 5);
    const std::array<std::uint8_t, 10> chain{0x10, 0x14, 0x20, 0x14, 0x30, 0x14, 0x40, 0x14, 0x50, 0x24};
    EXPECT_EQ(Chain(deep), chain);
    EXPECT_EQ(list[1].connected, 0);
    EXPECT_EQ(tracer.Count("\\\\.\\USB#HUB2#{f18a0e88}"), 1) << "the looping hub was not walked";
    EXPECT_EQ(state.walkDepth, 1);
    EXPECT_EQ(state.currentHub, 0);
}

class MalformedRepliesTest : public UsbWalkTest {
protected:
    int ScanWith(std::function<void(Call&)> tamper) {
        WrappedStack wrapped(*stack);
        wrapped.tamper = std::move(tamper);
        auto device = Dev(wrapped);
        const int result = corelink::ScanUSBPort(device, state, list.get());
        EXPECT_TRUE(list.GuardIntact());
        return result;
    }
    static bool IsDescriptor(const Call& call, std::uint8_t type, std::uint8_t index) {
        return call.code == devio::kIoctlUsbGetDescriptorFromNodeConnection && call.delivered &&
               call.output[7] == type && call.output[6] == index;
    }
};

TEST_F(MalformedRepliesTest, StringDescriptorsThatDisagreeWithTheirLengthAreIgnored) {
    EXPECT_EQ(ScanWith([](Call& call) {
                  if (IsDescriptor(call, devio::kDescriptorString, 2)) call.output[12] = 7;  // odd bLength
                  if (IsDescriptor(call, devio::kDescriptorString, 1)) call.output[13] = 4;  // wrong type
              }),
              1);
    EXPECT_EQ(list[0].connected, 1);
    EXPECT_EQ(Text(list[0].product), "");
    EXPECT_EQ(Text(list[0].manufacturer), "");
    EXPECT_EQ(Text(list[0].serialNumber), "0000A1");
}

TEST_F(MalformedRepliesTest, AnUnreadableLanguageListEndsThePortWalk) {
    EXPECT_EQ(ScanWith([](Call& call) {
                  if (IsDescriptor(call, devio::kDescriptorString, 0)) call.returned = 1;
              }),
              1);
    EXPECT_TRUE(list.AllZero()) << "the walk of the root hub ended at port 1, before the hub on port 3";
}

TEST_F(MalformedRepliesTest, ConfigurationLengthsThatDoNotAgreeEndThePortWalk) {
    EXPECT_EQ(ScanWith([](Call& call) {
                  if (!IsDescriptor(call, devio::kDescriptorConfiguration, 0) || call.outputSize == 21) return;
                  call.output[14] = 0xFF;  // wTotalLength no longer matches the reply
              }),
              1);
    EXPECT_TRUE(list.AllZero());
    EXPECT_TRUE(tracer.Has("CK1"));
}

TEST_F(MalformedRepliesTest, OversizedNamesAndCountsStayInsideTheRecords) {
    const std::string longKey(600, 'k');
    EXPECT_EQ(ScanWith([&](Call& call) {
                  if (call.code == devio::kIoctlUsbGetNodeConnectionDriverKeyName && call.port == 1) {
                      if (call.outputSize <= 10) {
                          const std::uint32_t huge = 0xFFFFFFF0u;
                          std::memcpy(call.output + 4, &huge, 4);
                      } else {
                          PutWideName(call, longKey);
                      }
                  }
                  // A claim of more bytes returned than the buffer holds.
                  if (IsDescriptor(call, devio::kDescriptorConfiguration, 0) && call.port == 2) {
                      call.returned = call.outputSize + 100;
                  }
              }),
              1);
    EXPECT_TRUE(tracer.Has("GetConfigDescriptor_OK"));
    // The backup's long driver key finds no registry entry and so no disk: only the archive is kept.
    EXPECT_EQ(list[0].connected, 1);
    EXPECT_EQ(Text(list[0].disk.devicePath), kArchiveInterface);
}

TEST_F(MalformedRepliesTest, AFailedConnectionRequestFailsTheScanButKeepsTheRecords) {
    EXPECT_EQ(ScanWith([](Call& call) {
                  if (call.code == devio::kIoctlUsbGetNodeConnectionInformationEx && call.port == 4) {
                      call.delivered = false;
                      call.lastError = devio::kErrorGenFailure;
                  }
              }),
              0);
    EXPECT_TRUE(tracer.Has("get port info fail"));
    EXPECT_EQ(list[0].connected, 1);
    EXPECT_EQ(list[1].connected, 1);
}

TEST_F(MalformedRepliesTest, HubNameReadsAreBoundedPerPortWalk) {
    EXPECT_EQ(ScanWith([](Call& call) {
                  if (call.code == devio::kIoctlUsbGetNodeConnectionName) call.delivered = false;
              }),
              1);
    EXPECT_EQ(list[0].connected, 1) << "the device on port 1 came before the hub";
    EXPECT_EQ(list[1].connected, 0);
}

}  // namespace
