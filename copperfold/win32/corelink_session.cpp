#include "corelink_session.h"

#include <initguid.h>

#include "corelink_api.h"

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
    if (!component || slot >= deviceHandles.size()) return;
    BYTE state = 0;
    component->OpenDiskPathBySymbolicName(deviceHandles.data(), slot, devicePath.c_str());
    component->ReadButton_USD(deviceHandles.data(), slot, 0, 2, &state);
    component->CloseDiskPath(deviceHandles.data(), slot);
}

}  // namespace copperfold
