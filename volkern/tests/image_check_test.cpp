// Images of 64 MiB, 2 GiB and 300 GiB built by the library, checked by the system's FAT checker
// (fsck.fat -n: read-only) and used with mtools: a file copied in, listed and copied back out.
// The images are sparse, so the 300 GiB one costs only its metadata (about 75 MiB of FATs).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "posix_image_files.h"
#include "rig/tests/test_folder.h"
#include "volkern/core/boot_sector_reader.h"
#include "volkern/core/build_operations.h"

namespace {

constexpr std::uint64_t kMiB = 2048;

struct CommandRun {
    int status = -1;
    std::string output;
};

CommandRun Command(const std::string& command) {
    CommandRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> chunk{};
    while (const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), pipe)) run.output.append(chunk.data(), got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ImageCheck : public ::testing::Test {
protected:
    volkern::BuildResult Build(const std::string& name, std::uint64_t sectors, std::uint8_t options = 0) {
        path = folder.File(name);
        VolkernParameters block{};
        block.sectorCount = sectors;
        block.options = options;
        block.label = "Backup";
        block.path = path.c_str();
        const auto read = volkern::ReadRequest(block, volkern::BuildTime{2026, 12, 7, 9, 15, 0, 0});
        EXPECT_EQ(read.error, VOLKERN_OK);
        return volkern::CreateImage(files, read.request);
    }

    // fsck.fat, read-only and verbose: exit status 0 and no complaint (it also compares the boot
    // sector with its backup and checks the FSInfo free count).
    void ExpectCleanFsck() {
        const CommandRun fsck = Command("fsck.fat -n -v '" + path + "'");
        EXPECT_EQ(fsck.status, 0) << fsck.output;
        for (const char* complaint : {"differ", "Free cluster summary wrong", "Dirty bit", "FATs differ"}) {
            EXPECT_EQ(fsck.output.find(complaint), std::string::npos) << fsck.output;
        }
        EXPECT_NE(fsck.output.find("1 files, 1/"), std::string::npos) << "the label entry, one cluster used:\n"
                                                                        << fsck.output;
    }

    // A file copied in, listed, copied back; `target` is mtools' image argument.
    void ExpectRoundTrip(const std::string& target) {
        const std::string in = folder.File("letter.txt"), out = folder.File("back.txt");
        std::ofstream(in) << std::string(100000, 'x') << "the end\n";
        const std::string env = "MTOOLS_SKIP_CHECK=1 ";
        const CommandRun copyIn = Command(env + "mcopy -i '" + target + "' '" + in + "' ::LETTER.TXT");
        ASSERT_EQ(copyIn.status, 0) << copyIn.output;
        const CommandRun mkdir = Command(env + "mmd -i '" + target + "' ::/Photos");
        ASSERT_EQ(mkdir.status, 0) << mkdir.output;
        const CommandRun list = Command(env + "mdir -i '" + target + "' ::");
        EXPECT_EQ(list.status, 0) << list.output;
        EXPECT_NE(list.output.find("LETTER"), std::string::npos) << list.output;
        EXPECT_NE(list.output.find("BACKUP"), std::string::npos) << "volume label:\n" << list.output;
        const CommandRun copyOut = Command(env + "mcopy -n -i '" + target + "' ::LETTER.TXT '" + out + "'");
        ASSERT_EQ(copyOut.status, 0) << copyOut.output;
        EXPECT_EQ(ReadFile(out), ReadFile(in));
    }

    rig_test::TestFolder folder;
    volkern_test::PosixImageFiles files;
    std::string path;
};

TEST_F(ImageCheck, SixtyFourMiB) {
    const auto result = Build("64m.img", 64 * kMiB);
    ASSERT_EQ(result.status, VOLKERN_OK);
    ExpectCleanFsck();
    ExpectRoundTrip(path);
    const CommandRun after = Command("fsck.fat -n '" + path + "'");
    EXPECT_EQ(after.status, 0) << "after mtools wrote:\n" << after.output;
}

TEST_F(ImageCheck, TwoGiB) {
    ASSERT_EQ(Build("2g.img", 2048 * kMiB).status, VOLKERN_OK);
    ExpectCleanFsck();
    ExpectRoundTrip(path);
}

TEST_F(ImageCheck, ThreeHundredGiBSparse) {
    ASSERT_EQ(Build("300g.img", 300 * 1024 * kMiB).status, VOLKERN_OK);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(info.st_size), 300ull << 30);
    EXPECT_LT(static_cast<std::uint64_t>(info.st_blocks) * 512, 8ull << 20) << "only metadata is written";
    ExpectCleanFsck();
    ExpectRoundTrip(path);
}

