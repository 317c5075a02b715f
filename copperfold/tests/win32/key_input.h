#pragma once
// Keys typed as the keyboard types them: through the system's input queue (SendInput), so they
// reach the window with the focus, update the key states and pass through the message loop.

#include <windows.h>

#include <initializer_list>
#include <iterator>
#include <vector>

namespace testing_support {

// Presses and releases `key` while the modifiers (VK_SHIFT, VK_MENU, ...) are held down.
inline void PressKey(WORD key, std::initializer_list<WORD> modifiers = {}) {
    std::vector<INPUT> inputs;
    const auto add = [&](WORD code, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (const WORD modifier : modifiers) add(modifier, false);
    add(key, false);
    add(key, true);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) add(*it, true);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

}  // namespace testing_support
