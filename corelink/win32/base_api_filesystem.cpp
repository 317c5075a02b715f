// The ICorelinkCtrl file-system slots: each traces its name, loads Volkern.dll from the
// component's folder for the one call, looks the entry point up by name, calls it with the
// caller's parameter block and lets the library go. Results: 1 when the block's status is 0,
// 0 when it is not (or an argument is missing), the system's error when the library cannot be
// loaded or a disk's device number cannot be read.
//
// The "W" slots hand the library a private copy of the block with 8-bit copies of its strings
// (ansi_parameters.h); the caller's block gets the status and root sector back and keeps its own
// string pointers.
#include <cstdio>

#include "ansi_parameters.h"
#include "base_api.h"
#include "com_boundary.h"
#include "common/core/device_stack_selection.h"
#include "corelink/core/volume_lock.h"
#include "debug_trace.h"
#include "slot_call.h"
#include "volkern/include/volkern_api.h"
#include "volkern_library.h"

namespace corelink::com {
namespace {

using BlockCall = std::uint32_t(VOLKERN_CALL*)(VolkernParameters*);
using DriveCall = std::uint32_t(VOLKERN_CALL*)(VolkernParameters*, int);
using DiskCall = std::uint32_t(VOLKERN_CALL*)(std::uint32_t, VolkernParameters*);

constexpr int kAttempts = 3;

int ResultOf(const VolkernParameters& block) { return block.status == VOLKERN_OK ? 1 : 0; }

// The trace texts that carry numbers.
void TraceSlotCall(const char* name, BYTE slot) {
    char text[64];
    std::snprintf(text, sizeof text, "%s(%d)", name, slot);
    Trace(text);
}

void TraceDeviceNumber(BYTE slot, std::uint32_t number) {
    char text[64];
    std::snprintf(text, sizeof text, "Index=%d, DeviceNumber=%x", slot, static_cast<unsigned>(number));
    Trace(text);
}

void TraceBuildError(std::uint32_t status) {
    char text[64];
    std::snprintf(text, sizeof text, "BuildPhyDiskFileSystem_Error:%x", static_cast<unsigned>(status));
    Trace(text);
}

// Runs `call(function)` with entry point `name` of a freshly loaded library; the system's error
// when it cannot be loaded or lacks the entry point.
template <typename Function, typename Call>
int WithLibrary(const char* name, Call call) {
    VolkernLibrary library;
    if (!library.Loaded()) return static_cast<int>(library.Error());
    const auto function = library.Find<Function>(name);
    if (function == nullptr) return static_cast<int>(library.Error());
    return call(function);
}

// A block-only entry point; `wide`: the block's strings are wide.
int CallWithBlock(const char* name, void* params, bool wide) {
    if (params == nullptr) return 0;
    auto& block = *static_cast<VolkernParameters*>(params);
    return WithLibrary<BlockCall>(name, [&](BlockCall function) {
        if (!wide) {
            function(&block);
            return ResultOf(block);
        }
        AnsiParameters ansi(block);
        if (!ansi.Valid()) {
            block.status = VOLKERN_ERROR_TEXT;
            return 0;
        }
        function(ansi.Block());
        ansi.ReturnResults(block);
        return ResultOf(block);
    });
}

int CallWithDrive(void* params, int drive, bool wide) {
    if (params == nullptr) return 0;
    auto& block = *static_cast<VolkernParameters*>(params);
    return WithLibrary<DriveCall>("knlfs_BuildDriveFileSystem", [&](DriveCall function) {
        if (!wide) {
            function(&block, drive);
            return ResultOf(block);
        }
        AnsiParameters ansi(block);
        if (!ansi.Valid()) {
            block.status = VOLKERN_ERROR_TEXT;
            return 0;
        }
        function(ansi.Block(), drive);
        ansi.ReturnResults(block);
        return ResultOf(block);
    });
}

const char* DiskEntryPoint(bool noUnmount) {
    return noUnmount ? "knlfs_BuildPhyDiskFileSystemNoUMount" : "knlfs_BuildPhyDiskFileSystem";
}

// BuildPhyDiskFileSystem: one call with the device number of the slot's handle.
int BuildOnDisk(HANDLE* handles, BYTE slot, void* params) {
    if (handles == nullptr || params == nullptr) return 0;
    auto& block = *static_cast<VolkernParameters*>(params);
    corelink::Device device = SystemDevice();
    const auto disk = reinterpret_cast<devio::DeviceHandle>(handles[slot]);
    std::uint32_t number = 0, error = 0;
    if (!corelink::DeviceNumberOf(device, disk, number, error)) return static_cast<int>(error);
    const bool noUnmount = (block.mode & VOLKERN_MODE_UNMOUNT_MASK) == VOLKERN_MODE_NO_UNMOUNT;
    return WithLibrary<DiskCall>(DiskEntryPoint(noUnmount), [&](DiskCall function) {
        function(number, &block);
        return ResultOf(block);
    });
}

// A failure a dismount and another attempt can cure: the disk busy or a transfer refused. A
// refusal (the system's disk, a bad block, a size that does not fit) stays a refusal.
bool WorthRetrying(std::uint32_t status) {
    return status == VOLKERN_ERROR_VOLUME_IN_USE || status == VOLKERN_ERROR_WRITE_FAILED ||
           status == VOLKERN_ERROR_READ_FAILED || status == VOLKERN_ERROR_OPEN_FAILED;
}

// BuildPhyDiskFileSystemW and ...ExW: 8-bit copies of the strings, then up to three attempts,
// with the disk's volume dismounted and its device number read again between them.
int BuildOnDiskWide(HANDLE* handles, BYTE slot, void* params, bool noUnmount) {
    if (handles == nullptr || params == nullptr) return 0;
    auto& block = *static_cast<VolkernParameters*>(params);
    AnsiParameters ansi(block);
    if (!ansi.Valid()) {
        block.status = VOLKERN_ERROR_TEXT;
        return 0;
    }
    corelink::Device device = SystemDevice();
    const auto disk = reinterpret_cast<devio::DeviceHandle>(handles[slot]);
    std::uint32_t number = 0, error = 0;
    if (!corelink::DeviceNumberOf(device, disk, number, error)) return static_cast<int>(error);
    TraceDeviceNumber(slot, number);
    return WithLibrary<DiskCall>(DiskEntryPoint(noUnmount), [&](DiskCall function) {
        for (int attempt = 1;; ++attempt) {
            function(number, ansi.Block());
            ansi.ReturnResults(block);
            if (block.status == VOLKERN_OK) return 1;
            TraceBuildError(block.status);
            if (attempt == kAttempts || !WorthRetrying(block.status)) return 0;
            corelink::DismountVolume(device, disk, true);
            if (!corelink::DeviceNumberOf(device, disk, number, error)) return 0;
        }
    });
}

}  // namespace

int STDMETHODCALLTYPE CBaseAPI::CreateFileSystemImage(void* params) {
    return Guarded(0, [&] {
        Trace("CreateFileSystemImage()");
        return CallWithBlock("knlfs_CreateFileSystemImage", params, false);
    });
}

int STDMETHODCALLTYPE CBaseAPI::CreateFileSystemImageW(void* params) {
    return Guarded(0, [&] {
        Trace("CreateFileSystemImageW()");
        return CallWithBlock("knlfs_CreateFileSystemImage", params, true);
    });
}

int STDMETHODCALLTYPE CBaseAPI::BuildDriveFileSystem(void* params, int drive) {
    return Guarded(0, [&] {
        Trace("BuildDriveFileSystem()");
        return CallWithDrive(params, drive, false);
    });
}

int STDMETHODCALLTYPE CBaseAPI::BuildDriveFileSystemW(void* params, int drive) {
    return Guarded(0, [&] {
        Trace("BuildDriveFileSystemW()");
        return CallWithDrive(params, drive, true);
    });
}

int STDMETHODCALLTYPE CBaseAPI::BuildPhyDiskFileSystem(HANDLE* handles, BYTE slot, void* params) {
    return Guarded(0, [&] {
        Trace("BuildPhyDiskFileSystem()");
        return BuildOnDisk(handles, slot, params);
    });
}

int STDMETHODCALLTYPE CBaseAPI::BuildPhyDiskFileSystemW(HANDLE* handles, BYTE slot, void* params) {
    return Guarded(0, [&] {
        TraceSlotCall("BuildPhyDiskFileSystemW", slot);
        const bool noUnmount = params != nullptr && (static_cast<VolkernParameters*>(params)->mode &
                                                     VOLKERN_MODE_UNMOUNT_MASK) == VOLKERN_MODE_NO_UNMOUNT;
        return BuildOnDiskWide(handles, slot, params, noUnmount);
    });
}

int STDMETHODCALLTYPE CBaseAPI::BuildPhyDiskFileSystemExW(HANDLE* handles, BYTE slot, void* params, int flags) {
    return Guarded(0, [&] {
        TraceSlotCall("BuildPhyDiskFileSystemExW", slot);
        return BuildOnDiskWide(handles, slot, params, (flags & 1) != 0);
    });
}

int STDMETHODCALLTYPE CBaseAPI::GetFAT32RootSectorAddr(void* params, DWORD* sector) {
    return Guarded(0, [&] {
        Trace("GetFAT32RootSectorAddr()");
        if (params == nullptr || sector == nullptr) return 0;
        auto& block = *static_cast<VolkernParameters*>(params);
        return WithLibrary<BlockCall>("knlfs_GetFAT32RootSectorAddr", [&](BlockCall function) {
            *sector = function(&block);
            return ResultOf(block);
        });
    });
}

}  // namespace corelink::com
