// The directory watcher on real folders: what it reports for changes in nested folders, how
// repeated changes collapse, a second folder, a slow receiver, a folder it cannot watch and a
// flood of changes that overflows the system's buffer.
#include "copperfold/win32/notify_dir_check.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/tests/win32/temp_folder.h"
#include "copperfold/tests/win32/watch_receiver.h"

namespace {

using namespace std::chrono_literals;
using copperfold::kActionAdded;
using copperfold::kActionChangesLost;
using copperfold::kActionModified;
using copperfold::kActionRemoved;
using copperfold::kActionRenamedNewName;
using copperfold::kActionRenamedOldName;
using testing_support::ReceivedChange;

void CreateEmptyFile(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << testing::PrintToString(path);
    ::CloseHandle(file);
}

class WatcherTest : public ::testing::Test {
protected:
    WatcherTest() {
        receiver.SetWatcher(&watcher);
        watcher.SetTarget(receiver.Window());
        watcher.SetLineSink([this](const std::wstring& line) {
            const std::lock_guard lock(linesMutex);
            lines.push_back(line);
        });
    }
    ~WatcherTest() override { watcher.Stop(); }

    std::wstring Folder(const std::wstring& name) {
        const std::wstring path = temp.File(name);
        ::CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }
    bool Receive(const ReceivedChange& change) {
        return receiver.PumpUntil([&] { return receiver.Received(change); });
    }
    std::vector<std::wstring> Lines() {
        const std::lock_guard lock(linesMutex);
        return lines;
    }
    // Leaves the watcher waiting for the receiver with no read of `folder` outstanding, so
    // that the changes made next queue up in the system and arrive as one batch on Release.
    void Park(const std::wstring& folder) {
        receiver.Hold();
        CreateEmptyFile(folder + L"\\park-1.tmp");
        ASSERT_TRUE(Receive({folder + L"\\park-1.tmp", kActionAdded}));
        CreateEmptyFile(folder + L"\\park-2.tmp");  // completes the read the watcher has out
        std::this_thread::sleep_for(300ms);
    }
    // The changes of one path in the order received, from `from` on.
    std::vector<std::uint32_t> ActionsOf(const std::wstring& path, std::size_t from = 0) const {
        std::vector<std::uint32_t> actions;
        for (std::size_t i = from; i < receiver.changes.size(); ++i) {
            if (receiver.changes[i].path == path) actions.push_back(receiver.changes[i].action);
        }
        return actions;
    }

    testing_support::TempFolder temp;
    testing_support::WatchReceiver receiver;
    CNotifyDirCheck watcher{receiver.WriteEvent()};
    std::mutex linesMutex;  // the sink is called on the watch thread
    std::vector<std::wstring> lines;
};

TEST_F(WatcherTest, CreateModifyRenameAndDeleteInNestedFolders) {
    const std::wstring root = Folder(L"watched");
    watcher.AddDirectory(root);
    ASSERT_TRUE(watcher.Start());
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\Letters").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\Letters\\2026").c_str(), nullptr));
    EXPECT_TRUE(Receive({root + L"\\Letters", kActionAdded}));
    EXPECT_TRUE(Receive({root + L"\\Letters\\2026", kActionAdded}));

    const std::wstring letter = root + L"\\Letters\\2026\\letter.txt";
    testing_support::WriteBytes(letter, "Dear reader,");
    EXPECT_TRUE(Receive({letter, kActionAdded}));
    receiver.PumpFor(200ms);
    const std::size_t beforeEdit = receiver.changes.size();
    testing_support::WriteBytes(letter, "Dear reader, again");
    // The first write's own modification may still arrive late on a busy machine (it is a
    // separate batch, so it is not collapsed): what follows the edit is modifications only.
    EXPECT_TRUE(receiver.PumpUntil([&] {
        const auto actions = ActionsOf(letter, beforeEdit);
        return !actions.empty() &&
               std::all_of(actions.begin(), actions.end(), [](std::uint32_t action) { return action == kActionModified; });
    }));

    const std::wstring renamed = root + L"\\Letters\\2026\\letter to Anna.txt";
    ASSERT_TRUE(::MoveFileW(letter.c_str(), renamed.c_str()));
    // The system reports a rename as old and new name, or (some file systems) as removed and added.
    EXPECT_TRUE(receiver.PumpUntil([&] {
        return (receiver.Received({letter, kActionRenamedOldName}) && receiver.Received({renamed, kActionRenamedNewName})) ||
               (receiver.Received({letter, kActionRemoved}) && receiver.Received({renamed, kActionAdded}));
    }));
    ASSERT_TRUE(::DeleteFileW(renamed.c_str()));
    EXPECT_TRUE(Receive({renamed, kActionRemoved}));
    EXPECT_EQ(receiver.wrongWParam, 0) << "wParam names the target window";
    EXPECT_TRUE(Lines().empty());
}

