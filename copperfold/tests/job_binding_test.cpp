#include "copperfold/core/job_binding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/tests/fake_ini_file_access.h"

namespace {

using copperfold::MountedVolume;
using copperfold::TargetPlace;

constexpr char kEnclosurePath[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr char kOtherEnclosurePath[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0002&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

JobRecord Job(std::wstring target, std::optional<TargetBinding> binding = std::nullopt) {
    JobRecord job;
    job.source = L"C:\\Data";
    job.target = std::move(target);
    job.type = JobType::Backup;
    job.binding = std::move(binding);
    return job;
}

common::DeviceTableEntry Enclosure(const char* path, const char* letters) {
    common::DeviceTableEntry entry{};
    std::strcpy(entry.devicePath, path);
    entry.driveLetterCount = static_cast<std::uint8_t>(std::strlen(letters));
    std::memcpy(entry.driveLetters, letters, entry.driveLetterCount);
    return entry;
}

TEST(JobBinding, SerialsAreStoredAsHexAndReadBackStrictly) {
    EXPECT_EQ(copperfold::VolumeSerialText(0x1A2B3C4D), L"0x1A2B3C4D");
    EXPECT_EQ(copperfold::VolumeSerialText(0), L"0x00000000");
    EXPECT_EQ(copperfold::ParseVolumeSerial(L"0x1A2B3C4D"), 0x1A2B3C4Du);
    EXPECT_EQ(copperfold::ParseVolumeSerial(L"0Xffffffff"), 0xFFFFFFFFu);
    for (const wchar_t* bad : {L"", L"0x", L"1A2B", L"0x1G", L"0x123456789", L" 0x12", L"0x12 "}) {
        EXPECT_FALSE(copperfold::ParseVolumeSerial(bad)) << testing::PrintToString(std::wstring(bad));
    }
    EXPECT_EQ(copperfold::EnclosureSerialFromPath(kEnclosurePath), L"0001");
    EXPECT_EQ(copperfold::EnclosureSerialFromPath("\\\\?\\scsi#disk&ven_x#1#{guid}"), L"1");
    EXPECT_EQ(copperfold::EnclosureSerialFromPath("no parts here"), L"");
    EXPECT_EQ(copperfold::EnclosureSerialFromPath("a#b#se\x01rial#c"), L"") << "control characters are no serial";
}

TEST(JobBinding, OnlyTargetsOnRemovableOrEnclosureDrivesAreBound) {
    const std::vector<MountedVolume> volumes = {
        {L'C', 0x11110000, false, L""}, {L'E', 0xE0E0E0E0, true, L"0001"}, {L'F', 0xF0F0F0F0, true, L""}};
    EXPECT_FALSE(copperfold::BindingFor(L"C:\\Backup", volumes)) << "a fixed drive";
    EXPECT_FALSE(copperfold::BindingFor(L"\\\\server\\share\\Backup", volumes)) << "a network path";
    EXPECT_FALSE(copperfold::BindingFor(L"G:\\Backup", volumes)) << "no drive there";
    EXPECT_EQ(copperfold::BindingFor(L"E:\\Backup", volumes), (TargetBinding{0xE0E0E0E0, L"0001"}));
    EXPECT_FALSE(copperfold::BindingFor(L"e:\\Backup", volumes)) << "hand-written in lower case: by letter, as before";
    EXPECT_EQ(copperfold::BindingFor(L"F:\\", volumes), (TargetBinding{0xF0F0F0F0, L""}));
}

TEST(JobBinding, ABoundJobFollowsItsDriveAndIsRefusedWithoutIt) {
    const TargetBinding enclosureDrive{0xE0E0E0E0, L"0001"};
    // Yesterday E:, today a stick took E: and the enclosure's drive is G:.
    const std::vector<MountedVolume> moved = {{L'E', 0x5717C4, true, L""}, {L'G', 0xE0E0E0E0, true, L"0001"}};
    EXPECT_EQ(copperfold::ResolveTarget(Job(L"E:\\Backup", enclosureDrive), moved).place, TargetPlace::Moved);
    EXPECT_EQ(copperfold::ResolveTarget(Job(L"E:\\Backup", enclosureDrive), moved).letter, L'G');
    EXPECT_EQ(copperfold::ResolveTarget(Job(L"G:\\Backup", enclosureDrive), moved).place, TargetPlace::Same);
    EXPECT_EQ(copperfold::ResolveTarget(Job(L"E:\\Backup"), moved).place, TargetPlace::Unbound);
    const std::vector<MountedVolume> unplugged = {{L'E', 0x5717C4, true, L""}};
    EXPECT_EQ(copperfold::ResolveTarget(Job(L"E:\\Backup", enclosureDrive), unplugged).place, TargetPlace::Missing);
    EXPECT_EQ(copperfold::ResolveTarget(Job(L"E:\\Backup", enclosureDrive), {}).place, TargetPlace::Missing);

    copperfold::JobBatch batch;
    batch.entries[0] = Job(L"E:\\Backup", enclosureDrive);
    batch.entries[1] = Job(L"E:\\Backup\\Photos", TargetBinding{0x12345678, L""});
    batch.entries[2] = Job(L"E:\\Plain");
    JobRecord restore = Job(L"E:\\Backup", enclosureDrive);
    restore.type = JobType::Restore;
    batch.entries[3] = restore;
    batch.count = 4;
    copperfold::ResolveBatchTargets(batch, moved);
    EXPECT_EQ(batch.entries[0].target, L"G:\\Backup");
    EXPECT_EQ(batch.entries[0].movedFrom, L"E:\\Backup");
    EXPECT_TRUE(batch.entries[0].runRefusal.empty());
    EXPECT_EQ(copperfold::MovedTargetText(batch.entries[0]), L"E:\\Backup \u2192 G:\\Backup (the drive moved)");
    EXPECT_EQ(batch.entries[1].runRefusal, copperfold::kDriveMissingText) << "a stick's job whose stick is gone";
    EXPECT_EQ(batch.entries[1].target, L"E:\\Backup\\Photos");
    EXPECT_TRUE(batch.entries[2].runRefusal.empty()) << "unbound: by its letter, as before";
    EXPECT_EQ(batch.entries[2].target, L"E:\\Plain");
    EXPECT_EQ(batch.entries[3].target, L"G:\\Backup") << "a Restore reads from its own drive, not the stick";
    EXPECT_EQ(copperfold::JobRefusalReason(batch.entries[1]), copperfold::kDriveMissingText);
}

TEST(JobBinding, TheButtonRunsTheJobsBoundToItsEnclosureWhereverTheirLetterWent) {
    const std::vector<MountedVolume> volumes = {
        {L'E', 0xAAAA0002, true, L"0002"}, {L'F', 0xAAAA0001, true, L"0001"}, {L'H', 0x5717C4, true, L""}};
    std::vector<JobRecord> jobs = {
        Job(L"E:\\Mine", TargetBinding{0xAAAA0001, L"0001"}),     // bound here, letter moved to F:
        Job(L"F:\\Other", TargetBinding{0xAAAA0002, L"0002"}),    // the other enclosure's, letter here
        Job(L"F:\\Unbound"),                                     // by letter
        Job(L"E:\\UnboundElsewhere"),                            // by letter: not here
        Job(L"Q:\\Stick", TargetBinding{0xAAAA0001, L""}),        // bound by volume only, on F: now
    };
    copperfold::JobBatch batch;
    copperfold::BuildBoundDeviceBatch(jobs.data(), jobs.size(), Enclosure(kEnclosurePath, "F"), volumes, batch);
    ASSERT_EQ(batch.count, 3);
    EXPECT_EQ(batch.entries[0].target, L"E:\\Mine");
    EXPECT_EQ(batch.entries[1].target, L"F:\\Unbound");
    EXPECT_EQ(batch.entries[2].target, L"Q:\\Stick");
    copperfold::ResolveBatchTargets(batch, volumes);
    EXPECT_EQ(batch.entries[0].target, L"F:\\Mine");
    EXPECT_EQ(batch.entries[2].target, L"F:\\Stick");

    copperfold::BuildBoundDeviceBatch(jobs.data(), jobs.size(), Enclosure(kOtherEnclosurePath, "E"), volumes, batch);
    ASSERT_EQ(batch.count, 2);
    EXPECT_EQ(batch.entries[0].target, L"F:\\Other");
    EXPECT_EQ(batch.entries[1].target, L"E:\\UnboundElsewhere");
}

class BindingStoreTest : public ::testing::Test, protected testing_support::FakeIniFile {};

TEST_F(BindingStoreTest, BindingsAreExtraKeysThatStayWithTheirJobs) {
    // A job file of the plain format loads unbound.
    Put("[PC-alice]\r\nTASK=0x0002\r\nSRC0001=C:\\A\r\nDST0001=E:\\A\r\nType0001=Backup\r\n"
        "SRC0002=C:\\B\r\nDST0002=E:\\B\r\nType0002=Sync\r\nDstVol0002=bogus\r\n");
    CCopperfoldDoc doc(&ini, L"PC-alice");
    ASSERT_EQ(doc.jobCount, 2);
    EXPECT_FALSE(doc.jobs[0].binding);
    EXPECT_FALSE(doc.jobs[1].binding) << "a damaged serial is no binding";

    const std::vector<MountedVolume> volumes = {{L'E', 0xE0E0E0E0, true, L"0001"}};
    EXPECT_TRUE(copperfold::BindUnboundJobs(doc, volumes));
    EXPECT_FALSE(copperfold::BindUnboundJobs(doc, volumes)) << "bound once";
    doc.SaveAllJobs();
    ASSERT_EQ(doc.AddJob(L"C:\\C", L"F:\\C", JobType::Backup, TargetBinding{0xF00D, L""}),
              CCopperfoldDoc::AddResult::Added);
    EXPECT_NE(Text().find(L"DstVol0001=0xE0E0E0E0\r\nDstDev0001=0001\r\n"), std::wstring::npos) << Text();
    EXPECT_NE(Text().find(L"DstVol0003=0x0000F00D\r\n"), std::wstring::npos) << Text();
    EXPECT_EQ(Text().find(L"DstDev0003"), std::wstring::npos);

    // The first job removed: the others keep their own bindings under their new numbers.
    for (int j = 0; j + 1 < doc.jobCount; ++j) doc.jobs[static_cast<size_t>(j)] = doc.jobs[static_cast<size_t>(j) + 1];
    doc.jobs[static_cast<size_t>(--doc.jobCount)] = JobRecord{};
    doc.SaveAllJobs();
    CCopperfoldDoc reread(&ini, L"PC-alice");
    ASSERT_EQ(reread.jobCount, 2);
    EXPECT_EQ(reread.jobs[0].source, L"C:\\B");
    EXPECT_EQ(reread.jobs[0].binding, (TargetBinding{0xE0E0E0E0, L"0001"}));
    EXPECT_EQ(reread.jobs[1].binding, (TargetBinding{0xF00D, L""}));
    EXPECT_EQ(Text().find(L"0003"), std::wstring::npos) << "no key of a third job is left";
}

}  // namespace
