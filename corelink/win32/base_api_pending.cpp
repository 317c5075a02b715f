// The ICorelinkCtrl slots whose operations are still to come: each keeps its place in the table,
// traces its name (those that never trace stay silent) and fails without touching its arguments.
#include "com_boundary.h"
#include "base_api.h"
#include "debug_trace.h"

namespace corelink::com {
namespace {

int NotBuilt(const char* trace) noexcept {
    return Guarded(0, [&] {
        Trace(trace);
        return 0;
    });
}

}  // namespace

int STDMETHODCALLTYPE CBaseAPI::BuildUFDSystemTable(HANDLE*, BYTE, BYTE*, BYTE*, BYTE*) {
    return NotBuilt("BuildUFDSystemTable()");
}

}  // namespace corelink::com
