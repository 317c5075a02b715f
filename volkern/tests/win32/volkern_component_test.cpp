// Corelink's file-system slots with the real Volkern.dll beside it, under Wine: images on the
// file system and the simulated enclosure's disk and drive, all as a client of the component
// sees them. When VOLKERN_IMAGE_OUT names a folder, the images (and the enclosure's disk, copied
// out as a plain image) are left there for the system's fsck.fat and mtools (check_images.sh).
#include <initguid.h>

#include "corelink_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/core/text_codec.h"
#include "common/tests/win32/component_registration.h"
#include "common/tests/win32/temp_folder.h"
#include "rig/core/command_log.h"
#include "rig/core/rig.h"
#include "rig/core/rig_device_stack.h"
#include "rig/core/rig_files.h"
#include "volkern/core/boot_sector_reader.h"
#include "volkern/core/device_sink.h"
#include "volkern/core/disk_lookup.h"
#include "volkern/include/volkern_api.h"

namespace {

const char kInterface[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr std::uint32_t kDiskSectors = 0x11800;  // 35 MiB: about the smallest FAT32 disk (few commands)
constexpr BYTE kSlot = 5;

std::string Utf8(const std::wstring& text) { return common::WideToUtf8(text).value_or(""); }

// The block of a "W" slot: the same layout with wide strings in the three string fields.
VolkernParameters WideBlock(const wchar_t* path, const wchar_t* label) {
    VolkernParameters block{};
    block.path = reinterpret_cast<const char*>(path);
    block.label = reinterpret_cast<const char*>(label);
    return block;
}

class VolkernThroughComponent : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new testing_support::TempFolder();
        rigFile = folder->File(L"fs.rig");
        std::ofstream(std::filesystem::path(rigFile))
            << "[enclosure]\nusb_vendor_id = 0x1A2B\nusb_product_id = 0x3C4D\nsectors = " << kDiskSectors
            << "\ninterface = " << kInterface << "\ndrive = E: E\n";
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());

        const HMODULE module = ::LoadLibraryW(L"Corelink.ax");
        ASSERT_NE(module, nullptr);
        IClassFactory* factory = win32_test::ClassFactoryOf(module);
        ASSERT_NE(factory, nullptr);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICorelinkCtrl, reinterpret_cast<void**>(&corelink)), S_OK);
        factory->Release();
    }
    static void TearDownTestSuite() {
        if (corelink) corelink->Release();
        corelink = nullptr;
        delete folder;
        folder = nullptr;
    }

    // Where images go: the folder the check script reads, else the test's own.
    static std::wstring ImagePath(const std::wstring& name) {
        wchar_t out[MAX_PATH] = {};
        const DWORD length = ::GetEnvironmentVariableW(L"VOLKERN_IMAGE_OUT", out, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            // A folder of this machine (/...) is drive Z: under Wine.
            std::wstring base(out, length);
            if (base.front() == L'/') base = L"Z:" + base;
            for (wchar_t& c : base) c = c == L'/' ? L'\\' : c;
            const std::wstring path = base + L"\\" + name;
            ::DeleteFileW(path.c_str());
            return path;
        }
        return folder->File(name);
    }

    // The rig's disk read in this process, as the library wrote it.
    static std::unique_ptr<rig::RigDeviceStack> RigStack() {
        std::string error;
        auto machine = rig::Rig::Load(rig::PlatformFileSystem(), Utf8(rigFile), error);
        return machine ? std::make_unique<rig::RigDeviceStack>(machine) : nullptr;
    }
    static volkern::VolumeFound VolumeOnDisk() {
        auto stack = RigStack();
        if (!stack) return {{}, volkern::ReadError::ReadFailed};
        volkern::OpenDevice disk(*stack, kInterface, 0);
        volkern::DeviceSink sink(*stack, disk.Handle(), 0, kDiskSectors);
        return volkern::FindFat32Volume(sink);
    }
    // The enclosure's disk up to the end of its root directory, as a sparse plain image.
    static void CopyDiskOut(const std::wstring& name, std::uint64_t upTo) {
        auto stack = RigStack();
        ASSERT_TRUE(stack);
        volkern::OpenDevice disk(*stack, kInterface, 0);
        volkern::DeviceSink sink(*stack, disk.Handle(), 0, kDiskSectors);
        std::ofstream out(std::filesystem::path(ImagePath(name)), std::ios::binary);
        std::array<std::uint8_t, 65536> chunk{};
        for (std::uint64_t sector = 0; sector < upTo; sector += chunk.size() / 512) {
            ASSERT_TRUE(sink.Read(sector, chunk));
            out.seekp(static_cast<std::streamoff>(sector * 512));
            out.write(reinterpret_cast<const char*>(chunk.data()), chunk.size());
        }
        out.seekp(static_cast<std::streamoff>(std::uint64_t{kDiskSectors} * 512 - 1));
        out.put('\0');
    }

    void OpenDisk() {
        handles.fill(INVALID_HANDLE_VALUE);
        ASSERT_EQ(corelink->OpenDiskPathBySymbolicName(handles.data(), kSlot, kInterface), 1);
    }
    void CloseDisk() { corelink->CloseDiskPath(handles.data(), kSlot); }

    static inline testing_support::TempFolder* folder = nullptr;
    static inline std::wstring rigFile;
    static inline ICorelinkCtrl* corelink = nullptr;
    std::array<HANDLE, 256> handles{};
};

