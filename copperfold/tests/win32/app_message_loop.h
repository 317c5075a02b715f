#pragma once
// Copperfold's message loop for a while, for tests that run its window in their own process:
// keys go through the program's dialog routing, and the quit message a closed window leaves
// behind does not end anything.

#include <windows.h>

#include <chrono>
#include <thread>

#include "copperfold/win32/copperfold_app.h"

namespace testing_support {

inline void PumpApp(const CCopperfoldApp* app, std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    do {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            if (app && app->RouteKeys(message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
}

}  // namespace testing_support
