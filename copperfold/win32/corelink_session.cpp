#include "corelink_session.h"

#include <initguid.h>

#include "corelink_api.h"

#include <cstring>
#include <memory>

#include "common/win32/unique_handle.h"
#include "copperfold/core/device_scan.h"
#include "copperfold/core/device_trigger.h"

namespace copperfold {

CorelinkSession::CorelinkSession() {
    comInitialized = SUCCEEDED(::CoInitialize(nullptr));
    void* created = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, IID_ICorelinkCtrl, &created))) {
        component = static_cast<ICorelinkCtrl*>(created);
    } else {
        ::OutputDebugStringW(L"Copperfold: the device component could not be created; device functions are off\n");
    }
    InvalidateHandles();
}

CorelinkSession::~CorelinkSession() {
    if (component) component->Release();
    if (comInitialized) ::CoUninitialize();
}

void CorelinkSession::AcknowledgeButton(std::uint8_t slot, const std::string& devicePath) {
    // The path comes from a copy-data record: a pipe, share or file it names is never opened.
    if (!component || slot >= deviceHandles.size() || !IsDeviceInterfacePath(devicePath)) return;
    BYTE state = 0;
    component->OpenDiskPathBySymbolicName(deviceHandles.data(), slot, devicePath.c_str());
    component->ReadButton_USD(deviceHandles.data(), slot, 0, 2, &state);
    component->CloseDiskPath(deviceHandles.data(), slot);
}

CorelinkSession::EjectOutcome CorelinkSession::EjectEnclosure(std::uint8_t slot, const std::string& devicePath,
                                                               std::string_view letters) {
    if (!component) return {EjectResult::NoComponent, 0};
    if (slot >= deviceHandles.size()) return {EjectResult::NotFound, 0};
    // What the cache still holds goes to the drive first.
    for (const char letter : letters) {
        const wchar_t volumePath[] = {L'\\', L'\\', L'.', L'\\', static_cast<wchar_t>(letter), L':', 0};
        win32::UniqueFile volume(::CreateFileW(volumePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
        if (volume) ::FlushFileBuffers(volume.get());
    }
    auto list = std::make_unique<DeviceList>();
    component->ScanUSBPort(list.get());
    const devio::DeviceListEntry* found = nullptr;
    for (const devio::DeviceListEntry& entry : list->entries) {
        const std::string_view path(entry.disk.devicePath, ::strnlen(entry.disk.devicePath, sizeof entry.disk.devicePath));
        if (!path.empty() && ::lstrcmpiA(std::string(path).c_str(), devicePath.c_str()) == 0) {
            found = &entry;
            break;
        }
    }
    if (!found || found->disk.devInst == 0) return {EjectResult::NotFound, 0};

    // Locked and dismounted, the volume holds nothing back; a lock that fails means a program
    // has a file open on it.
    bool locked = false;
    if (component->OpenDiskPathBySymbolicName(deviceHandles.data(), slot, devicePath.c_str())) {
        HANDLE volume = INVALID_HANDLE_VALUE;
        locked = component->Disk_Lock(deviceHandles.data(), slot, &volume) != 0;
        if (locked) component->Disk_Unlock(deviceHandles.data(), slot, volume);
        component->CloseDiskPath(deviceHandles.data(), slot);
    }
    const int answer = component->DeviceSafeRemoval(found->disk.devInst);
    if (answer == 1) return {EjectResult::Done, 0};
    if (answer == 0) return {EjectResult::Vetoed, 0};
    return {locked ? EjectResult::Failed : EjectResult::Vetoed, static_cast<std::uint32_t>(answer)};
}

}  // namespace copperfold
