// The library's entry points: each reads the caller's block, runs the platform-free operation on
// this process's device stack (the platform's, or the simulated enclosure's under ENCLOSURE_RIG)
// or its file system, and writes the result into the block. No exception leaves the library.
#include <windows.h>

#include <string>

#include "common/core/device_stack_selection.h"
#include "image_files_win32.h"
#include "volkern/core/build_operations.h"
#include "volkern/core/format_request.h"
#include "volkern/include/volkern_api.h"

namespace {

using volkern::BuildResult;
using volkern::FormatRequest;

volkern::BuildTime Now() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return volkern::BuildTime{local.wYear, local.wMonth,  local.wDay,
                              local.wHour, local.wMinute, local.wSecond, local.wMilliseconds / 10};
}

// The drive letter a path such as "C:\Windows" starts with, upper case; 0 for none.
char LetterOf(const char* path) {
    if (path == nullptr || path[0] == '\0' || path[1] != ':') return 0;
    const char c = path[0];
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c >= 'A' && c <= 'Z' ? c : 0;
}

// The system's own drives: the one holding the Windows folder, and the one the running program
// was started from.
volkern::SystemFacts SystemDrives() {
    volkern::SystemFacts facts;
    char path[MAX_PATH + 1] = {};
    const UINT windows = ::GetSystemWindowsDirectoryA(path, MAX_PATH);
    if (windows > 0 && windows < MAX_PATH && LetterOf(path) != 0) facts.systemLetters += LetterOf(path);
    char program[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length > 0 && length < MAX_PATH && LetterOf(program) != 0) facts.systemLetters += LetterOf(program);
    return facts;
}

// Reads the block, runs `operation` on the request, stores status and root sector; an exception
// becomes VOLKERN_ERROR_INTERNAL.
template <typename Operation>
std::uint32_t Run(VolkernParameters* block, Operation operation) noexcept {
    if (block == nullptr) return VOLKERN_ERROR_NO_BLOCK;
    std::uint32_t status = VOLKERN_ERROR_INTERNAL;
    std::uint32_t rootSector = 0;
    try {
        const volkern::RequestRead read = volkern::ReadRequest(*block, Now());
        if (read.error != VOLKERN_OK) {
            status = read.error;
        } else {
            const BuildResult result = operation(read.request);
            status = result.status;
            rootSector = result.rootSector;
        }
    } catch (...) {
        status = VOLKERN_ERROR_INTERNAL;
    }
    block->status = status;
    if (status == VOLKERN_OK) block->rootSector = rootSector;
    return status;
}

std::uint32_t BuildPhysicalDisk(std::uint32_t deviceNumber, VolkernParameters* block, bool unmount) noexcept {
    return Run(block, [&](const FormatRequest& request) {
        return volkern::BuildPhysicalDisk(devio::SystemDeviceStack(), SystemDrives(), deviceNumber, request, unmount);
    });
}

}  // namespace

extern "C" {

uint32_t VOLKERN_CALL knlfs_CreateFileSystemImage(VolkernParameters* block) {
    return Run(block, [](const FormatRequest& request) {
        volkern::win32_glue::Win32ImageFiles files;
        return volkern::CreateImage(files, request);
    });
}

uint32_t VOLKERN_CALL knlfs_BuildDriveFileSystem(VolkernParameters* block, int drive) {
    return Run(block, [&](const FormatRequest& request) {
        return volkern::BuildDrive(devio::SystemDeviceStack(), SystemDrives(), drive, request);
    });
}

uint32_t VOLKERN_CALL knlfs_BuildPhyDiskFileSystem(uint32_t deviceNumber, VolkernParameters* block) {
    return BuildPhysicalDisk(deviceNumber, block, true);
}

uint32_t VOLKERN_CALL knlfs_BuildPhyDiskFileSystemNoUMount(uint32_t deviceNumber, VolkernParameters* block) {
    return BuildPhysicalDisk(deviceNumber, block, false);
}

uint32_t VOLKERN_CALL knlfs_GetFAT32RootSectorAddr(VolkernParameters* block) {
    const std::uint32_t status = Run(block, [](const FormatRequest& request) {
        volkern::win32_glue::Win32ImageFiles files;
        return volkern::RootSectorOf(files, request);
    });
    return status == VOLKERN_OK ? block->rootSector : 0;
}

}  // extern "C"
