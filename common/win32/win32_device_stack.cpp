#include "common/win32/win32_device_stack.h"

// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "common/win32/native_pass_through.h"
#include "common/win32/registry_permissions.h"
#include "common/win32/unique_handle.h"

namespace devio {
namespace {

struct DeviceInfoSetTraits {
    static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HDEVINFO set) { return set != INVALID_HANDLE_VALUE && set != nullptr; }
    static void Close(HDEVINFO set) { ::SetupDiDestroyDeviceInfoList(set); }
};
using UniqueDeviceInfoSet = win32::UniqueResource<HDEVINFO, DeviceInfoSetTraits>;

struct VolumeFindTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE find) { return find != INVALID_HANDLE_VALUE && find != nullptr; }
    static void Close(HANDLE find) { ::FindVolumeClose(find); }
};
using UniqueVolumeFind = win32::UniqueResource<HANDLE, VolumeFindTraits>;

constexpr DWORD kMaxValueNameLength = 16383;  // the registry's limits, without the terminator
constexpr DWORD kMaxKeyNameLength = 255;

HANDLE ToHandle(DeviceHandle handle) { return reinterpret_cast<HANDLE>(handle); }
DeviceHandle FromHandle(HANDLE handle) { return reinterpret_cast<DeviceHandle>(handle); }

GUID ToGuid(const Guid& guid) {
    GUID result{};
    result.Data1 = guid.data1;
    result.Data2 = guid.data2;
    result.Data3 = guid.data3;
    std::copy(guid.data4.begin(), guid.data4.end(), result.Data4);
    return result;
}

// Splits a list of zero-terminated strings ended by an empty one (or by the end of the buffer).
std::vector<std::string> SplitMultiString(const char* text, std::size_t size) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < size && text[at] != '\0') {
        const std::size_t length = ::strnlen(text + at, size - at);
        parts.emplace_back(text + at, length);
        at += length + 1;
    }
    return parts;
}

// The path and device node of one interface: the first call asks for the size.
bool ReadInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, DeviceInterface& entry) {
    DWORD size = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
    std::vector<std::uint8_t> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA node{};
    node.cbSize = sizeof node;
    if (!::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, &node)) return false;
    const std::size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    entry.path.assign(detail->DevicePath, ::strnlen(detail->DevicePath, size - pathOffset));
    entry.instance = node.DevInst;
    return true;
}

HKEY HiveKey(RegistryHive hive) {
    switch (hive) {
        case RegistryHive::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegistryHive::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegistryHive::CurrentUser: return HKEY_CURRENT_USER;
    }
    return HKEY_LOCAL_MACHINE;
}

win32::UniqueKey OpenKey(RegistryHive hive, const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HiveKey(hive), path.c_str(), 0, access, &key) != ERROR_SUCCESS) return {};
    return win32::UniqueKey(key);
}

using NameReader = LONG (*)(HKEY key, DWORD index, char* name, DWORD* length);

// Collects names by index until the registry says there are no more.
bool EnumerateNames(RegistryHive hive, const std::string& path, DWORD maxLength, NameReader read,
                    std::vector<std::string>& names) {
    names.clear();
    const win32::UniqueKey key = OpenKey(hive, path, KEY_READ);
    if (!key) return false;
    std::vector<char> name(maxLength + 1);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG result = read(key.get(), index, name.data(), &length);
        if (result == ERROR_NO_MORE_ITEMS) return true;
        if (result != ERROR_SUCCESS) return false;
        names.emplace_back(name.data(), length);
    }
}

LONG ReadValueName(HKEY key, DWORD index, char* name, DWORD* length) {
    return ::RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

LONG ReadKeyName(HKEY key, DWORD index, char* name, DWORD* length) {
    return ::RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);

std::uint32_t KernelMajorVersion() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return 0;
    const FARPROC found = ::GetProcAddress(ntdll, "RtlGetVersion");
    if (found == nullptr) return 0;
    // Through the generic function type, which the compilers accept as a bridge between two
    // function pointer types.
    const auto getVersion = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void (*)()>(found));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    return getVersion(&info) == 0 ? info.dwMajorVersion : 0;
}

std::uint32_t ReportedMajorVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, yet the fallback where the kernel call is missing
#endif
    const BOOL known = ::GetVersionExA(&info);
    return known ? info.dwMajorVersion : 0;
}

}  // namespace

// ---------------------------------------------------------------- files, devices, requests

DeviceHandle Win32DeviceStack::Open(const std::string& path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                                    std::uint32_t creationDisposition, std::uint32_t flags,
                                    std::uint32_t& lastError) {
    const HANDLE handle =
        ::CreateFileA(path.c_str(), desiredAccess, shareMode, nullptr, creationDisposition, flags, nullptr);
    lastError = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    return handle == INVALID_HANDLE_VALUE ? kInvalidDeviceHandle : FromHandle(handle);
}

bool Win32DeviceStack::Close(DeviceHandle handle) {
    if (handle == kInvalidDeviceHandle) return false;
    return ::CloseHandle(ToHandle(handle)) != FALSE;
}

