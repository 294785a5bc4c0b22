// Seconds on a clock that never jumps (not the wall clock), for measuring
// the time between readings.
#pragma once

#include <chrono>

namespace vx {

inline double MonotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace vx
