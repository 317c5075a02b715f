#include "copperfold/core/copperfold_doc.h"

#include <gtest/gtest.h>

#include "common/tests/fake_ini_file_access.h"
#include "copperfold/core/copy_engine.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/core/ini_file.h"

using common::FileBytes;

namespace {

class CopperfoldDocTest : public ::testing::Test, protected testing_support::FakeIniFile {
protected:
    std::unique_ptr<CCopperfoldDoc> Open(const std::wstring& section) {
        return std::make_unique<CCopperfoldDoc>(&ini, section);
    }

    const std::wstring alice = MakeJobSection(L"PC", L"alice");
    const std::wstring bob = MakeJobSection(L"PC", L"bob");
};

}  // namespace

TEST_F(CopperfoldDocTest, AddJobWritesNumberedKeysThatLoadBack) {
    auto doc = Open(alice);
    EXPECT_EQ(doc->jobCount, 0);
    EXPECT_EQ(doc->AddJob(L"C:\\Docs", L"E:\\Docs", JobType::Backup), CCopperfoldDoc::AddResult::Added);
    EXPECT_EQ(doc->AddJob(L"C:\\Mail", L"F:\\Mail", JobType::Sync), CCopperfoldDoc::AddResult::Added);
    EXPECT_EQ(doc->AddJob(L"C:\\Pics", L"E:\\Pics", JobType::Restore), CCopperfoldDoc::AddResult::Added);
    EXPECT_EQ(access->replacements, 3);
    EXPECT_EQ(Text(),
              L"[PC-alice]\r\nTASK=0x0003\r\n"
              L"SRC0001=C:\\Docs\r\nDST0001=E:\\Docs\r\nType0001=Backup\r\n"
              L"SRC0002=C:\\Mail\r\nDST0002=F:\\Mail\r\nType0002=Sync\r\n"
              L"SRC0003=C:\\Pics\r\nDST0003=E:\\Pics\r\nType0003=Restore\r\n");

    const auto loaded = Open(alice);
    ASSERT_EQ(loaded->jobCount, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded->jobs[i].source, doc->jobs[i].source);
        EXPECT_EQ(loaded->jobs[i].target, doc->jobs[i].target);
        EXPECT_EQ(loaded->jobs[i].type, doc->jobs[i].type);
    }
}

TEST_F(CopperfoldDocTest, TaskIsHexAndOnlyItsLowEightBitsCount) {
    const std::pair<std::wstring, int> cases[] = {
        {L"0x000A", 10}, {L"0x000a", 10}, {L"10", 0}, {L"0x0100", 0}, {L"0x0101", 1},
    };
    for (const auto& [task, count] : cases) {
        PutUtf16(L"[PC-alice]\r\nTASK=" + task + L"\r\nSRC0001=C:\\a\r\nDST0001=E:\\a\r\nTYPE0001=Sync\r\n");
        const auto doc = Open(alice);
        EXPECT_EQ(doc->jobCount, count) << task;
        if (count == 0) continue;
        EXPECT_EQ(doc->jobs[0].source, L"C:\\a");
        EXPECT_EQ(doc->jobs[0].type, JobType::Sync);
        EXPECT_EQ(doc->jobs[count - 1].source, count == 1 ? L"C:\\a" : L"");  // missing keys read empty
    }
}

TEST_F(CopperfoldDocTest, SaveAllJobsWithNoJobsLeavesOnlyTheCount) {
    PutUtf16(L"[PC-alice]\r\nTASK=0x0001\r\nSRC0001=C:\\a\r\nDST0001=E:\\a\r\nType0001=Sync\r\nstray=1\r\n");
    auto doc = Open(alice);
    doc->jobCount = 0;
    doc->SaveAllJobs();
    EXPECT_EQ(Text(), L"[PC-alice]\r\nTASK=0x0000\r\n");
    EXPECT_EQ(Open(alice)->jobCount, 0);
}

