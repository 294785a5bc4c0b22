// Shared by the backend's tests: the backend set up once, and a message pump.
#pragma once

#include "platform/win32/backend.h"

#include <gtest/gtest.h>

#include <chrono>

namespace vx::platform::win32::test {

// Dispatches messages as the program's loop does, until done() or the time is up.
template <class Done>
bool PumpUntil(Done done, int milliseconds = 3000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (PreTranslate(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(5);
    }
}

inline void PumpFor(int milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

}  // namespace vx::platform::win32::test
