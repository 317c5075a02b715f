#include "corelink/core/clock.h"

#include <chrono>
#include <thread>

namespace corelink {
namespace {

class SteadyClock final : public Clock {
public:
    std::uint64_t Ticks() override {
        const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count());
    }
    void Pause(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

}  // namespace

Clock& SystemClock() noexcept {
    static SteadyClock clock;
    return clock;
}

}  // namespace corelink