TEST_F(CopperfoldDocTest, SaveAllJobsTouchesOnlyTheUsersSection) {
    const std::wstring before = L"; settings\r\n[Setting]\r\nLANG=ENG\r\n";
    const std::wstring after =
        L"[ENG]\r\nAdd Job=Add Job\r\n"
        L"[PC-bob]\r\nTASK=0x0001\r\nSRC0001=C:\\Bob\r\nDST0001=E:\\Bob\r\nType0001=Backup\r\n";
    PutUtf16(before + L"[PC-alice]\r\nTASK=0x0002\r\nSRC0001=C:\\1\r\nDST0001=E:\\1\r\nType0001=Sync\r\n"
            L"SRC0002=C:\\2\r\nDST0002=E:\\2\r\nType0002=Sync\r\n" + after);
    auto doc = Open(alice);
    ASSERT_EQ(doc->jobCount, 2);
    doc->jobs[0] = doc->jobs[1];
    doc->jobCount = 1;
    doc->SaveAllJobs();
    EXPECT_EQ(access->replacements, 1);
    EXPECT_EQ(Text(), before + after + L"[PC-alice]\r\nTASK=0x0001\r\nSRC0001=C:\\2\r\nDST0001=E:\\2\r\nType0001=Sync\r\n");
}

TEST_F(CopperfoldDocTest, TwoUsersOnOneComputerKeepSeparateNumberedSections) {
    EXPECT_EQ(alice, L"PC-alice");
    EXPECT_EQ(MakeJobSection(std::wstring(300, L'c'), std::wstring(300, L'u')),
              std::wstring(256, L'c') + L"-" + std::wstring(256, L'u'));

    auto aliceDoc = Open(alice);
    auto bobDoc = Open(bob);
    aliceDoc->AddJob(L"C:\\A1", L"E:\\A1", JobType::Backup);
    bobDoc->AddJob(L"C:\\B1", L"F:\\B1", JobType::Restore);
    aliceDoc->AddJob(L"C:\\A2", L"E:\\A2", JobType::Sync);

    EXPECT_EQ(ini.GetString(bob, L"TASK", L""), L"0x0001");
    EXPECT_EQ(ini.GetString(bob, L"SRC0001", L""), L"C:\\B1");
    EXPECT_EQ(ini.GetString(alice, L"TASK", L""), L"0x0002");
    EXPECT_EQ(ini.GetString(alice, L"SRC0002", L""), L"C:\\A2");

    const auto aliceAgain = Open(alice);
    const auto bobAgain = Open(bob);
    ASSERT_EQ(aliceAgain->jobCount, 2);
    ASSERT_EQ(bobAgain->jobCount, 1);
    EXPECT_EQ(aliceAgain->jobs[0].source, L"C:\\A1");
    EXPECT_EQ(bobAgain->jobs[0].target, L"F:\\B1");
    EXPECT_EQ(bobAgain->jobs[0].type, JobType::Restore);
}

TEST_F(CopperfoldDocTest, FullTableRefusesAddAndWritesNothing) {
    PutUtf16(L"[PC-alice]\r\nTASK=0x00FF\r\n");
    const std::string before = access->files.at(kPath);
    auto doc = Open(alice);
    ASSERT_EQ(doc->jobCount, 255);
    EXPECT_EQ(doc->AddJob(L"C:\\x", L"E:\\x", JobType::Backup), CCopperfoldDoc::AddResult::TableFull);
    EXPECT_EQ(doc->jobCount, 255);
    EXPECT_EQ(access->replacements, 0);
    EXPECT_EQ(access->files.at(kPath), before);
}