TEST_F(WatcherTest, ThreeSavesOfOneFileBeforeTheWatcherLooksAreOneChange) {
    const std::wstring root = Folder(L"saves");
    const std::wstring notes = root + L"\\notes.txt";
    testing_support::WriteBytes(notes, "first");
    watcher.AddDirectory(root);
    ASSERT_TRUE(watcher.Start());
    Park(root);
    const std::size_t mark = receiver.changes.size();
    for (const char* content : {"one", "two", "three"}) testing_support::WriteBytes(notes, content);
    receiver.Release();
    receiver.PumpFor(1500ms);
    EXPECT_EQ(ActionsOf(notes, mark), (std::vector<std::uint32_t>{kActionModified}));
}

TEST_F(WatcherTest, AnotherFileBetweenTheSavesKeepsAllOfThem) {
    const std::wstring root = Folder(L"interleaved");
    const std::wstring notes = root + L"\\notes.txt", other = root + L"\\other.txt";
    testing_support::WriteBytes(notes, "first");
    testing_support::WriteBytes(other, "first");
    watcher.AddDirectory(root);
    ASSERT_TRUE(watcher.Start());
    Park(root);
    const std::size_t mark = receiver.changes.size();
    testing_support::WriteBytes(notes, "one");
    testing_support::WriteBytes(other, "two");
    testing_support::WriteBytes(notes, "three");
    receiver.Release();
    receiver.PumpFor(1500ms);
    std::vector<std::wstring> order;
    for (std::size_t i = mark; i < receiver.changes.size(); ++i) {
        if (receiver.changes[i].path == notes || receiver.changes[i].path == other) order.push_back(receiver.changes[i].path);
    }
    EXPECT_EQ(order, (std::vector<std::wstring>{notes, other, notes}));
}

TEST_F(WatcherTest, DeletedAndCreatedAgainIsReportedAsBoth) {
    const std::wstring root = Folder(L"recreated");
    const std::wstring report = root + L"\\report.doc";
    CreateEmptyFile(report);
    watcher.AddDirectory(root);
    ASSERT_TRUE(watcher.Start());
    Park(root);
    const std::size_t mark = receiver.changes.size();
    ASSERT_TRUE(::DeleteFileW(report.c_str()));
    CreateEmptyFile(report);
    receiver.Release();
    receiver.PumpFor(1500ms);
    EXPECT_EQ(ActionsOf(report, mark), (std::vector<std::uint32_t>{kActionRemoved, kActionAdded}))
        << "the file exists again, and the receiver must be told so";
}

TEST_F(WatcherTest, AChangeInTheSecondOfTwoFolders) {
    const std::wstring first = Folder(L"first"), second = Folder(L"second");
    watcher.AddDirectory(first);
    watcher.AddDirectory(second);
    ASSERT_TRUE(watcher.Start());
    CreateEmptyFile(second + L"\\new.txt");
    EXPECT_TRUE(Receive({second + L"\\new.txt", kActionAdded}));
    receiver.PumpFor(200ms);
    for (const auto& change : receiver.changes) EXPECT_EQ(change.path.rfind(second, 0), 0u) << "nothing from the idle folder";
}

