#pragma once
// Callers keep their disk handles in an array of HANDLE; the device operations take the seam's
// integer handles. An operation uses exactly one element, so a HandleSlot carries that element into
// a private array of the seam's type and, when the operation stored a different handle there (the
// open operations), back into the caller's array. A null caller array stays null.

#include <windows.h>

#include <array>
#include <cstddef>

#include "common/core/device_stack.h"

namespace corelink::com {

class HandleSlot {
public:
    static constexpr std::size_t kSlots = 256;

    // `index` must be below kSlots.
    HandleSlot(HANDLE* handles, std::size_t index) noexcept : handles_(handles), index_(index) {
        if (handles_ != nullptr) {
            original_ = reinterpret_cast<devio::DeviceHandle>(handles_[index_]);
            window_[index_] = original_;
        }
    }
    ~HandleSlot() {
        if (handles_ != nullptr && window_[index_] != original_) {
            handles_[index_] = reinterpret_cast<HANDLE>(window_[index_]);
        }
    }
    HandleSlot(const HandleSlot&) = delete;
    HandleSlot& operator=(const HandleSlot&) = delete;

    devio::DeviceHandle* Array() noexcept { return handles_ != nullptr ? window_.data() : nullptr; }

private:
    HANDLE* handles_;
    std::size_t index_;
    devio::DeviceHandle original_ = 0;
    std::array<devio::DeviceHandle, kSlots> window_{};
};

}  // namespace corelink::com
