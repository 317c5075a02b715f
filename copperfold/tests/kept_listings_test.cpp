// What a run keeps of the folders it listed, for how long, and how much.
#include "copperfold/core/kept_listings.h"

#include <gtest/gtest.h>

namespace copperfold {
namespace {

std::vector<FileEntry> Listing(std::size_t count) {
    std::vector<FileEntry> entries;
    for (std::size_t i = 0; i < count; ++i) entries.push_back({L"f" + std::to_wstring(i), 0, 100, 1});
    return entries;
}

TEST(KeptListings, AKeptListingServesOneWalkWhateverTheSpelling) {
    KeptListings kept;
    kept.Keep(L"C:\\S\\", Listing(3));
    kept.Keep(L"C:\\", Listing(1));
    std::vector<FileEntry> entries;
    ASSERT_TRUE(kept.Take(L"c:\\s", entries)) << "names match without regard to case";
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_FALSE(kept.Take(L"C:\\S\\", entries)) << "taken once";
    ASSERT_TRUE(kept.Take(L"C:\\", entries)) << "a drive's root keeps its backslash";
    EXPECT_EQ(kept.KeptEntries(), 0u);

    kept.Keep(L"C:\\S", Listing(3));
    kept.Keep(L"C:\\S", Listing(2));
    EXPECT_EQ(kept.KeptEntries(), 2u) << "the newer listing replaces the older";
}

TEST(KeptListings, AFolderTheRunChangedIsNeverKeptAgain) {
    KeptListings kept;
    kept.Keep(L"C:\\S", Listing(3));
    kept.Changed(L"c:\\s\\");
    std::vector<FileEntry> entries;
    EXPECT_FALSE(kept.Take(L"C:\\S", entries));
    kept.Keep(L"C:\\S", Listing(3));
    EXPECT_FALSE(kept.Take(L"C:\\S", entries)) << "a later walk lists it anew";
    EXPECT_EQ(kept.KeptEntries(), 0u);
}

TEST(KeptListings, NothingIsKeptPastTheBudget) {
    KeptListings kept(5);
    kept.Keep(L"C:\\A", Listing(3));
    kept.Keep(L"C:\\B", Listing(3));
    kept.Keep(L"C:\\C", Listing(2));
    kept.Keep(L"C:\\D", Listing(0));
    EXPECT_EQ(kept.KeptEntries(), 5u);
    std::vector<FileEntry> entries;
    EXPECT_FALSE(kept.Take(L"C:\\B", entries));
    EXPECT_TRUE(kept.Take(L"C:\\D", entries)) << "an empty folder always fits";
    ASSERT_TRUE(kept.Take(L"C:\\A", entries));
    kept.Keep(L"C:\\B", Listing(3));
    EXPECT_TRUE(kept.Take(L"C:\\B", entries)) << "what was taken is room again";
}

}  // namespace
}  // namespace copperfold
