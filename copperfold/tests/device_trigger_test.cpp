// The device messages' platform-free half: storing hostile copy-data records, finding the
// pressed device, comparing records and choosing the jobs on the device's letters.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "copperfold/core/device_trigger.h"

namespace {

using common::DeviceTable;
using common::DeviceTableEntry;
using copperfold::ReceivedDeviceData;

DeviceTableEntry Entry(std::uint8_t listIndex, const char* letters, const char* path = "\\\\?\\usbstor#disk") {
    DeviceTableEntry entry{};
    entry.listIndex = listIndex;
    entry.modelCode = 1;
    std::strncpy(entry.devicePath, path, sizeof entry.devicePath);
    entry.driveLetterCount = static_cast<std::uint8_t>(std::strlen(letters));
    std::memcpy(entry.driveLetters, letters, std::strlen(letters));
    return entry;
}

std::vector<JobRecord> Jobs(const std::vector<std::wstring>& targets) {
    std::vector<JobRecord> jobs;
    for (const auto& target : targets) {
        jobs.push_back(JobRecord{L"C:\\src" + std::to_wstring(jobs.size()), target, JobType::Backup, {}});
    }
    return jobs;
}

std::vector<std::wstring> Targets(const copperfold::JobBatch& batch) {
    std::vector<std::wstring> targets;
    for (int i = 0; i < batch.count; ++i) targets.push_back(batch.entries[i].target);
    return targets;
}

TEST(CopyDataRecord, KeepsAtMostOneTableAndZeroesWhatAShortRecordLacks) {
    ReceivedDeviceData received;
    std::vector<std::uint8_t> longer(copperfold::kDeviceTableBytes + 100, 0xAB);
    copperfold::StoreCopyData(received, 7, longer.data(), longer.size());
    EXPECT_TRUE(received.present);
    EXPECT_EQ(received.data, 7u);
    EXPECT_EQ(received.table.entries[31].reserved3[519], 0xAB);

    const std::uint8_t shortRecord[5] = {2, 0, 0, 0, 9};
    copperfold::StoreCopyData(received, 1, shortRecord, sizeof shortRecord);
    EXPECT_EQ(received.table.count, 2);
    EXPECT_EQ(received.table.entries[0].listIndex, 9);
    EXPECT_EQ(received.table.entries[0].modelCode, 0) << "nothing of the earlier record is left";
    EXPECT_EQ(received.table.entries[31].reserved3[519], 0);

    copperfold::StoreCopyData(received, 3, nullptr, copperfold::kDeviceTableBytes);
    EXPECT_TRUE(received.present);
    EXPECT_EQ(received.table.count, 0);
}

TEST(CopyDataRecord, ButtonIndexFindsTheListedDeviceAndRejectsWhatLiesOutside) {
    ReceivedDeviceData received;
    EXPECT_FALSE(copperfold::ButtonRecordIndex(received)) << "no copy-data record yet";

    DeviceTable table{};
    table.count = 2;
    table.entries[0] = Entry(3, "E");
    table.entries[1] = Entry(5, "F");
    copperfold::StoreCopyData(received, 5, &table, sizeof table);
    EXPECT_EQ(copperfold::ButtonRecordIndex(received), 1u) << "found by list index, not position";

    copperfold::StoreCopyData(received, 0x100 + 20, &table, sizeof table);
    EXPECT_EQ(copperfold::ButtonRecordIndex(received), 20u) << "low byte; unlisted index falls back to the position";
    copperfold::StoreCopyData(received, 32, &table, sizeof table);
    EXPECT_FALSE(copperfold::ButtonRecordIndex(received));
    table.count = 200;  // a count beyond the table is not followed past its 32 records
    copperfold::StoreCopyData(received, 31, &table, sizeof table);
    EXPECT_EQ(copperfold::ButtonRecordIndex(received), 31u);
}

TEST(DeviceRecord, PathsAndLettersStayInsideTheirFields) {
    DeviceTableEntry entry{};
    std::memset(entry.devicePath, 'p', sizeof entry.devicePath);
    entry.driveLetterCount = 200;
    std::memset(entry.driveLetters, 'Q', sizeof entry.driveLetters);
    EXPECT_EQ(copperfold::DevicePath(entry), std::string(255, 'p'));
    EXPECT_EQ(copperfold::DriveLetters(entry), std::string(26, 'Q'));
}

// The paths a record from another program may name; only a device's interface is ever opened.
TEST(DeviceRecord, OnlyADevicesInterfacePathIsOneToOpen) {
    for (const char* path : {"\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
                             "\\\\.\\scsi#disk&ven_tovi#1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}) {
        EXPECT_TRUE(copperfold::IsDeviceInterfacePath(path)) << path;
    }
    for (const char* path : {"", "\\\\?\\", "\\\\.\\pipe\\probe#1", "\\\\?\\pipe\\probe", "\\\\server\\share\\x#1",
                             "\\\\?\\UNC\\server\\share#1", "\\\\.\\C:", "\\\\?\\C:\\x#1", "C:\\x#1", "\\\\.\\PhysicalDrive0",
                             "\\\\?\\GLOBALROOT\\Device\\x#1", "\\\\?\\a#b/c", "//?/usbstor#disk"}) {
        EXPECT_FALSE(copperfold::IsDeviceInterfacePath(path)) << path;
    }
}

TEST(DeviceRecord, ChangesOnModelLetterCountOrPathOnly) {
    DeviceTable current{};
    current.entries[0] = Entry(0, "E", "path-a");
    DeviceTable received = current;
    received.entries[0].productId = 0x1234;
    received.entries[0].driveLetters[0] = 'G';  // letters themselves are not compared
    EXPECT_FALSE(copperfold::DeviceRecordChanged(received, current, 0));
    received.entries[0].modelCode = 2;
    EXPECT_TRUE(copperfold::DeviceRecordChanged(received, current, 0));
    received = current;
    received.entries[0].driveLetterCount = 2;
    EXPECT_TRUE(copperfold::DeviceRecordChanged(received, current, 0));
    received = current;
    std::strcpy(received.entries[0].devicePath, "path-b");
    EXPECT_TRUE(copperfold::DeviceRecordChanged(received, current, 0));
    received = current;
    received.entries[0].devicePath[100] = 'x';  // after the NUL
    EXPECT_FALSE(copperfold::DeviceRecordChanged(received, current, 0));
    EXPECT_FALSE(copperfold::DeviceRecordChanged(received, current, 32));
}

TEST(DeviceBatch, TakesTheJobsOnTheDevicesLettersInTableOrder) {
    const auto jobs = Jobs({L"E:\\one", L"F:\\two", L"G:\\other", L"E:\\three", L"e:\\lower", L"", L"\u0145:\\wide"});
    copperfold::JobBatch batch;
    copperfold::BuildDeviceBatch(jobs.data(), jobs.size(), Entry(0, "EF"), batch);
    EXPECT_EQ(Targets(batch), (std::vector<std::wstring>{L"E:\\one", L"F:\\two", L"E:\\three"}));
    EXPECT_EQ(batch.entries[0].source, L"C:\\src0");

    copperfold::BuildDeviceBatch(jobs.data(), jobs.size(), Entry(0, "EE"), batch);
    EXPECT_EQ(Targets(batch), (std::vector<std::wstring>{L"E:\\one", L"E:\\three"})) << "a repeated letter runs a job once";

    copperfold::BuildDeviceBatch(jobs.data(), jobs.size(), Entry(0, "Z"), batch);
    EXPECT_EQ(batch.count, 0);
    DeviceTableEntry empty{};
    empty.driveLetterCount = 5;  // letters all zero: no empty target matches them
    copperfold::BuildDeviceBatch(jobs.data(), jobs.size(), empty, batch);
    EXPECT_EQ(batch.count, 0);
}

TEST(DeviceBatch, AFullJobTableFitsOneBatch) {
    const auto jobs = Jobs(std::vector<std::wstring>(255, L"E:\\x"));
    auto batch = std::make_unique<copperfold::JobBatch>();
    copperfold::BuildDeviceBatch(jobs.data(), jobs.size(), Entry(0, "E"), *batch);
    EXPECT_EQ(batch->count, 255);
}

}  // namespace
