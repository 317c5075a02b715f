// The ICorelinkCtrl slots that reach an enclosure: each hands its arguments to the device operation
// of the same name, on the process's device stack, with traces going to the debugger output. The
// operations trace their own names.
#include "base_api.h"
#include "corelink/core/device_operations.h"
#include "slot_call.h"

namespace corelink::com {

int STDMETHODCALLTYPE CBaseAPI::OpenDiskPath(HANDLE* handles, int letterIndex) {
    // The handle lands at slot letterIndex, which has to be a slot of the caller's array.
    if (letterIndex < 0 || letterIndex >= static_cast<int>(HandleSlot::kSlots)) {
        Trace("OpenDiskPath()");
        return 0;
    }
    return OnSlot(handles, static_cast<std::size_t>(letterIndex),
                  [&](corelink::Device& device, corelink::HandleArray array) {
                      return corelink::OpenDiskPath(device, array, letterIndex);
                  });
}

int STDMETHODCALLTYPE CBaseAPI::CloseDiskPath(HANDLE* handles, BYTE slot) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::CloseDiskPath(device, array, slot);
    });
}

int STDMETHODCALLTYPE CBaseAPI::OpenDiskPathBySymbolicName(HANDLE* handles, BYTE slot, const char* devicePath) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::OpenDiskPathBySymbolicName(device, array, slot, devicePath);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadInquery(HANDLE* handles, BYTE slot, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadInquery(device, array, slot, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadButton_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE value, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadButton_USD(device, array, slot, read, value, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadEEPROM_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte12, BYTE cdbByte13,
                                               DWORD address, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadEEPROM_USD(device, array, slot, read, cdbByte12, cdbByte13, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadFW_USD(HANDLE* handles, BYTE slot, BYTE read, BYTE cdbByte13, DWORD address,
                                           WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadFW_USD(device, array, slot, read, cdbByte13, address, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::GetPMInfo_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::GetPMInfo_USD(device, array, slot, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::EnableSuspned_USD(HANDLE* handles, BYTE slot, BYTE enable) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::EnableSuspned_USD(device, array, slot, enable);
    });
}

int STDMETHODCALLTYPE CBaseAPI::SetTimer_USD(HANDLE* handles, BYTE slot, WORD timer) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::SetTimer_USD(device, array, slot, timer);
    });
}

int STDMETHODCALLTYPE CBaseAPI::SetHDCapLED_USD(HANDLE* handles, BYTE slot, BYTE value) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::SetHDCapLED_USD(device, array, slot, value);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ATAIdentify_USD(HANDLE* handles, BYTE slot, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ATAIdentify_USD(device, array, slot, length, data);
    });
}

int STDMETHODCALLTYPE CBaseAPI::ReadSPI_USD(HANDLE* handles, BYTE slot, BYTE mode, DWORD word12, DWORD address,
                                            BYTE byte10, WORD word9, WORD length, BYTE* data) {
    return OnSlot(handles, slot, [&](corelink::Device& device, corelink::HandleArray array) {
        return corelink::ReadSPI_USD(device, array, slot, mode, word12, address, byte10, word9, length, data);
    });
}

}  // namespace corelink::com
