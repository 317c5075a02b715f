// The ICorelinkCtrl slots of device discovery: the storage scans, the USB port walk and its
// polling, and the hub scan. The walk's state and the object's options live in `walk_`; the
// port walks hold the process's scan lock while they run.
#include "base_api.h"
#include "com_boundary.h"
#include "common/core/device_stack_selection.h"
#include "corelink/core/storage_scan.h"
#include "corelink/core/usb_walk.h"
#include "debug_trace.h"
#include "scan_lock.h"
#include "slot_call.h"

namespace corelink::com {
namespace {

constexpr DWORD kPollingLockWaitMs = 10000;

}  // namespace

int STDMETHODCALLTYPE CBaseAPI::ScanDiskPathBySymbolicName(void* list) {
    return Guarded(0, [&] {
        if (list == nullptr) return 0;
        corelink::Device device = SystemDevice();
        return corelink::ScanDiskPathBySymbolicName(device, static_cast<devio::DiskPathEntry*>(list),
                                                    walk_.productFilterOff);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ScanDiskPath(void* list) {
    return Guarded(0, [&] {
        if (list == nullptr) return 0;
        corelink::Device device = SystemDevice();
        return corelink::ScanDiskPath(device, static_cast<devio::DiskPathEntry*>(list));
    });
}

int STDMETHODCALLTYPE CBaseAPI::ScanUSBPort(void* deviceList) {
    return Guarded(0, [&] {
        if (deviceList == nullptr) return 0;
        corelink::Device device = SystemDevice();
        const ScanLockHold lock;
        if (!lock.Held()) return 0;
        return corelink::ScanUSBPort(device, walk_, static_cast<devio::DeviceListEntry*>(deviceList));
    });
}

int STDMETHODCALLTYPE CBaseAPI::PollingSingleUSBPort(void* entry) {
    return Guarded(0, [&] {
        if (entry == nullptr) return 0;
        corelink::Device device = SystemDevice();
        const ScanLockHold lock;
        if (!lock.Held()) return 0;
        return corelink::PollingSingleUSBPort(device, walk_, *static_cast<devio::DeviceListEntry*>(entry));
    });
}

int STDMETHODCALLTYPE CBaseAPI::PollingSingleUSBPortEx(void* entry, BYTE triggerMask, BYTE slotForTrace) {
    return Guarded(0, [&] {
        if (entry == nullptr) return 0;
        corelink::Device device = SystemDevice();
        // Without the lock another walk is running on the same hubs: this poll does not walk.
        const ScanLockHold lock(kPollingLockWaitMs);
        if (!lock.Held()) return 0;
        return corelink::PollingSingleUSBPortEx(device, walk_, *static_cast<devio::DeviceListEntry*>(entry),
                                                triggerMask, slotForTrace);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ScanHub(void* hubList) {
    return Guarded(0, [&] {
        if (hubList == nullptr) return 0;
        corelink::Device device = SystemDevice();
        return corelink::ScanHub(device, walk_, static_cast<devio::HubListRecord*>(hubList));
    });
}

int STDMETHODCALLTYPE CBaseAPI::PollingHubPort(void* hubRecord) {
    return Guarded(0, [&] {
        if (hubRecord == nullptr) return 0;
        corelink::Device device = SystemDevice();
        return corelink::PollingHubPort(device, walk_, *static_cast<devio::HubListRecord*>(hubRecord));
    });
}

}  // namespace corelink::com
