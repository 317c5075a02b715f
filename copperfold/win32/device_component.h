#pragma once
// The process's one device-access component object, created by the main frame. Without it
// (not registered, or another platform) the program runs with every drive local.

#include <memory>

#include "copperfold_view.h"

struct ICorelinkCtrl;

class DeviceComponent {
public:
    DeviceComponent();  // COM must be initialised on this thread
    ~DeviceComponent();
    DeviceComponent(const DeviceComponent&) = delete;
    DeviceComponent& operator=(const DeviceComponent&) = delete;

    bool Exists() const { return object != nullptr; }
    ICorelinkCtrl* Get() const { return object; }
    // A scan of the USB ports through the component; empty when there is no component.
    CCopperfoldView::DeviceScanner Scanner();

private:
    ICorelinkCtrl* object = nullptr;  // one reference, released at destruction
};