TEST_F(VolkernThroughComponent, ImagesOfThreeSizesAndTheirRootSector) {
    struct Size {
        const wchar_t* name;
        std::uint64_t sectors;
    };
    for (const Size& size : {Size{L"wine-64m.img", 64ull * 2048}, Size{L"wine-2g.img", 2048ull * 2048},
                             Size{L"wine-300g.img", 300ull * 1024 * 2048}}) {
        const std::wstring widePath = ImagePath(size.name);
        const std::string path = Utf8(widePath);
        VolkernParameters block{};
        block.sectorCount = size.sectors;
        block.path = path.c_str();
        block.label = "Backup";
        block.status = 0xFFFF;
        ASSERT_EQ(corelink->CreateFileSystemImage(&block), 1) << path;
        EXPECT_EQ(block.status, VOLKERN_OK);
        EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(widePath)), size.sectors * 512);

        VolkernParameters lookup{};
        lookup.path = path.c_str();
        DWORD sector = 0;
        ASSERT_EQ(corelink->GetFAT32RootSectorAddr(&lookup, &sector), 1);
        EXPECT_EQ(sector, block.rootSector);
        EXPECT_NE(sector, 0u);
    }
}

TEST_F(VolkernThroughComponent, RefusalsComeBackAsStatus) {
    const std::string path = Utf8(ImagePath(L"wine-64m-again.img"));
    VolkernParameters block{};
    block.sectorCount = 64ull * 2048;
    block.path = path.c_str();
    ASSERT_EQ(corelink->CreateFileSystemImage(&block), 1);
    EXPECT_EQ(corelink->CreateFileSystemImage(&block), 0) << "the file exists";
    EXPECT_EQ(block.status, VOLKERN_ERROR_TARGET_EXISTS);
    block.label = "no.dots";
    block.options = VOLKERN_OPTION_REPLACE_IMAGE;
    EXPECT_EQ(corelink->CreateFileSystemImage(&block), 0);
    EXPECT_EQ(block.status, VOLKERN_ERROR_BAD_LABEL);

    EXPECT_EQ(corelink->CreateFileSystemImage(nullptr), 0);
    EXPECT_EQ(corelink->CreateFileSystemImageW(nullptr), 0);
    EXPECT_EQ(corelink->BuildDriveFileSystem(nullptr, 4), 0);
    DWORD sector = 7;
    EXPECT_EQ(corelink->GetFAT32RootSectorAddr(nullptr, &sector), 0);
    EXPECT_EQ(sector, 7u);
    EXPECT_EQ(corelink->GetFAT32RootSectorAddr(&block, nullptr), 0);
    // Not a FAT32 image: the rig file itself.
    const std::string notAnImage = Utf8(rigFile);
    VolkernParameters lookup{};
    lookup.path = notAnImage.c_str();
    EXPECT_EQ(corelink->GetFAT32RootSectorAddr(&lookup, &sector), 0);
    EXPECT_EQ(lookup.status, VOLKERN_ERROR_NOT_FAT32);
    EXPECT_EQ(sector, 0u);
}

TEST_F(VolkernThroughComponent, WideSlotsPassCopiesAndLeaveTheCallersStrings) {
    const std::wstring path = ImagePath(L"wine-w-\u00e9t\u00e9.img");  // é is in the code page
    const wchar_t* label = L"Sommer";
    VolkernParameters block = WideBlock(path.c_str(), label);
    block.sectorCount = 64ull * 2048;
    ASSERT_EQ(corelink->CreateFileSystemImageW(&block), 1);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(path)));
    EXPECT_EQ(block.path, reinterpret_cast<const char*>(path.c_str()));
    EXPECT_EQ(block.label, reinterpret_cast<const char*>(label));

    // A character the code page cannot hold is not replaced by a look-alike: nothing is made.
    const std::wstring foreign = folder->File(L"\u4e2d.img");
    block = WideBlock(foreign.c_str(), label);
    block.sectorCount = 64ull * 2048;
    EXPECT_EQ(corelink->CreateFileSystemImageW(&block), 0);
    EXPECT_EQ(block.status, VOLKERN_ERROR_TEXT);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(foreign)));
}

