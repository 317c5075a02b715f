#include "copperfold/core/child_name_index.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

using Index = copperfold::ChildNameIndex<int>;

TEST(ChildNameIndex, FindsOnlyChildrenOfKnownFoldersAndFollowsDeletions) {
    Index index;
    index.Add(1, L"early", 2);  // folder 1 not listed yet: left for its listing
    EXPECT_FALSE(index.Knows(1));
    EXPECT_EQ(index.Find(1, L"early"), 0);

    index.Begin(1);
    index.Add(1, L"a.txt", 10);
    index.Add(1, L"sub", 11);
    index.Begin(11);
    index.Add(11, L"a.txt", 20);  // the same name in another folder
    EXPECT_EQ(index.Find(1, L"a.txt"), 10);
    EXPECT_EQ(index.Find(11, L"a.txt"), 20);
    EXPECT_EQ(index.Find(1, L"A.TXT"), 0);
    EXPECT_EQ(index.Find(1, L"missing"), 0);

    // A rename: the old name goes, the new one comes with a new item.
    index.Forget(10);
    index.Add(1, L"b.txt", 12);
    EXPECT_EQ(index.Find(1, L"a.txt"), 0);
    EXPECT_EQ(index.Find(1, L"b.txt"), 12);

    // A folder deleted with its children, in either order of the notifications.
    index.Forget(11);
    EXPECT_FALSE(index.Knows(11));
    EXPECT_EQ(index.Find(1, L"sub"), 0);
    index.Forget(20);
    EXPECT_EQ(index.Find(11, L"a.txt"), 0);
}

TEST(ChildNameIndex, TellsAfterWhichChildANewNameGoes) {
    // Sort keys that order names without regard to case, as the tree sorts them.
    Index index([](std::wstring_view name) {
        std::string key;
        for (const wchar_t c : name) key += static_cast<char>(std::tolower(static_cast<int>(c)));
        return key;
    });
    EXPECT_FALSE(index.SortedPlace(1, L"a")) << "a folder the index does not know";
    index.Begin(1);
    index.Add(1, L"b", 10);
    index.Add(1, L"D", 11);
    EXPECT_EQ(index.SortedPlace(1, L"a"), 0) << "goes first";
    EXPECT_EQ(index.SortedPlace(1, L"c"), 10);
    EXPECT_EQ(index.SortedPlace(1, L"e"), 11) << "goes last";
    index.Add(1, L"c", 12);  // once worked out, the order follows additions
    EXPECT_EQ(index.SortedPlace(1, L"cc"), 12);
    index.Forget(12);  // and deletions
    EXPECT_EQ(index.SortedPlace(1, L"cc"), 10);
    index.Forget(1);
    EXPECT_FALSE(index.SortedPlace(1, L"cc"));

    Index withoutKeys;
    withoutKeys.Begin(1);
    EXPECT_FALSE(withoutKeys.SortedPlace(1, L"x"));
}

TEST(ChildNameIndex, ReusedItemValueAndDuplicateNamesNeverReachTheWrongItem) {
    Index index;
    index.Begin(1);
    index.Add(1, L"x", 5);
    index.Add(1, L"x", 6);  // a second row of the same name: the first stays the one found
    EXPECT_EQ(index.Find(1, L"x"), 5);
    index.Forget(6);  // deleting the second must not unlist the first
    EXPECT_EQ(index.Find(1, L"x"), 5);

    // The tree hands a deleted item's value to a new item elsewhere.
    index.Begin(2);
    index.Forget(5);
    index.Add(2, L"y", 5);
    EXPECT_EQ(index.Find(1, L"x"), 0);
    EXPECT_EQ(index.Find(2, L"y"), 5);
    index.Forget(5);
    EXPECT_EQ(index.Find(2, L"y"), 0);

    // Listing a folder again drops what the earlier listing recorded.
    index.Add(2, L"z", 7);
    index.Begin(2);
    EXPECT_EQ(index.Find(2, L"z"), 0);
    index.Add(2, L"z", 8);
    index.Forget(7);  // the old item's late deletion leaves the new row alone
    EXPECT_EQ(index.Find(2, L"z"), 8);
}

}  // namespace
