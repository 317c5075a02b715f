// The ICorelinkCtrl slots of disk I/O, volume lock, safe removal and registry clean-up: each hands
// its arguments to the device operation of the same name, on the process's device stack. Timed
// transfers are timed with the platform's performance counter.
#include <string>

#include "base_api.h"
#include "corelink/core/device_removal.h"
#include "corelink/core/disk_transfer.h"
#include "corelink/core/volume_lock.h"
#include "slot_call.h"

namespace corelink::com {
namespace {

std::uint64_t PerformanceCounterTicks() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return static_cast<std::uint64_t>(now.QuadPart);
}

// `text` in the system code page; false for null text or text that cannot be converted.
bool ToAnsi(const WCHAR* text, std::string& ansi) {
    if (text == nullptr) return false;
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    ansi.assign(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), size, nullptr, nullptr) != size) return false;
    ansi.pop_back();  // the terminating NUL
    return true;
}

// Runs a device operation that needs no handle slot; an exception becomes `failure`.
template <typename Result, typename Operation>
Result OnSystem(Result failure, Operation operation) noexcept {
    return Guarded(failure, [&] {
        corelink::Device device = SystemDevice();
        return operation(device);
    });
}

}  // namespace

int STDMETHODCALLTYPE CBaseAPI::ReadDisk(HANDLE* handles, BYTE slot, DWORD lba, DWORD byteCount, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadDisk(device, array, slot, lba, byteCount, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::WriteDiskRetry(HANDLE* handles, BYTE slot, DWORD lba, DWORD byteCount,
                                               const BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::WriteDiskRetry(device, array, slot, lba, byteCount, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadDiskEx(HANDLE* handles, BYTE slot, BYTE lun, DWORD lba, DWORD byteCount, BYTE* data,
                                           DWORD* ticks) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        std::uint32_t measured = 0;
        const int result =
            corelink::ReadDiskEx(device, array, slot, lun, lba, byteCount, data, &measured, &PerformanceCounterTicks);
        if (ticks != nullptr) *ticks = measured;
        return result;
    });
}

int STDMETHODCALLTYPE CBaseAPI::WriteDisk(HANDLE* handles, BYTE slot, BYTE lun, DWORD lba, DWORD byteCount,
                                          const BYTE* data, DWORD* ticks) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        std::uint32_t measured = 0;
        const int result =
            corelink::WriteDisk(device, array, slot, lun, lba, byteCount, data, &measured, &PerformanceCounterTicks);
        if (ticks != nullptr) *ticks = measured;
        return result;
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadCapacity(HANDLE* handles, BYTE slot, DWORD* lastLba, DWORD* blockLength) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        std::uint32_t last = 0;
        std::uint32_t length = 0;
        const int result = corelink::ReadCapacity(device, array, slot, &last, &length);
        if (lastLba != nullptr) *lastLba = last;
        if (blockLength != nullptr) *blockLength = length;
        return lastLba != nullptr && blockLength != nullptr ? result : 0;
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadCapacityEx(HANDLE* handles, BYTE slot, BYTE lun, DWORD* lastLba,
                                               DWORD* blockLength) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        std::uint32_t last = 0;
        std::uint32_t length = 0;
        const int result = corelink::ReadCapacityEx(device, array, slot, lun, &last, &length);
        if (lastLba != nullptr) *lastLba = last;
        if (blockLength != nullptr) *blockLength = length;
        return lastLba != nullptr && blockLength != nullptr ? result : 0;
    });
}

int STDMETHODCALLTYPE CBaseAPI::Disk_Lock(HANDLE* handles, BYTE slot, HANDLE* volume) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        if (volume == nullptr) return static_cast<int>(corelink::Disk_Lock(device, array, slot, nullptr));
        devio::DeviceHandle locked = devio::kInvalidDeviceHandle;
        const std::uint32_t result = corelink::Disk_Lock(device, array, slot, &locked);
        *volume = reinterpret_cast<HANDLE>(locked);
        return static_cast<int>(result);
    });
}

int STDMETHODCALLTYPE CBaseAPI::Disk_Unlock(HANDLE* handles, BYTE slot, HANDLE volume) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::Disk_Unlock(device, array, slot, reinterpret_cast<devio::DeviceHandle>(volume));
    });
}

int STDMETHODCALLTYPE CBaseAPI::DeviceSafeRemoval(DWORD devInst) {
    return OnSystem(
        0, [&](corelink::Device& device) { return static_cast<int>(corelink::DeviceSafeRemoval(device, devInst)); });
}

int STDMETHODCALLTYPE CBaseAPI::DeleteDevRegistryRecord(WORD vid, WORD pid) {
    return OnSystem(0, [&](corelink::Device& device) { return corelink::DeleteDevRegistryRecord(device, vid, pid); });
}

int STDMETHODCALLTYPE CBaseAPI::DeleteDevRegistryRecordEx(WORD vid, WORD pid, const WCHAR* vendor, const WCHAR* product,
                                                          const WCHAR* revision) {
    return OnSystem(0, [&](corelink::Device& device) {
        std::string ansiVendor, ansiProduct, ansiRevision;
        const bool converted =
            ToAnsi(vendor, ansiVendor) && ToAnsi(product, ansiProduct) && ToAnsi(revision, ansiRevision);
        // A text that cannot be had is refused as the operation refuses any unusable text.
        return corelink::DeleteDevRegistryRecordEx(device, vid, pid, converted ? ansiVendor.c_str() : nullptr,
                                                   ansiProduct.c_str(), ansiRevision.c_str());
    });
}

int STDMETHODCALLTYPE CBaseAPI::SetIgnoredRegistry(WORD vid, WORD pid) {
    return OnSystem(0, [&](corelink::Device& device) { return corelink::SetIgnoredRegistry(device, vid, pid); });
}

}  // namespace corelink::com
