// What a job adds to the volumes it writes to, and how the jobs of a run share their free space.
#include "copperfold/core/preflight.h"

#include <gtest/gtest.h>

namespace copperfold {
namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

VolumeFacts Drive(const wchar_t* root, std::uint64_t freeBytes, std::uint32_t cluster = 0,
                  const wchar_t* fileSystem = L"NTFS") {
    return {root, fileSystem, true, freeBytes, cluster};
}

SpacePlan::Side Side(const VolumeFacts& facts, std::initializer_list<std::uint64_t> newFiles) {
    SpacePlan::Side side{facts, VolumeNeeds(facts)};
    for (const std::uint64_t size : newFiles) side.needs.AddCopy(L"C:\\f", size, false, 0);
    return side;
}

TEST(Preflight, ACopyAddsWhatItIsLargerThanTheFileItReplacesInWholeClusters) {
    const VolumeFacts facts = Drive(L"E:\\", 1000000, 512);
    VolumeNeeds needs(facts);
    needs.AddCopy(L"C:\\new", 1, false, 0);        // a new file: one cluster
    EXPECT_EQ(needs.Growth(), 512u);
    EXPECT_EQ(needs.LargestTemporary(), 0u) << "a new file's temporary copy is the file itself";
    needs.AddCopy(L"C:\\grown", 1500, true, 600);  // 3 clusters over 2
    EXPECT_EQ(needs.Growth(), 1024u);
    EXPECT_EQ(needs.LargestTemporary(), 1536u) << "it and the file it replaces exist together until the rename";
    needs.AddCopy(L"C:\\shrunk", 10, true, 5000);  // frees room, but only once it is copied
    EXPECT_EQ(needs.Growth(), 1024u);
    EXPECT_EQ(needs.LargestTemporary(), 1536u);
    needs.AddCopy(L"C:\\empty", 0, false, 0);      // takes no cluster
    needs.AddFolder();                             // takes one
    EXPECT_EQ(needs.Growth(), 1536u);

    VolumeNeeds unknownClusters(Drive(L"E:\\", 0, 0));
    unknownClusters.AddCopy(L"C:\\a", 1, false, 0);
    unknownClusters.AddFolder();
    EXPECT_EQ(unknownClusters.Growth(), 1u);
}

TEST(Preflight, SeveralJobsOntoOneVolumeAddUpAndARefusedOneBooksNothing) {
    const VolumeFacts e = Drive(L"E:\\", 1000);
    SpacePlan plan;
    EXPECT_FALSE(plan.Admit({Side(e, {400})}).Refused());
    EXPECT_FALSE(plan.Admit({Side(e, {300, 200})}).Refused()) << "900 of 1000";
    const JobRefusal refused = plan.Admit({Side(e, {101})});
    ASSERT_TRUE(refused.Refused()) << "1001 of 1000";
    EXPECT_EQ(refused.text, kNotEnoughSpaceText);
    EXPECT_EQ(FilledText(refused.text, refused.arguments),
              L"There is not enough free space on drive E: for this job: it needs 1,001 bytes and 1,000 bytes are "
              L"free. The job was not run.");
    EXPECT_FALSE(plan.Admit({Side(e, {100})}).Refused()) << "exactly full: the refused job took nothing";
    EXPECT_FALSE(plan.Admit({Side(Drive(L"e:\\", 1000), {0})}).Refused());
    EXPECT_TRUE(plan.Admit({Side(Drive(L"e:\\", 1000), {1})}).Refused()) << "the same volume, spelt otherwise";
    EXPECT_FALSE(plan.Admit({Side(Drive(L"F:\\", 1000), {1000})}).Refused()) << "another volume has its own room";
}

TEST(Preflight, RoomForTheLargestTemporaryIsCountedOnceForTheVolume) {
    const VolumeFacts e = Drive(L"E:\\", 1000);
    SpacePlan plan;
    SpacePlan::Side first{e, VolumeNeeds(e)};
    first.needs.AddCopy(L"C:\\a", 300, true, 300);  // no growth, 300 of temporary room
    EXPECT_FALSE(plan.Admit({first}).Refused());
    SpacePlan::Side second{e, VolumeNeeds(e)};
    second.needs.AddCopy(L"C:\\b", 400, true, 100);  // 300 more, 400 of room
    EXPECT_FALSE(plan.Admit({second}).Refused()) << "300 + 400: the rooms do not add up";
    EXPECT_TRUE(plan.Admit({Side(e, {301})}).Refused()) << "300 + 301 + 400";
}

TEST(Preflight, BothSidesOfASyncOnOneVolumeAddUp) {
    const VolumeFacts c = Drive(L"C:\\", 1000);
    SpacePlan plan;
    EXPECT_TRUE(plan.Admit({Side(c, {600}), Side(c, {401})}).Refused());
    EXPECT_FALSE(plan.Admit({Side(c, {600}), Side(c, {400})}).Refused());
    SpacePlan other;
    const JobRefusal refused = other.Admit({Side(Drive(L"E:\\", 5000), {100}), Side(Drive(L"D:\\", 50), {51})});
    ASSERT_TRUE(refused.Refused());
    EXPECT_EQ(refused.arguments.front(), L"D:") << "the side that lacks room";
    EXPECT_FALSE(other.Admit({Side(Drive(L"E:\\", 5000), {5000})}).Refused()) << "the refused job booked nothing on E:";
}

TEST(Preflight, UnknownVolumesAreNeverRefusedForSpace) {
    SpacePlan plan;
    VolumeFacts unknown = Drive(L"E:\\", 0);
    unknown.freeSpaceKnown = false;
    EXPECT_FALSE(plan.Admit({Side(unknown, {1ull << 40})}).Refused());
    EXPECT_FALSE(plan.Admit({Side(VolumeFacts{}, {1ull << 40})}).Refused());
    // Sizes near the top of the range do not wrap around into "fits".
    const VolumeFacts e = Drive(L"F:\\", ~0ull - 10, 4096);
    EXPECT_TRUE(plan.Admit({Side(e, {~0ull - 5, ~0ull - 5})}).Refused());
}

TEST(Preflight, FilesOf4GiBOrMoreAreRefusedOnFatOnly) {
    const VolumeFacts fat32 = Drive(L"E:\\", 100 * kGiB, 4096, L"FAT32");
    SpacePlan plan;
    SpacePlan::Side side{fat32, VolumeNeeds(fat32)};
    side.needs.AddCopy(L"C:\\Videos\\small.mp4", 4 * kGiB - 1, false, 0);
    EXPECT_FALSE(plan.Admit({side}).Refused()) << "4 GiB less a byte is FAT32's largest file";
    side.needs.AddCopy(L"C:\\Videos\\film.mkv", 4 * kGiB, false, 0);
    side.needs.AddCopy(L"C:\\Videos\\later.mkv", 5 * kGiB, false, 0);
    const JobRefusal refused = plan.Admit({side});
    ASSERT_TRUE(refused.Refused());
    EXPECT_EQ(FilledText(refused.text, refused.arguments),
              L"The file C:\\Videos\\film.mkv is 4 GiB or larger, and drive E: (FAT32) holds no file of that size. "
              L"The job was not run.");

    const VolumeFacts exfat = Drive(L"F:\\", 100 * kGiB, 4096, L"exFAT");
    SpacePlan::Side large{exfat, VolumeNeeds(exfat)};
    large.needs.AddCopy(L"C:\\Videos\\film.mkv", 5 * kGiB, false, 0);
    EXPECT_FALSE(plan.Admit({large}).Refused());
}

TEST(Preflight, FilledTextTakesOnlyPercentS) {
    EXPECT_EQ(FilledText(L"%s and %s", {L"a", L"%s"}), L"a and %s");
    EXPECT_EQ(FilledText(L"100%d %s %s", {L"x"}), L"100%d x %s") << "a missing argument leaves its place";
    EXPECT_EQ(FilledText(L"no places", {L"unused"}), L"no places");
    EXPECT_EQ(FilledText(L"ends in %", {L"x"}), L"ends in %");
    EXPECT_EQ(ByteCount(0), L"0");
    EXPECT_EQ(ByteCount(999), L"999");
    EXPECT_EQ(ByteCount(1000), L"1,000");
    EXPECT_EQ(ByteCount(68719476736ull), L"68,719,476,736");
}

}  // namespace
}  // namespace copperfold
