#pragma once
// Time as the component's operations see it: a monotonic counter for timed transfers and the
// pauses between the attempts of an operation that retries. Operations take it from their
// Device, so tests and fuzz targets put a clock there that never sleeps.

#include <cstdint>

namespace corelink {

class Clock {
public:
    virtual ~Clock() = default;
    // A monotonic counter in nanoseconds.
    virtual std::uint64_t Ticks() = 0;
    // Waits `milliseconds` before the caller tries again.
    virtual void Pause(std::uint32_t milliseconds) = 0;
};

// The steady clock; pauses really sleep.
Clock& SystemClock() noexcept;

// A clock that moves only when paused: a pause advances it at once and is counted.
class ManualClock final : public Clock {
public:
    std::uint64_t Ticks() override { return ticks_; }
    void Pause(std::uint32_t milliseconds) override {
        ticks_ += std::uint64_t{milliseconds} * 1000000u;
        ++pauses_;
    }
    std::uint64_t Pauses() const { return pauses_; }

private:
    std::uint64_t ticks_ = 0;
    std::uint64_t pauses_ = 0;
};

}  // namespace corelink
