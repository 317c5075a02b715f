// The device stack of the whole process. When the environment variable ENCLOSURE_RIG names a
// rig file, the programs talk to that simulated machine; otherwise to the platform. A rig that
// cannot be loaded does not fall back to real hardware: the process gets a stack on which
// every call fails, and the reason goes to the debugger output.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "common/core/device_stack_selection.h"
#include "common/core/text_codec.h"
#include "common/win32/win32_device_stack.h"
#include "rig/core/fail_closed_device_stack.h"
#include "rig/core/rig.h"
#include "rig/core/rig_device_stack.h"

namespace {

constexpr wchar_t kRigVariable[] = L"ENCLOSURE_RIG";

void DebugLine(const std::string& text) { ::OutputDebugStringA((text + "\n").c_str()); }

// The rig file the environment names; nothing when the variable is unset or empty.
std::optional<std::wstring> RigPathFromEnvironment() {
    const DWORD needed = ::GetEnvironmentVariableW(kRigVariable, nullptr, 0);
    if (needed <= 1) return std::nullopt;
    std::wstring value(needed, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(kRigVariable, value.data(), needed);
    if (length == 0 || length >= needed) return std::nullopt;
    value.resize(length);
    return value;
}

devio::DeviceStack& FailClosed(const std::string& why) {
    DebugLine("ENCLOSURE_RIG: " + why + "; every device call will fail");
    static rig::FailClosedDeviceStack closed;
    return closed;
}

devio::DeviceStack& ChooseStack() {
    const auto variable = RigPathFromEnvironment();
    if (!variable) {
        static devio::Win32DeviceStack platform;
        return platform;
    }
    const auto rigPath = common::WideToUtf8(*variable);
    if (!rigPath) return FailClosed("the rig path is not valid text");
    std::string error;
    const auto machine = rig::Rig::Load(rig::PlatformFileSystem(), *rigPath, error);
    if (!machine) return FailClosed(error);
    machine->SetReporter(DebugLine);
    static rig::RigDeviceStack simulated(machine);
    return simulated;
}

}  // namespace

namespace devio {

DeviceStack& SystemDeviceStack() {
    static DeviceStack& stack = ChooseStack();
    return stack;
}

}  // namespace devio
