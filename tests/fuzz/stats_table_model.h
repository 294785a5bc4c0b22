// A model of the statistics-page table reader for the fuzzer to hold the
// reader against: the same rules, written plainly, slow and unbounded.
#pragma once

#include <cstddef>
#include <string>

namespace vx::model {

inline constexpr std::size_t kTableLimit = 4096;
inline constexpr std::size_t kPageLimit = 16384;

struct Result {
    bool found = false;
    bool tooLarge = false;
    bool hasCounters = false;
    double received = 0;
    double transmitted = 0;
    int rows = 0;
};

Result Read(const std::string& page, const std::string& interfaceName);

}  // namespace vx::model
