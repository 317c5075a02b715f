#pragma once
// The caller's list a fuzzed operation writes into: either alone in a heap block of its exact
// size (the sanitizer catches a write past it) or in front of a guard area (checked after each
// call). Both blocks are made once per process and cleared for every input, so an input costs
// no fresh pages.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "corelink/core/fuzz/fuzz_device_stack.h"

namespace corelink::fuzzing {

template <typename T, std::size_t Count>
class FuzzList {
public:
    static constexpr std::size_t kListBytes = sizeof(T) * Count;

    // The list for one input, zeroed (and its guard area refilled).
    T* Prepare(bool guarded) {
        guarded_ = guarded;
        std::uint8_t* bytes = guarded ? guardedBlock_.get() : exactBlock_.get();
        std::memset(bytes, 0, kListBytes);
        if (guarded) std::memset(bytes + kListBytes, kGuardFill, kGuardBytes);
        return reinterpret_cast<T*>(bytes);
    }
    void Check() const {
        if (guarded_) CheckGuard(guardedBlock_.get() + kListBytes);
    }

private:
    std::unique_ptr<std::uint8_t[]> exactBlock_ = std::make_unique<std::uint8_t[]>(kListBytes);
    std::unique_ptr<std::uint8_t[]> guardedBlock_ = std::make_unique<std::uint8_t[]>(kListBytes + kGuardBytes);
    bool guarded_ = false;
};

}  // namespace corelink::fuzzing
