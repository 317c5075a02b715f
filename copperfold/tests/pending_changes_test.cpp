// Collapsing of the changes one folder reports before they are handed out, and the path a
// change is reported under.
#include "copperfold/core/pending_changes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using copperfold::DirectoryChange;
using copperfold::PendingChanges;

std::vector<DirectoryChange> Drain(PendingChanges& pending) {
    std::vector<DirectoryChange> out;
    while (auto change = pending.TakeOldest()) out.push_back(*change);
    return out;
}

TEST(PendingChanges, RepeatedSavesOfOneFileCollapseIntoOne) {
    PendingChanges pending;
    for (int i = 0; i < 3; ++i) pending.Add({L"notes.txt", copperfold::kActionModified});
    EXPECT_EQ(Drain(pending), (std::vector<DirectoryChange>{{L"notes.txt", 3}}));
}

TEST(PendingChanges, AnotherFileBetweenTheSavesKeepsAllOfThem) {
    PendingChanges pending;
    pending.Add({L"a.txt", 3});
    pending.Add({L"b.txt", 3});
    pending.Add({L"a.txt", 3});
    EXPECT_EQ(Drain(pending), (std::vector<DirectoryChange>{{L"a.txt", 3}, {L"b.txt", 3}, {L"a.txt", 3}}));
}

TEST(PendingChanges, RemovedThenAddedAgainIsReportedAsBoth) {
    PendingChanges pending;
    pending.Add({L"report.doc", copperfold::kActionRemoved});
    pending.Add({L"report.doc", copperfold::kActionAdded});
    pending.Add({L"report.doc", copperfold::kActionModified});
    pending.Add({L"report.doc", copperfold::kActionModified});
    EXPECT_EQ(Drain(pending), (std::vector<DirectoryChange>{{L"report.doc", 2}, {L"report.doc", 1}, {L"report.doc", 3}}));
}

TEST(PendingChanges, NamesDifferingOnlyInCaseAreDifferentNames) {
    PendingChanges pending;
    pending.Add({L"File", 3});
    pending.Add({L"file", 3});
    EXPECT_EQ(pending.size(), 2u);
}

TEST(PendingChanges, OnlyTheNewestPendingChangeCollapsesARepeat) {
    PendingChanges pending;
    pending.Add({L"x", 3});
    EXPECT_EQ(pending.TakeOldest(), (DirectoryChange{L"x", 3}));
    pending.Add({L"x", 3});  // the first was handed out already: this one is news
    EXPECT_EQ(Drain(pending), (std::vector<DirectoryChange>{{L"x", 3}}));
    EXPECT_FALSE(pending.TakeOldest());
}

TEST(WatchedPath, OneBackslashBetweenFolderAndName) {
    using copperfold::WatchedPath;
    EXPECT_EQ(WatchedPath(L"E:\\", L"Photos\\a.jpg"), L"E:\\Photos\\a.jpg");
    EXPECT_EQ(WatchedPath(L"C:\\Data", L"a.txt"), L"C:\\Data\\a.txt");
    EXPECT_EQ(WatchedPath(L"C:\\Data\\", L"a.txt"), L"C:\\Data\\a.txt");
    EXPECT_EQ(WatchedPath(L"C:\\Data", L""), L"C:\\Data") << "a change of the folder itself";
}

}  // namespace