TEST_F(CopperfoldDocTest, UnknownTypeNameIsKeptAndTheJobIsNotRunnable) {
    PutUtf16(L"[PC-alice]\r\nTASK=0x0003\r\nSRC0001=C:\\m\r\nDST0001=E:\\m\r\nType0001=Mirror\r\n"
            L"SRC0002=C:\\b\r\nDST0002=E:\\b\r\nType0002=backup\r\n"
            L"SRC0003=C:\\s\r\nDST0003=E:\\s\r\nType0003=Sync\r\n");
    auto doc = Open(alice);
    ASSERT_EQ(doc->jobCount, 3);
    EXPECT_EQ(doc->jobs[0].type, JobType::Unknown);
    EXPECT_EQ(doc->jobs[1].type, JobType::Unknown);  // type names are matched exactly
    EXPECT_EQ(doc->jobs[2].type, JobType::Sync);
    EXPECT_FALSE(copperfold::JobRefusalReason(doc->jobs[0]).empty());
    EXPECT_TRUE(copperfold::JobRefusalReason(doc->jobs[2]).empty());

    doc->SaveAllJobs();
    EXPECT_EQ(ini.GetString(alice, L"Type0001", L""), L"Mirror");
    EXPECT_EQ(ini.GetString(alice, L"Type0002", L""), L"backup");
    EXPECT_EQ(ini.GetString(alice, L"Type0003", L""), L"Sync");
}

TEST_F(CopperfoldDocTest, DeviceTableIsZeroAtConstruction) {
    // Construct over dirty memory so that a missed initialisation shows.
    void* storage = ::operator new(sizeof(CCopperfoldDoc));
    std::memset(storage, 0xAB, sizeof(CCopperfoldDoc));
    auto* doc = new (storage) CCopperfoldDoc(&ini, alice);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&doc->deviceTable);
    EXPECT_TRUE(std::all_of(bytes, bytes + sizeof(common::DeviceTable), [](unsigned char b) { return b == 0; }));
    doc->~CCopperfoldDoc();
    ::operator delete(storage);
}

TEST_F(CopperfoldDocTest, SavingAFullTableIsOneReplacement) {
    auto doc = Open(alice);
    for (int i = 0; i < kMaxJobs; ++i) {
        doc->jobs[i] = {L"C:\\src\\" + std::to_wstring(i), L"E:\\dst\\" + std::to_wstring(i),
                        static_cast<JobType>(i % 3), {}};
    }
    doc->jobCount = kMaxJobs;
    doc->SaveAllJobs();
    EXPECT_EQ(access->replacements, 1);

    const auto loaded = Open(alice);
    ASSERT_EQ(loaded->jobCount, kMaxJobs);
    EXPECT_EQ(loaded->jobs[254].source, L"C:\\src\\254");
    EXPECT_EQ(loaded->jobs[254].target, L"E:\\dst\\254");
    EXPECT_EQ(loaded->jobs[254].type, JobType::Restore);
    std::vector<std::wstring> keys;
    ini.GetKeys(alice, keys);
    EXPECT_EQ(keys.size(), 1u + 3u * kMaxJobs);
    EXPECT_EQ(keys.back(), L"Type0255");
}

TEST_F(CopperfoldDocTest, FailedWriteThrowsAndKeepsThePreviousFile) {
    PutUtf16(L"[PC-alice]\r\nTASK=0x0001\r\nSRC0001=C:\\a\r\nDST0001=E:\\a\r\nType0001=Sync\r\n");
    const std::string before = access->files.at(kPath);
    auto doc = Open(alice);
    access->failReplace = true;
    try {
        doc->AddJob(L"C:\\b", L"E:\\b", JobType::Backup);
        ADD_FAILURE() << "the failed write was taken for a success";
    } catch (const CIniFileException& error) {
        EXPECT_EQ(error.Path(), kPath);
        EXPECT_EQ(error.Reason(), L"the disk is full");
    }
    EXPECT_EQ(doc->jobCount, 1) << "the table shows what the file holds, not the job that was not saved";
    EXPECT_THROW(doc->SaveAllJobs(), CIniFileException);
    EXPECT_EQ(access->files.at(kPath), before);
    access->failReplace = false;
    EXPECT_EQ(Open(alice)->jobCount, 1);
}

