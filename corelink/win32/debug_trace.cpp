#include "debug_trace.h"

#include <windows.h>

namespace corelink::com {
namespace {

class DebugOutput final : public corelink::Tracer {
public:
    void Trace(const char* text) override { ::OutputDebugStringA(text); }
};

}  // namespace

void Trace(const char* text) noexcept { ::OutputDebugStringA(text); }

corelink::Tracer& DebugOutputTracer() noexcept {
    static DebugOutput tracer;
    return tracer;
}

}  // namespace corelink::com
