#pragma once
// The component's trace texts: every operation passes its name to the debugger output before it
// acts. Traces never change behaviour.

#include "corelink/core/device_operations.h"

namespace corelink::com {

void Trace(const char* text) noexcept;

// The tracer handed to the device operations; it writes to the debugger output as well.
corelink::Tracer& DebugOutputTracer() noexcept;

}  // namespace corelink::com
