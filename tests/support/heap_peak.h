// The most heap a step holds at once, as the program's own operator new
// counts it: a program that links heap_peak.cpp has its operator new and
// delete replaced by counting ones.
#pragma once

#include <cstddef>
#include <functional>

namespace vx::test {

// Bytes held at most while `step` ran, beyond what was held before it.
std::size_t PeakHeapOf(const std::function<void()>& step);

}  // namespace vx::test