TEST_F(ImageCheck, PartitionedImageHoldsItsVolumeAtOneMiB) {
    const auto result = Build("part.img", 80 * kMiB, VOLKERN_OPTION_PARTITIONED_IMAGE);
    ASSERT_EQ(result.status, VOLKERN_OK);
    ExpectRoundTrip(path + "@@1M");
    // fsck.fat checks a volume at the start of a file: the partition, copied out sparsely.
    const std::string volume = folder.File("volume.img");
    const CommandRun cut = Command("dd if='" + path + "' of='" + volume + "' bs=1M skip=1 conv=sparse status=none");
    ASSERT_EQ(cut.status, 0) << cut.output;
    const CommandRun fsck = Command("fsck.fat -n '" + volume + "'");
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    // The root sector the build reported is where the reader finds it.
    VolkernParameters block{};
    block.path = path.c_str();
    const auto read = volkern::ReadRequest(block, {});
    EXPECT_EQ(volkern::RootSectorOf(files, read.request).rootSector, result.rootSector);
}

// The smallest FAT32 volume in 512-byte clusters: a data area at 1 MiB and 65525 clusters
// after it, alone on the image and as the partition of an image; one sector less is refused.
TEST_F(ImageCheck, SmallestVolumesAreBuiltAndOneSectorLessRefused) {
    constexpr std::uint64_t kSmallest = 2048 + 65525;
    ASSERT_EQ(Build("smallest.img", kSmallest).status, VOLKERN_OK);
    ExpectCleanFsck();
    const CommandRun counts = Command("fsck.fat -n -v '" + path + "'");
    EXPECT_NE(counts.output.find("65525 clusters"), std::string::npos) << counts.output;
    EXPECT_EQ(Build("below.img", kSmallest - 1).status, VOLKERN_ERROR_SIZE_TOO_SMALL);

    ASSERT_EQ(Build("smallest-part.img", 2048 + kSmallest, VOLKERN_OPTION_PARTITIONED_IMAGE).status, VOLKERN_OK);
    const std::string volume = folder.File("smallest-volume.img");
    const CommandRun cut = Command("dd if='" + path + "' of='" + volume + "' bs=1M skip=1 status=none");
    ASSERT_EQ(cut.status, 0) << cut.output;
    const CommandRun fsck = Command("fsck.fat -n '" + volume + "'");
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    EXPECT_EQ(Build("below-part.img", 2048 + kSmallest - 1, VOLKERN_OPTION_PARTITIONED_IMAGE).status,
              VOLKERN_ERROR_SIZE_TOO_SMALL);
}

TEST_F(ImageCheck, ExistingFilesAreKeptUnlessReplacing) {
    path = folder.File("keep.img");
    std::ofstream(path) << "precious";
    VolkernParameters block{};
    block.sectorCount = 64 * kMiB;
    block.path = path.c_str();
    auto read = volkern::ReadRequest(block, {});
    EXPECT_EQ(volkern::CreateImage(files, read.request).status, VOLKERN_ERROR_TARGET_EXISTS);
    EXPECT_EQ(ReadFile(path), "precious");
    // A refused size leaves nothing behind either.
    const std::string small = folder.File("small.img");
    block.path = small.c_str();
    block.sectorCount = 1000;
    read = volkern::ReadRequest(block, {});
    EXPECT_EQ(volkern::CreateImage(files, read.request).status, VOLKERN_ERROR_SIZE_TOO_SMALL);
    EXPECT_FALSE(std::filesystem::exists(small));

    block.path = path.c_str();
    block.sectorCount = 64 * kMiB;
    block.options = VOLKERN_OPTION_REPLACE_IMAGE;
    read = volkern::ReadRequest(block, {});
    ASSERT_EQ(volkern::CreateImage(files, read.request).status, VOLKERN_OK);
    EXPECT_EQ(Command("fsck.fat -n '" + path + "'").status, 0);

    // A file too short to hold a boot sector is no FAT32 image.
    const std::string note = folder.File("note.txt");
    std::ofstream(note) << "not an image";
    block.path = note.c_str();
    read = volkern::ReadRequest(block, {});
    EXPECT_EQ(volkern::RootSectorOf(files, read.request).status, VOLKERN_ERROR_NOT_FAT32);
}

}  // namespace
