#include "corelink_client.h"

#include <initguid.h>

#include "corelink_api.h"

namespace dockline {

CorelinkClient::CorelinkClient() {
    comInitialized_ = SUCCEEDED(::CoInitialize(nullptr));
    void* created = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, IID_ICorelinkCtrl, &created))) {
        component_ = static_cast<ICorelinkCtrl*>(created);
    } else {
        ::OutputDebugStringW(L"Dockline: the device component could not be created; device functions are off\n");
    }
    handles_.fill(INVALID_HANDLE_VALUE);
}

CorelinkClient::~CorelinkClient() {
    Release();
    if (comInitialized_) ::CoUninitialize();
}

void CorelinkClient::Release() {
    if (component_) component_->Release();
    component_ = nullptr;
}

void CorelinkClient::ScanDeviceList(DeviceList& list) {
    if (component_) component_->ScanUSBPort(list.data());
    handles_.fill(INVALID_HANDLE_VALUE);
}

bool CorelinkClient::OpenDevice(std::uint8_t slot, const char* devicePath) {
    if (!component_ || slot >= handles_.size()) return false;
    return component_->OpenDiskPathBySymbolicName(handles_.data(), slot, devicePath) != 0;
}

bool CorelinkClient::ReadButton(std::uint8_t slot, std::uint8_t& state) {
    if (!component_ || slot >= handles_.size()) return false;
    BYTE value = state;
    const bool read = component_->ReadButton_USD(handles_.data(), slot, 1, 0, &value) != 0;
    if (read) state = value;
    return read;
}

bool CorelinkClient::AcknowledgeButton(std::uint8_t slot) {
    if (!component_ || slot >= handles_.size()) return false;
    BYTE written = 0;
    return component_->ReadButton_USD(handles_.data(), slot, 0, 2, &written) != 0;
}

void CorelinkClient::CloseDevice(std::uint8_t slot) {
    if (component_ && slot < handles_.size()) component_->CloseDiskPath(handles_.data(), slot);
}

}  // namespace dockline
