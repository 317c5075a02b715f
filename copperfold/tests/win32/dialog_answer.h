#pragma once
// Answers the first dialog or message box of this process with a caption from another thread,
// for tests that open a modal window on their own thread; and waits on such a thread.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "common/tests/win32/polling_thread.h"

namespace testing_support {

// Looks for a visible dialog titled `caption` until it has answered it with `answer` (on its own
// thread), until `limit` has passed, or until it is destroyed.
class DialogAnswer {
public:
    DialogAnswer(std::wstring caption, std::function<void(HWND)> answer,
                 std::chrono::milliseconds limit = std::chrono::seconds(15))
        : poll_(
              [this, c = std::move(caption), a = std::move(answer)] {
                  const HWND box = ::FindWindowW(L"#32770", c.c_str());
                  if (!box || !::IsWindowVisible(box)) return false;
                  seen = true;
                  a(box);
                  return true;
              },
              limit) {}

    std::atomic<bool> seen{false};

private:
    PollingThread poll_;  // after `seen`, which its thread sets
};

inline void PressOk(HWND box) { ::PostMessageW(box, WM_COMMAND, IDOK, 0); }

// Waits on a thread that plays the user (it pumps no messages) until `condition` holds; false
// when `limit` passed first.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace testing_support