TEST_F(WatcherTest, StopsAtOnceWhileTheReceiverIsSlowAndDropsTheQueuedMessage) {
    const std::wstring root = Folder(L"slow");
    watcher.AddDirectory(root);
    ASSERT_TRUE(watcher.Start());
    receiver.Hold();
    CreateEmptyFile(root + L"\\a.txt");
    ASSERT_TRUE(Receive({root + L"\\a.txt", kActionAdded}));
    CreateEmptyFile(root + L"\\b.txt");  // waits behind the unanswered change
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "no wait for the receiver";
    EXPECT_FALSE(watcher.IsRunning());
    EXPECT_FALSE(watcher.HasThread());

    // Started again with the receiver not pumping: the posted change is still queued when the
    // watcher stops, and Stop removes it, since it points at the record a restart reuses.
    receiver.Release();
    ASSERT_TRUE(watcher.Start());
    CreateEmptyFile(root + L"\\c.txt");
    MSG queued;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!::PeekMessageW(&queued, receiver.Window(), CNotifyDirCheck::kChangeMessage, CNotifyDirCheck::kChangeMessage,
                           PM_NOREMOVE)) {
        ASSERT_LT(std::chrono::steady_clock::now(), end) << "the change was never posted";
        std::this_thread::sleep_for(10ms);
    }
    watcher.Stop();
    EXPECT_FALSE(::PeekMessageW(&queued, receiver.Window(), CNotifyDirCheck::kChangeMessage,
                                CNotifyDirCheck::kChangeMessage, PM_NOREMOVE));
}

TEST_F(WatcherTest, AFolderThatCannotBeWatchedLeavesTheOthersWorking) {
    const std::wstring missing = temp.File(L"no such folder");
    const std::wstring good = Folder(L"good");
    watcher.AddDirectory(missing);
    watcher.AddDirectory(good);
    ASSERT_TRUE(watcher.Start());
    CreateEmptyFile(good + L"\\seen.txt");
    EXPECT_TRUE(Receive({good + L"\\seen.txt", kActionAdded}));
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"Fail to watch directory: " + missing}));
}

TEST_F(WatcherTest, FolderListAndStartRule) {
    EXPECT_FALSE(watcher.Start()) << "an empty list";
    watcher.AddDirectory(L"");
    watcher.AddDirectory(Folder(L"later"));
    EXPECT_FALSE(watcher.Start()) << "a list whose first entry is empty";
    EXPECT_FALSE(watcher.HasThread());

    CNotifyDirCheck list(receiver.WriteEvent());
    std::vector<std::wstring> said;
    list.SetLineSink([&said](const std::wstring& line) { said.push_back(line); });
    for (const wchar_t* path : {L"E:\\", L"F:\\", L"e:\\"}) {
        EXPECT_EQ(list.AddDirectory(path), CNotifyDirCheck::AddResult::Added);
    }
    // Seventy arrivals of a drive already watched add nothing.
    for (int n = 0; n < 70; ++n) EXPECT_EQ(list.AddDirectory(L"E:\\"), CNotifyDirCheck::AddResult::AlreadyWatched);
    EXPECT_EQ(list.Directories(), (std::vector<std::wstring>{L"E:\\", L"F:\\", L"e:\\"}));
    list.RemoveDirectory(L"E:\\");
    EXPECT_EQ(list.Directories(), (std::vector<std::wstring>{L"F:\\", L"e:\\"}));
    list.RemoveDirectory(L"G:\\");
    EXPECT_EQ(list.Directories().size(), 2u);

    // A full list takes no more and says so once, until a folder leaves it.
    for (int n = 0; list.Directories().size() < CNotifyDirCheck::kMaxWatchedFolders; ++n) {
        list.AddDirectory(L"C:\\folder " + std::to_wstring(n));
    }
    EXPECT_TRUE(said.empty());
    for (int n = 0; n < 5; ++n) EXPECT_EQ(list.AddDirectory(L"M:\\"), CNotifyDirCheck::AddResult::ListFull);
    EXPECT_EQ(said, (std::vector<std::wstring>{std::wstring(CNotifyDirCheck::kTableFullLine) + L"M:\\"}));
    list.RemoveDirectory(L"F:\\");
    EXPECT_EQ(list.AddDirectory(L"M:\\"), CNotifyDirCheck::AddResult::Added) << "the re-plugged drive is watched again";
    EXPECT_EQ(list.AddDirectory(L"N:\\"), CNotifyDirCheck::AddResult::ListFull);
    EXPECT_EQ(said.size(), 2u);
}

