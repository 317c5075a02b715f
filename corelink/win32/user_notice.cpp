#include "user_notice.h"

#include <windows.h>

#include <atomic>
#include <new>

#include "corelink_api.h"

namespace corelink::com {
namespace {

struct Handler {
    CorelinkMessageHandler function;
    void* context;
};

void WINAPI ShowMessageBox(const char* text, void*) {
    ::MessageBoxA(nullptr, text, "Corelink", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// Replaced whole, so a message never pairs one handler with another's context.
std::atomic<Handler*> current{nullptr};

class HandlerNotice final : public corelink::UserNotice {
public:
    void Show(const char* text) override {
        const Handler* handler = current.load();
        if (handler == nullptr) {
            ShowMessageBox(text, nullptr);
        } else if (handler->function != nullptr) {
            handler->function(text, handler->context);
        }
    }
};

}  // namespace

corelink::UserNotice& ProcessNotice() noexcept {
    static HandlerNotice notice;
    return notice;
}

}  // namespace corelink::com

// A handler lives until the process ends (a message may be on its way through the old one while
// it is replaced), so each installation keeps one small record.
extern "C" void WINAPI CorelinkSetMessageHandler(CorelinkMessageHandler handler, void* context) {
    auto* record = new (std::nothrow) corelink::com::Handler{handler, context};
    if (record == nullptr) return;
    corelink::com::current.store(record);
}