bool Win32DeviceStack::Control(DeviceHandle handle, std::uint32_t controlCode, const void* input,
                               std::uint32_t inputSize, void* output, std::uint32_t outputSize,
                               std::uint32_t& returned, std::uint32_t& lastError) {
    returned = 0;
    if (handle == kInvalidDeviceHandle) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if constexpr (kNativePassThroughDiffers) {
        if (controlCode == kIoctlScsiPassThrough) {
            return NativePassThrough(handle, input, inputSize, output, outputSize, returned, lastError);
        }
    }
    DWORD bytes = 0;
    const BOOL delivered = ::DeviceIoControl(ToHandle(handle), controlCode, const_cast<void*>(input), inputSize,
                                             output, outputSize, &bytes, nullptr);
    lastError = delivered ? ERROR_SUCCESS : ::GetLastError();
    returned = bytes;
    return delivered != FALSE;
}

bool Win32DeviceStack::NativePassThrough(DeviceHandle handle, const void* input, std::uint32_t inputSize, void* output,
                                         std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) {
    const auto native = std::make_unique<NativePassThroughBlock>();
    const std::uint32_t nativeInput = ToNativePassThrough(input, inputSize, *native);
    if (nativeInput == 0 || outputSize < kHeaderAndSenseSize || outputSize > sizeof(ScsiPassThroughBlock)) {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const DWORD nativeOutput = kNativeDataOffset + (outputSize - kHeaderAndSenseSize);
    DWORD bytes = 0;
    const BOOL delivered = ::DeviceIoControl(ToHandle(handle), kIoctlScsiPassThrough, native.get(), nativeInput,
                                             native.get(), nativeOutput, &bytes, nullptr);
    lastError = delivered ? ERROR_SUCCESS : ::GetLastError();
    if (!delivered) return false;
    // The reply goes into the caller's buffer in the layout it sent (the same buffer as the request).
    if (output != input) std::memcpy(output, input, std::min(inputSize, outputSize));
    returned = FromNativePassThrough(*native, bytes, output, outputSize);
    return true;
}

// ---------------------------------------------------------------- device interfaces and nodes

bool Win32DeviceStack::EnumerateInterfaces(const Guid& interfaceClass, std::vector<DeviceInterface>& interfaces) {
    interfaces.clear();
    const GUID guid = ToGuid(interfaceClass);
    const UniqueDeviceInfoSet set(
        ::SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return false;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &guid, index, &data)) break;
        DeviceInterface entry;
        if (!ReadInterfaceDetail(set.get(), data, entry)) break;  // the list ends at an unreadable entry
        interfaces.push_back(std::move(entry));
    }
    return true;
}

bool Win32DeviceStack::ParentOf(DeviceInstance instance, DeviceInstance& parent) {
    DEVINST found = 0;
    if (::CM_Get_Parent(&found, instance, 0) != CR_SUCCESS) return false;
    parent = found;
    return true;
}

bool Win32DeviceStack::FirstChildOf(DeviceInstance instance, DeviceInstance& child) {
    DEVINST found = 0;
    if (::CM_Get_Child(&found, instance, 0) != CR_SUCCESS) return false;
    child = found;
    return true;
}

bool Win32DeviceStack::DeviceIdOf(DeviceInstance instance, std::string& deviceId) {
    ULONG length = 0;
    if (::CM_Get_Device_ID_Size(&length, instance, 0) != CR_SUCCESS) return false;
    std::vector<char> buffer(length + 1);
    if (::CM_Get_Device_IDA(instance, buffer.data(), static_cast<ULONG>(buffer.size()), 0) != CR_SUCCESS)
        return false;
    deviceId.assign(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
    return true;
}

bool Win32DeviceStack::HardwareIdsOf(DeviceInstance instance, std::vector<std::string>& hardwareIds) {
    hardwareIds.clear();
    ULONG type = 0;
    ULONG size = 0;
    const CONFIGRET sized = ::CM_Get_DevNode_Registry_PropertyA(instance, CM_DRP_HARDWAREID, &type, nullptr, &size, 0);
    if ((sized != CR_BUFFER_SMALL && sized != CR_SUCCESS) || size == 0) return false;
    std::vector<char> buffer(size);
    if (::CM_Get_DevNode_Registry_PropertyA(instance, CM_DRP_HARDWAREID, &type, buffer.data(), &size, 0) !=
        CR_SUCCESS)
        return false;
    hardwareIds = SplitMultiString(buffer.data(), std::min<std::size_t>(size, buffer.size()));
    return true;
}

std::uint32_t Win32DeviceStack::RequestEject(DeviceInstance instance) {
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    char vetoName[MAX_PATH] = {};
    const CONFIGRET result = ::CM_Request_Device_EjectA(instance, &veto, vetoName, MAX_PATH, 0);
    if (result == CR_SUCCESS && veto != PNP_VetoTypeUnknown) return CR_REMOVE_VETOED;
    return result;
}

// ---------------------------------------------------------------- registry

bool Win32DeviceStack::ReadRegistryValue(RegistryHive hive, const std::string& key, const std::string& name,
                                         std::uint32_t& type, std::vector<std::uint8_t>& data) {
    const win32::UniqueKey opened = OpenKey(hive, key, KEY_QUERY_VALUE);
    if (!opened) return false;
    // The size first; the value may grow between the two calls, so ask again when it did.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD valueType = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(opened.get(), name.c_str(), nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS)
            return false;
        std::vector<std::uint8_t> buffer(size + 1);  // never empty, so the pointer is never null
        DWORD got = static_cast<DWORD>(buffer.size());
        const LONG result = ::RegQueryValueExA(opened.get(), name.c_str(), nullptr, &valueType, buffer.data(), &got);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) return false;
        buffer.resize(got);
        data = std::move(buffer);
        type = valueType;
        return true;
    }
    return false;
}

