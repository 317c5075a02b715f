#pragma once
// How an interface method reaches a device operation: through a window on the caller's handle
// slot, on the process's device stack, with traces going to the debugger output. An exception
// becomes the failure value 0.

#include <windows.h>

#include <cstddef>

#include "com_boundary.h"
#include "common/core/device_stack_selection.h"
#include "corelink/core/device_operations.h"
#include "debug_trace.h"
#include "handle_slot.h"

namespace corelink::com {

inline corelink::Device SystemDevice() { return corelink::Device{devio::SystemDeviceStack(), DebugOutputTracer()}; }

template <typename Operation>
int OnSlot(HANDLE* handles, std::size_t index, Operation operation) noexcept {
    return Guarded(0, [&] {
        HandleSlot window(handles, index);
        corelink::Device device = SystemDevice();
        return operation(device, window.Array());
    });
}

}  // namespace corelink::com
