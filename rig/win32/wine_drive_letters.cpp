#include "wine_drive_letters.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "common/core/text_codec.h"
#include "common/win32/unique_handle.h"

namespace rig {

namespace {

// Wine's mount manager extension that defines a drive letter for a Unix folder: the request
// record, followed by the NUL-terminated Unix path of the folder (none removes the letter).
constexpr DWORD kDefineUnixDrive = (0x6D << 16) | (3 << 14) | (32 << 2);  // read and write access, buffered

#pragma pack(push, 8)
struct UnixDriveRequest {
    ULONG size;
    ULONG type;       // the drive type, DRIVE_NO_ROOT_DIR to remove
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;     // lower case
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
#pragma pack(pop)
static_assert(sizeof(UnixDriveRequest) == 32);
static_assert(offsetof(UnixDriveRequest, letter) == 24);

using UnixFileNameFunction = char*(CDECL*)(const WCHAR*);

}  // namespace

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool SetWineDriveLetter(char letter, const std::string& folder) {
    std::string unixPath;
    if (!folder.empty() && folder.front() == '/') {
        unixPath = folder;  // written for the host, as rig files on Linux are
    } else if (!folder.empty()) {
        const auto toUnix = reinterpret_cast<UnixFileNameFunction>(reinterpret_cast<void (*)()>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        if (!toUnix) return false;
        char* converted = toUnix(common::Utf8ToWide(folder).c_str());
        if (!converted) return false;
        unixPath = converted;
        ::HeapFree(::GetProcessHeap(), 0, converted);
    }

    std::vector<std::uint8_t> request(sizeof(UnixDriveRequest) + unixPath.size() + 1, 0);
    UnixDriveRequest header{};
    header.size = static_cast<ULONG>(request.size());
    header.type = folder.empty() ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
    header.letter = static_cast<WCHAR>(letter - 'A' + 'a');
    header.mountPointOffset = folder.empty() ? 0 : static_cast<USHORT>(sizeof header);
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + sizeof header, unixPath.c_str(), unixPath.size() + 1);

    const win32::UniqueFile manager(::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                  nullptr));
    if (!manager) return false;
    DWORD returned = 0;
    return ::DeviceIoControl(manager.get(), kDefineUnixDrive, request.data(), static_cast<DWORD>(request.size()),
                             nullptr, 0, &returned, nullptr) != FALSE;
}

}  // namespace rig
