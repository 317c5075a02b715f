#include <initguid.h>

#include "device_component.h"

#include "corelink_api.h"

DeviceComponent::DeviceComponent() {
    void* created = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_Corelink, nullptr, CLSCTX_INPROC_SERVER, IID_ICorelinkCtrl, &created))) {
        object = static_cast<ICorelinkCtrl*>(created);
    }
}

DeviceComponent::~DeviceComponent() {
    if (object) object->Release();
}

CCopperfoldView::DeviceScanner DeviceComponent::Scanner() {
    if (!object) return {};
    return [component = object](copperfold::DeviceList& list) { component->ScanUSBPort(&list); };
}