bool Win32DeviceStack::EnumerateRegistryValues(RegistryHive hive, const std::string& key,
                                               std::vector<std::string>& names) {
    return EnumerateNames(hive, key, kMaxValueNameLength, &ReadValueName, names);
}

bool Win32DeviceStack::EnumerateRegistryKeys(RegistryHive hive, const std::string& key,
                                             std::vector<std::string>& names) {
    return EnumerateNames(hive, key, kMaxKeyNameLength, &ReadKeyName, names);
}

bool Win32DeviceStack::WriteRegistryValue(RegistryHive hive, const std::string& key, const std::string& name,
                                          std::uint32_t type, const std::vector<std::uint8_t>& data) {
    const win32::UniqueKey opened = OpenKey(hive, key, KEY_SET_VALUE);
    if (!opened) return false;
    const BYTE none = 0;
    const BYTE* bytes = data.empty() ? &none : data.data();
    return ::RegSetValueExA(opened.get(), name.c_str(), 0, type, bytes, static_cast<DWORD>(data.size())) ==
           ERROR_SUCCESS;
}

bool Win32DeviceStack::DeleteRegistryValue(RegistryHive hive, const std::string& key, const std::string& name) {
    const win32::UniqueKey opened = OpenKey(hive, key, KEY_SET_VALUE);
    if (!opened) return false;
    return ::RegDeleteValueA(opened.get(), name.c_str()) == ERROR_SUCCESS;
}

bool Win32DeviceStack::DeleteRegistryTree(RegistryHive hive, const std::string& key) {
    if (key.empty()) return false;  // never the whole hive
    return ::RegDeleteTreeA(HiveKey(hive), key.c_str()) == ERROR_SUCCESS;
}

std::uint32_t Win32DeviceStack::CheckRegistryKey(RegistryHive hive, const std::string& key) {
    HKEY opened = nullptr;
    const LONG result = ::RegOpenKeyExA(HiveKey(hive), key.c_str(), 0, KEY_READ, &opened);
    const win32::UniqueKey owner(opened);
    return static_cast<std::uint32_t>(result);
}

std::uint32_t Win32DeviceStack::DeleteRegistryKey(RegistryHive hive, const std::string& key) {
    if (key.empty()) return ERROR_INVALID_PARAMETER;  // never the whole hive
    return static_cast<std::uint32_t>(::RegDeleteKeyA(HiveKey(hive), key.c_str()));
}

bool Win32DeviceStack::GrantRegistryKeyToAdministrators(RegistryHive hive, const std::string& key,
                                                        std::string& report) {
    if (key.empty()) return false;  // never the whole hive
    const char* root = hive == RegistryHive::LocalMachine  ? "MACHINE\\"
                       : hive == RegistryHive::CurrentUser ? "CURRENT_USER\\"
                                                           : "CLASSES_ROOT\\";
    return win32::GrantKeyToAdministrators(root + key, report);
}

// ---------------------------------------------------------------- drives and volumes

std::uint32_t Win32DeviceStack::LogicalDriveMask() { return ::GetLogicalDrives(); }

std::uint32_t Win32DeviceStack::DriveType(const std::string& root) { return ::GetDriveTypeA(root.c_str()); }

bool Win32DeviceStack::EnumerateVolumes(std::vector<std::string>& volumeNames) {
    volumeNames.clear();
    char name[MAX_PATH] = {};
    const UniqueVolumeFind find(::FindFirstVolumeA(name, MAX_PATH));
    if (!find) return ::GetLastError() == ERROR_NO_MORE_FILES;
    do {
        volumeNames.emplace_back(name);
    } while (::FindNextVolumeA(find.get(), name, MAX_PATH));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

bool Win32DeviceStack::VolumePathNames(const std::string& volumeName, std::vector<std::string>& paths) {
    paths.clear();
    DWORD length = 0;
    if (!::GetVolumePathNamesForVolumeNameA(volumeName.c_str(), nullptr, 0, &length) &&
        ::GetLastError() != ERROR_MORE_DATA)
        return false;
    std::vector<char> buffer(std::max<DWORD>(length, 2));
    if (!::GetVolumePathNamesForVolumeNameA(volumeName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                            &length))
        return false;
    paths = SplitMultiString(buffer.data(), buffer.size());
    return true;
}

std::uint32_t Win32DeviceStack::SystemMajorVersion() {
    const std::uint32_t kernel = KernelMajorVersion();
    return kernel != 0 ? kernel : ReportedMajorVersion();
}

}  // namespace devio