// Two processes on one job file: the window's table was read long before /run recorded a
// drive's binding, and /run's before the window added and removed jobs. Each change is made to
// the jobs as the file holds them when it is written, so none undoes the other's, and hand-made
// lines of the section survive an addition.
TEST_F(CopperfoldDocTest, EachChangeIsMadeToTheJobsAsTheFileHoldsThemThen) {
    PutUtf16(L"[PC-alice]\r\n; kept by hand\r\nTASK=0x0002\r\nSRC0001=C:\\a\r\nDST0001=E:\\a\r\nType0001=Backup\r\n"
             L"SRC0002=C:\\b\r\nDST0002=E:\\b\r\nType0002=Sync\r\n");
    auto window = Open(alice);
    CIniFile otherFile(kPath, access);
    CCopperfoldDoc run(&otherFile, alice);

    EXPECT_EQ(window->AddJob(L"C:\\c", L"F:\\c", JobType::Restore), CCopperfoldDoc::AddResult::Added);
    EXPECT_NE(Text().find(L"; kept by hand\r\n"), std::wstring::npos);
    // /run still holds two jobs in memory; it binds job 2.
    run.ModifyJobs([](CCopperfoldDoc& fresh) {
        EXPECT_EQ(fresh.jobCount, 3) << "the change sees the window's job";
        fresh.jobs[1].binding = TargetBinding{0x1A2B3C4D, L"0001"};
        fresh.WriteJob(2);
        return true;
    });
    EXPECT_EQ(run.jobCount, 3);
    // The window never saw the binding; it removes job 1.
    ASSERT_TRUE(window->RemoveJobs({{L"C:\\a", L"E:\\a"}}));
    EXPECT_FALSE(window->RemoveJobs({{L"C:\\a", L"E:\\a"}})) << "gone already";

    const auto reread = Open(alice);
    ASSERT_EQ(reread->jobCount, 2);
    EXPECT_EQ(reread->jobs[0].source, L"C:\\b");
    ASSERT_TRUE(reread->jobs[0].binding.has_value()) << "the binding /run recorded is kept";
    EXPECT_EQ(reread->jobs[0].binding->volumeSerial, 0x1A2B3C4Du);
    EXPECT_EQ(reread->jobs[1].source, L"C:\\c");
    EXPECT_EQ(access->unlockedReplacements, 0);
}

