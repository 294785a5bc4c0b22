// Seconds on a clock that never jumps (not the wall clock), for measuring
// the time between readings; and the wall clock's UTC seconds, which the
// traffic history files its bytes under.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace vx {

inline double MonotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The clock that paces the program's periodic work (the history's write
// once a minute): monotonic, so setting the wall clock back holds nothing up;
// tests may set it by hand (0: the system's).
inline std::atomic<double>& FixedPaceSeconds() {
    static std::atomic<double> fixed{0};
    return fixed;
}
inline double PaceSeconds() {
    const double fixed = FixedPaceSeconds().load(std::memory_order_relaxed);
    return fixed != 0 ? fixed : MonotonicSeconds();
}

// A fixed wall clock for tests (0: the system's clock).
inline std::atomic<std::int64_t>& FixedUtcSeconds() {
    static std::atomic<std::int64_t> fixed{0};
    return fixed;
}

// Seconds since 1970-01-01 UTC: cheap enough for every tick.
inline std::int64_t UtcSeconds() {
    const std::int64_t fixed = FixedUtcSeconds().load(std::memory_order_relaxed);
    return fixed != 0 ? fixed : static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace vx
