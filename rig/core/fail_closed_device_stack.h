#pragma once
// The stack a program gets when it was asked to run on a rig that cannot be loaded: every call
// fails, so nothing reaches real hardware by accident.

#include "common/core/failing_device_stack.h"

namespace rig {

class FailClosedDeviceStack final : public devio::FailingDeviceStack {};

}  // namespace rig
