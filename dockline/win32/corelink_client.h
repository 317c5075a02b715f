#pragma once
// The bar's device-access component: COM initialised and one ICorelinkCtrl created for the
// bar's life, with the component's open-slot handle array. When the component cannot be
// created the bar runs without device functions: every operation answers "failed" and no call
// goes through an empty pointer.

#include <windows.h>

#include <array>
#include <cstdint>

#include "dockline/core/device_table_builder.h"

struct ICorelinkCtrl;

namespace dockline {

class CorelinkClient {
public:
    CorelinkClient();
    ~CorelinkClient();
    CorelinkClient(const CorelinkClient&) = delete;
    CorelinkClient& operator=(const CorelinkClient&) = delete;

    bool Available() const { return component_ != nullptr; }
    // Fills the list (left zeroed without a component) and sets every handle to invalid.
    void ScanDeviceList(DeviceList& list);
    bool OpenDevice(std::uint8_t slot, const char* devicePath);
    bool ReadButton(std::uint8_t slot, std::uint8_t& state);
    // Writes 2, which releases a latched press.
    bool AcknowledgeButton(std::uint8_t slot);
    void CloseDevice(std::uint8_t slot);
    // Releases the component (the bar does so when its window is destroyed).
    void Release();

private:
    bool comInitialized_ = false;
    ICorelinkCtrl* component_ = nullptr;
    std::array<HANDLE, 32> handles_{};
};

}  // namespace dockline