// The two options of a job are new keys: a file without them reads and writes back as before;
// a job keeps its values through Remove and re-numbering (also one of a newer version's, kept as
// it was), a hand-edited decimal number reads as such, an option switched off loses its key.
TEST_F(CopperfoldDocTest, JobOptionsAreNewKeysThatStayWithTheirJob) {
    const std::wstring older = L"[PC-alice]\r\nTASK=0x0002\r\nSRC0001=C:\\a\r\nDST0001=E:\\a\r\nType0001=Backup\r\n"
                               L"SRC0002=C:\\b\r\nDST0002=E:\\b\r\nType0002=Sync\r\n";
    PutUtf16(older);
    auto doc = Open(alice);
    ASSERT_EQ(doc->jobCount, 2);
    EXPECT_EQ(doc->jobs[0].options, JobOptions{});
    EXPECT_FALSE(doc->jobs[0].SkipsSame());
    EXPECT_FALSE(doc->jobs[0].KeepsVersions());
    doc->SaveAllJobs();
    EXPECT_EQ(Text(), older) << "an older file is written back as it was";

    PutUtf16(L"[PC-alice]\r\nTASK=0x0004\r\n"
             L"SRC0001=C:\\a\r\nDST0001=E:\\a\r\nType0001=Backup\r\nSkipSame0001=0x0001\r\nKeepDays0001=0x001E\r\n"
             L"SRC0002=C:\\b\r\nDST0002=E:\\b\r\nType0002=Sync\r\nSkipSame0002=0x0001\r\n"
             L"SRC0003=C:\\c\r\nDST0003=E:\\c\r\nType0003=Restore\r\nSkipSame0003=0x0002\r\nKeepDays0003=45\r\n"
             L"SRC0004=C:\\d\r\nDST0004=E:\\d\r\nType0004=Backup\r\nKeepDays0004=0x100000001\r\n");
    doc = Open(alice);
    ASSERT_EQ(doc->jobCount, 4);
    EXPECT_EQ(doc->jobs[0].options, (JobOptions{1, 30}));
    EXPECT_TRUE(doc->jobs[0].SkipsSame());
    EXPECT_TRUE(doc->jobs[0].KeepsVersions());
    EXPECT_FALSE(doc->jobs[1].SkipsSame()) << "a Sync compares by its own rule";
    EXPECT_EQ(doc->jobs[2].options, (JobOptions{2, 45})) << "decimal as written by hand";
    EXPECT_FALSE(doc->jobs[2].SkipsSame()) << "a value of a newer version is not taken for on";
    EXPECT_EQ(doc->jobs[3].options.keepDays, 0xFFFFFFFFu) << "too large stays large, never wraps to 1 day";

    ASSERT_TRUE(doc->RemoveJobs({{L"C:\\b", L"E:\\b"}}));
    const auto reread = Open(alice);
    ASSERT_EQ(reread->jobCount, 3);
    EXPECT_EQ(reread->jobs[0].options, (JobOptions{1, 30}));
    EXPECT_EQ(reread->jobs[1].source, L"C:\\c");
    EXPECT_EQ(reread->jobs[1].options, (JobOptions{2, 45}));
    EXPECT_EQ(ini.GetString(alice, L"SkipSame0002", L""), L"0x0002") << "kept as it was, under the new number";
    EXPECT_EQ(ini.GetString(alice, L"KeepDays0002", L""), L"0x002D");
    EXPECT_EQ(ini.GetString(alice, L"SkipSame0003", L""), L"");

    ASSERT_TRUE(doc->SetJobOptions(L"C:\\a", L"E:\\a", JobOptions{}));
    EXPECT_FALSE(doc->SetJobOptions(L"C:\\b", L"E:\\b", JobOptions{1, 1})) << "removed already";
    EXPECT_EQ(ini.GetString(alice, L"SkipSame0001", L"absent"), L"absent");
    EXPECT_EQ(ini.GetString(alice, L"KeepDays0001", L"absent"), L"absent");

    JobRecord added(L"C:\\e", L"E:\\e", JobType::Backup);
    added.options = {1, 7};
    EXPECT_EQ(doc->AddJob(added), CCopperfoldDoc::AddResult::Added);
    EXPECT_EQ(ini.GetString(alice, L"SkipSame0004", L""), L"0x0001");
    EXPECT_EQ(ini.GetString(alice, L"KeepDays0004", L""), L"0x0007");
    EXPECT_EQ(Open(alice)->jobs[3].options, (JobOptions{1, 7}));

    // Several jobs at once, each from its own options, in one replacement of the file.
    const int replacements = access->replacements;
    EXPECT_EQ(doc->SetJobOptions({{L"C:\\c", L"E:\\c"}, {L"C:\\e", L"E:\\e"}, {L"C:\\x", L"E:\\x"}},
                                 [](const JobRecord& job) { return JobOptions{job.options.skipSame, 3}; }),
              2);
    EXPECT_EQ(access->replacements, replacements + 1);
    EXPECT_EQ(ini.GetString(alice, L"KeepDays0002", L""), L"0x0003");
    EXPECT_EQ(ini.GetString(alice, L"SkipSame0002", L""), L"0x0002");
    EXPECT_EQ(ini.GetString(alice, L"KeepDays0004", L""), L"0x0003");
    EXPECT_EQ(ini.GetString(alice, L"KeepDays0001", L"absent"), L"absent") << "a job not named";
}