// Any program can post 0x0403 with any lParam, or set and reset the named write event.
TEST_F(WatcherTest, ForeignMessagesAndSignalsNeitherReachTheRecordNorLoseAChange) {
    const std::wstring root = Folder(L"hostile");
    watcher.AddDirectory(root);
    ASSERT_TRUE(watcher.Start());
    receiver.Hold();
    CreateEmptyFile(root + L"\\a.txt");
    ASSERT_TRUE(Receive({root + L"\\a.txt", kActionAdded}));
    ASSERT_TRUE(receiver.HeldCookie());
    const LPARAM inFlight = *receiver.HeldCookie();

    // Forged numbers and an address: none is the record in flight.
    for (const LPARAM forged : {LPARAM{0}, LPARAM{0x1234}, inFlight + 1, inFlight - 1}) {
        ::PostMessageW(receiver.Window(), CNotifyDirCheck::kChangeMessage, 0, forged);
    }
    receiver.PumpFor(100ms);
    EXPECT_EQ(receiver.foreign, 4);

    // The event set by another program does not release the watcher: b.txt waits behind a.txt.
    CreateEmptyFile(root + L"\\b.txt");
    ::SetEvent(receiver.WriteEvent());
    receiver.PumpFor(700ms);
    EXPECT_FALSE(receiver.Received({root + L"\\b.txt", kActionAdded})) << "the record in flight was overwritten";
    const auto still = watcher.ChangeInFlight(inFlight);
    ASSERT_TRUE(still);
    EXPECT_EQ(still->path, root + L"\\a.txt");

    // Taken, and the event reset by another program at once: the watcher still goes on.
    receiver.Release();
    ::ResetEvent(receiver.WriteEvent());
    EXPECT_TRUE(Receive({root + L"\\b.txt", kActionAdded}));
    EXPECT_FALSE(watcher.ChangeInFlight(inFlight)) << "a taken record is not handed out again";
    ::PostMessageW(receiver.Window(), CNotifyDirCheck::kChangeMessage, 0, inFlight);
    receiver.PumpFor(100ms);
    EXPECT_EQ(receiver.CountFor(root + L"\\a.txt"), 1u) << "a replayed message is not a second change";
}

TEST_F(WatcherTest, AFloodOfChangesIsReportedAsLostAndWatchingGoesOn) {
    const std::wstring root = Folder(L"flood");
    watcher.AddDirectory(root);
    ASSERT_TRUE(watcher.Start());
    const std::wstring deep = root + L"\\deep";
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
    ASSERT_TRUE(Receive({deep, kActionAdded}));
    Park(root);
    // A file created and deleted 50,000 times: at least 100,000 changes (added, removed), far
    // more than one buffer holds.
    const std::wstring flooded = deep + L"\\a-file-with-a-longer-name.tmp";
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 50000; ++i) {
        const HANDLE file = ::CreateFileW(flooded.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ::CloseHandle(file);
    }
    const auto made = std::chrono::steady_clock::now() - start;
    receiver.Release();
    EXPECT_TRUE(Receive({root, kActionChangesLost})) << "the receiver learns that it must list the folder again";
    const auto written = Lines();
    EXPECT_NE(std::find(written.begin(), written.end(), std::wstring(DirectoryWatch::kOverflowLine)), written.end());
    EXPECT_LT(receiver.changes.size(), 1000u) << "the lost changes are not reported one by one";

    CreateEmptyFile(root + L"\\after.txt");
    EXPECT_TRUE(Receive({root + L"\\after.txt", kActionAdded})) << "watching goes on";
    std::printf("flood of 100,000 changes made in %.1f s\n", std::chrono::duration<double>(made).count());
}

}  // namespace
