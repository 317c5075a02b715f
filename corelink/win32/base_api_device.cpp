// The ICorelinkCtrl slots that reach an enclosure: each hands its arguments to the device operation
// of the same name, on the process's device stack, with traces going to the debugger output. The
// operations trace their own names.
#include "base_api.h"
#include "common/core/device_stack_selection.h"
#include "corelink/core/device_operations.h"
#include "debug_trace.h"
#include "handle_slot.h"

namespace corelink::com {
namespace {

corelink::Device SystemDevice() { return corelink::Device{devio::SystemDeviceStack(), DebugOutputTracer()}; }

}  // namespace

int STDMETHODCALLTYPE CBaseAPI::OpenDiskPath(HANDLE* handles, int letterIndex) {
    // The handle lands at slot letterIndex, which has to be a slot of the caller's array.
    if (letterIndex < 0 || letterIndex >= static_cast<int>(HandleSlot::kSlots)) {
        Trace("OpenDiskPath()");
        return 0;
    }
    HandleSlot slot(handles, static_cast<std::size_t>(letterIndex));
    corelink::Device device = SystemDevice();
    return corelink::OpenDiskPath(device, slot.Array(), letterIndex);
}

int STDMETHODCALLTYPE CBaseAPI::CloseDiskPath(HANDLE* handles, BYTE slot) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::CloseDiskPath(device, handle.Array(), slot);
}

int STDMETHODCALLTYPE CBaseAPI::OpenDiskPathBySymbolicName(HANDLE* handles, BYTE slot, const char* devicePath) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::OpenDiskPathBySymbolicName(device, handle.Array(), slot, devicePath);
}

int STDMETHODCALLTYPE CBaseAPI::ReadInquery(HANDLE* handles, BYTE slot, BYTE* data) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::ReadInquery(device, handle.Array(), slot, data);
}

int STDMETHODCALLTYPE CBaseAPI::ReadButton_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::ReadButton_USD(device, handle.Array(), slot, read, value, data);
}

int STDMETHODCALLTYPE CBaseAPI::ReadEEPROM_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12, BYTE cdbByte13,
                                               DWORD address, WORD length, BYTE* data) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::ReadEEPROM_USD(device, handle.Array(), slot, read, cdbByte12, cdbByte13, address, length, data);
}

int STDMETHODCALLTYPE CBaseAPI::ReadFW_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13, DWORD address,
                                           WORD length, BYTE* data) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::ReadFW_USD(device, handle.Array(), slot, read, cdbByte13, address, length, data);
}

int STDMETHODCALLTYPE CBaseAPI::GetPMInfo_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::GetPMInfo_USD(device, handle.Array(), slot, length, data);
}

int STDMETHODCALLTYPE CBaseAPI::EnableSuspned_USD(HANDLE* handles, BYTE slot, BYTE enable) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::EnableSuspned_USD(device, handle.Array(), slot, enable);
}

int STDMETHODCALLTYPE CBaseAPI::SetTimer_USD(HANDLE* handles, BYTE slot, WORD timer) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::SetTimer_USD(device, handle.Array(), slot, timer);
}

int STDMETHODCALLTYPE CBaseAPI::SetHDCapLED_USD(HANDLE* handles, BYTE slot, BYTE value) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::SetHDCapLED_USD(device, handle.Array(), slot, value);
}

int STDMETHODCALLTYPE CBaseAPI::ATAIdentify_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::ATAIdentify_USD(device, handle.Array(), slot, length, data);
}

int STDMETHODCALLTYPE CBaseAPI::ReadSPI_USD(HANDLE* handles, BYTE slot, BYTE mode, DWORD word12, DWORD address,
                                            BYTE byte10, WORD word9, WORD length, BYTE* data) {
    HandleSlot handle(handles, slot);
    corelink::Device device = SystemDevice();
    return corelink::ReadSPI_USD(device, handle.Array(), slot, mode, word12, address, byte10, word9, length, data);
}

}  // namespace corelink::com
