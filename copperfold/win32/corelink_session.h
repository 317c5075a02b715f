#pragma once
// Copperfold's one device-access component object: COM initialised and the component created
// when the main frame is built, released and COM ended when it goes, with the open-slot handle
// array that the component's open and close operations fill. Without the component (not
// registered, or another platform) every operation here does nothing.

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct ICorelinkCtrl;

namespace copperfold {

class CorelinkSession {
public:
    CorelinkSession();
    ~CorelinkSession();
    CorelinkSession(const CorelinkSession&) = delete;
    CorelinkSession& operator=(const CorelinkSession&) = delete;

    // Null when the component could not be created; every caller then skips its use.
    ICorelinkCtrl* Component() const { return component; }
    std::array<HANDLE, 32>& DeviceHandles() { return deviceHandles; }
    void InvalidateHandles() { deviceHandles.fill(INVALID_HANDLE_VALUE); }

    // Tells the device its button press was handled: open, write 2 to the button state,
    // close. The results are not looked at; a slot outside the handle array is never passed on.
    void AcknowledgeButton(std::uint8_t slot, const std::string& devicePath);

    // Stops the enclosure of `devicePath` so it can be unplugged: its volumes (`letters`) are
    // flushed, locked and dismounted, then the system is asked to remove the USB device.
    enum class EjectResult { Done, Vetoed, Failed, NotFound, NoComponent };
    struct EjectOutcome {
        EjectResult result = EjectResult::NoComponent;
        std::uint32_t code = 0;  // the configuration manager's answer when it failed
    };
    EjectOutcome EjectEnclosure(std::uint8_t slot, const std::string& devicePath, std::string_view letters);

private:
    bool comInitialized = false;
    ICorelinkCtrl* component = nullptr;
    std::array<HANDLE, 32> deviceHandles{};
};

}  // namespace copperfold