TEST_F(VolkernThroughComponent, PhysicalDiskOfTheEnclosure) {
    OpenDisk();
    VolkernParameters block{};
    block.label = "Enclosure";
    ASSERT_EQ(corelink->BuildPhyDiskFileSystem(handles.data(), kSlot, &block), 1);
    const auto found = VolumeOnDisk();
    ASSERT_EQ(found.error, volkern::ReadError::None);
    EXPECT_EQ(found.layout.volumeStart, 2048u);
    EXPECT_EQ(found.layout.RootSector(), block.rootSector);
    CopyDiskOut(L"wine-rig-disk.img", found.layout.RootSector() + found.layout.sectorsPerCluster);

    // The rig saw the writes as WRITE(10) commands.
    std::ifstream in(std::filesystem::path(folder->File(L"fs.log")), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto log = rig::ParseCommandLog(bytes).records;
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const rig::LogRecord& r) { return r.header.cdb[0] == 0x2A; }));

    // The no-unmount variant through the mode byte, the wide slot and its flag form.
    const wchar_t* wideLabel = L"Wide";
    VolkernParameters wide = WideBlock(nullptr, wideLabel);
    wide.mode = VOLKERN_MODE_NO_UNMOUNT;
    EXPECT_EQ(corelink->BuildPhyDiskFileSystemW(handles.data(), kSlot, &wide), 1);
    wide = WideBlock(nullptr, wideLabel);
    EXPECT_EQ(corelink->BuildPhyDiskFileSystemExW(handles.data(), kSlot, &wide, 1), 1);
    EXPECT_EQ(wide.label, reinterpret_cast<const char*>(wideLabel));

    // A refusal is not retried into success, and a size that does not fit stays refused.
    VolkernParameters tooLarge{};
    tooLarge.sectorCount = kDiskSectors + 1;
    EXPECT_EQ(corelink->BuildPhyDiskFileSystemW(handles.data(), kSlot, &tooLarge), 0);
    EXPECT_EQ(tooLarge.status, VOLKERN_ERROR_SIZE_TOO_LARGE);
    CloseDisk();

    // No array, or a slot without an open disk: the system's error for the device number.
    EXPECT_EQ(corelink->BuildPhyDiskFileSystem(nullptr, kSlot, &block), 0);
    handles.fill(INVALID_HANDLE_VALUE);
    EXPECT_EQ(corelink->BuildPhyDiskFileSystem(handles.data(), kSlot, &block), ERROR_INVALID_HANDLE);
    VolkernParameters wideBlock = WideBlock(nullptr, L"X");
    EXPECT_EQ(corelink->BuildPhyDiskFileSystemW(handles.data(), kSlot, &wideBlock), ERROR_INVALID_HANDLE);
}

TEST_F(VolkernThroughComponent, DriveOfTheEnclosure) {
    VolkernParameters block{};
    block.label = "Drive E";
    ASSERT_EQ(corelink->BuildDriveFileSystem(&block, 'E'), 1);
    const wchar_t* label = L"Drive E W";
    VolkernParameters wide = WideBlock(nullptr, label);
    ASSERT_EQ(corelink->BuildDriveFileSystemW(&wide, 4), 1);
    EXPECT_EQ(wide.rootSector, block.rootSector);
    // A letter the rig does not have.
    EXPECT_EQ(corelink->BuildDriveFileSystem(&block, 'C'), 0);
    EXPECT_EQ(block.status, VOLKERN_ERROR_BAD_DRIVE);
}

// A component whose folder holds no Volkern.dll: every slot answers the system's error, and the
// library beside the test program (found by the usual search order) is not used.
TEST(VolkernMissing, SlotsAnswerTheLoadError) {
    testing_support::TempFolder alone;
    const std::wstring copy = alone.File(L"Corelink.ax");
    wchar_t original[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(::GetModuleHandleW(L"Corelink.ax"), original, MAX_PATH), 0u);
    ASSERT_TRUE(::CopyFileW(original, copy.c_str(), TRUE));
    const HMODULE module = ::LoadLibraryW(copy.c_str());
    ASSERT_NE(module, nullptr);
    IClassFactory* factory = win32_test::ClassFactoryOf(module);
    ASSERT_NE(factory, nullptr);
    ICorelinkCtrl* lonely = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICorelinkCtrl, reinterpret_cast<void**>(&lonely)), S_OK);
    factory->Release();

    const std::string path = Utf8(alone.File(L"never.img"));
    VolkernParameters block{};
    block.sectorCount = 64ull * 2048;
    block.path = path.c_str();
    block.status = 0x1234;
    EXPECT_EQ(lonely->CreateFileSystemImage(&block), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(lonely->BuildDriveFileSystem(&block, 4), ERROR_MOD_NOT_FOUND);
    DWORD sector = 0;
    EXPECT_EQ(lonely->GetFAT32RootSectorAddr(&block, &sector), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(block.status, 0x1234u) << "the block is not touched";
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(alone.File(L"never.img"))));
    lonely->Release();
    ::FreeLibrary(module);
}

}  // namespace
