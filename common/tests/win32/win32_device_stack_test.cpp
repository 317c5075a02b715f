// The device I/O seam on the platform: files, control requests, the registry, drives and device
// interfaces, through the real calls.
#include "common/win32/win32_device_stack.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace {

using devio::RegistryHive;
using Names = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

const char* const kTestKey = "Software\\CorelinkTest";

std::string Narrow(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

bool CreateKey(const std::string& path) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Win32DeviceStack, OpensAndClosesFiles) {
    devio::Win32DeviceStack stack;
    testing_support::TempFolder folder;
    const std::wstring file = folder.File(L"device.bin");
    testing_support::WriteBytes(file, "abc");

    std::uint32_t lastError = 12345;
    const devio::DeviceHandle handle = stack.Open(Narrow(file), devio::kGenericRead | devio::kGenericWrite,
                                                  devio::kShareRead | devio::kShareWrite, devio::kOpenExisting, 0,
                                                  lastError);
    ASSERT_NE(handle, devio::kInvalidDeviceHandle);
    EXPECT_EQ(lastError, 0u);
    EXPECT_TRUE(stack.Close(handle));

    const devio::DeviceHandle missing = stack.Open(Narrow(folder.File(L"missing.bin")), devio::kGenericRead,
                                                   devio::kShareRead, devio::kOpenExisting, 0, lastError);
    EXPECT_EQ(missing, devio::kInvalidDeviceHandle);
    EXPECT_EQ(lastError, devio::kErrorFileNotFound);
    EXPECT_FALSE(stack.Close(devio::kInvalidDeviceHandle));
}

TEST(Win32DeviceStack, ControlOnAnInvalidHandleIsNotDelivered) {
    devio::Win32DeviceStack stack;
    std::uint8_t block[80] = {};
    std::uint32_t returned = 99;
    std::uint32_t lastError = 0;
    EXPECT_FALSE(stack.Control(devio::kInvalidDeviceHandle, 0x4D004, block, sizeof block, block, sizeof block,
                               returned, lastError));
    EXPECT_EQ(lastError, static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(returned, 0u);

    // A value the system never handed out is refused by the system itself.
    lastError = 0;
    EXPECT_FALSE(stack.Control(0x7FF0, 0x4D004, block, sizeof block, block, sizeof block, returned, lastError));
    EXPECT_EQ(lastError, static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
}

TEST(Win32DeviceStack, RegistryRoundTrip) {
    devio::Win32DeviceStack stack;
    stack.DeleteRegistryTree(RegistryHive::CurrentUser, kTestKey);  // left over from an aborted run
    const std::string sub = std::string(kTestKey) + "\\usbflags";
    ASSERT_TRUE(CreateKey(sub + "\\Deeper\\Deepest"));
    ASSERT_TRUE(CreateKey(std::string(kTestKey) + "\\Other"));

    const Bytes one = {0x01};
    const std::string text = "\\??\\USBSTOR#Disk";
    const Bytes textBytes(text.c_str(), text.c_str() + text.size() + 1);
    EXPECT_TRUE(stack.WriteRegistryValue(RegistryHive::CurrentUser, sub, "IgnoreHWSerNum12340abc", REG_BINARY, one));
    EXPECT_TRUE(stack.WriteRegistryValue(RegistryHive::CurrentUser, sub, "Path", REG_SZ, textBytes));
    EXPECT_TRUE(stack.WriteRegistryValue(RegistryHive::CurrentUser, sub, "Empty", REG_BINARY, {}));
    EXPECT_FALSE(stack.WriteRegistryValue(RegistryHive::CurrentUser, sub + "\\Missing", "x", REG_BINARY, one))
        << "writes do not create keys";

    std::uint32_t type = 0;
    Bytes data;
    ASSERT_TRUE(stack.ReadRegistryValue(RegistryHive::CurrentUser, sub, "IgnoreHWSerNum12340abc", type, data));
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_BINARY));
    EXPECT_EQ(data, one);
    ASSERT_TRUE(stack.ReadRegistryValue(RegistryHive::CurrentUser, sub, "Path", type, data));
    EXPECT_EQ(type, static_cast<std::uint32_t>(REG_SZ));
    EXPECT_EQ(data, textBytes);
    ASSERT_TRUE(stack.ReadRegistryValue(RegistryHive::CurrentUser, sub, "Empty", type, data));
    EXPECT_TRUE(data.empty());
    EXPECT_FALSE(stack.ReadRegistryValue(RegistryHive::CurrentUser, sub, "Absent", type, data));

    Names names;
    ASSERT_TRUE(stack.EnumerateRegistryValues(RegistryHive::CurrentUser, sub, names));
    EXPECT_EQ(Sorted(names), (Names{"Empty", "IgnoreHWSerNum12340abc", "Path"}));
    ASSERT_TRUE(stack.EnumerateRegistryKeys(RegistryHive::CurrentUser, kTestKey, names));
    EXPECT_EQ(Sorted(names), (Names{"Other", "usbflags"}));

    EXPECT_TRUE(stack.DeleteRegistryValue(RegistryHive::CurrentUser, sub, "Path"));
    EXPECT_FALSE(stack.DeleteRegistryValue(RegistryHive::CurrentUser, sub, "Path"));
    ASSERT_TRUE(stack.EnumerateRegistryValues(RegistryHive::CurrentUser, sub, names));
    EXPECT_EQ(Sorted(names), (Names{"Empty", "IgnoreHWSerNum12340abc"}));

    EXPECT_TRUE(stack.DeleteRegistryTree(RegistryHive::CurrentUser, kTestKey));
    EXPECT_FALSE(stack.EnumerateRegistryKeys(RegistryHive::CurrentUser, kTestKey, names));
    EXPECT_FALSE(stack.ReadRegistryValue(RegistryHive::CurrentUser, sub, "IgnoreHWSerNum12340abc", type, data));
    EXPECT_FALSE(stack.DeleteRegistryTree(RegistryHive::CurrentUser, kTestKey));
}

TEST(Win32DeviceStack, DrivesAndSystem) {
    devio::Win32DeviceStack stack;
    const std::uint32_t mask = stack.LogicalDriveMask();
    EXPECT_NE(mask & (1u << ('C' - 'A')), 0u);
    EXPECT_NE(mask & (1u << ('Z' - 'A')), 0u);
    EXPECT_EQ(stack.DriveType("C:\\"), static_cast<std::uint32_t>(DRIVE_FIXED));
    EXPECT_GE(stack.SystemMajorVersion(), 5u);

    std::vector<std::string> volumes;
    if (stack.EnumerateVolumes(volumes)) {
        for (const std::string& volume : volumes) {
            EXPECT_EQ(volume.rfind("\\\\?\\Volume{", 0), 0u) << volume;
            std::vector<std::string> paths;
            stack.VolumePathNames(volume, paths);  // may be empty for an unmounted volume
        }
    }
}

TEST(Win32DeviceStack, EnumeratesDiskInterfaces) {
    devio::Win32DeviceStack stack;
    const devio::Guid disk{0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    std::vector<devio::DeviceInterface> interfaces;
    stack.EnumerateInterfaces(disk, interfaces);
    for (const devio::DeviceInterface& entry : interfaces) {
        EXPECT_FALSE(entry.path.empty());
        std::string id;
        std::vector<std::string> hardwareIds;
        devio::DeviceInstance parent = 0;
        stack.DeviceIdOf(entry.instance, id);
        stack.HardwareIdsOf(entry.instance, hardwareIds);
        stack.ParentOf(entry.instance, parent);
    }
}
