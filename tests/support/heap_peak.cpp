#include "tests/support/heap_peak.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> held{0};
std::atomic<std::size_t> most{0};

// Each block carries its size in front, kept at the alignment malloc gives.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* Take(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) return nullptr;
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = held.fetch_add(size) + size;
    std::size_t seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Give(void* p) noexcept {
    if (!p) return;
    void* block = static_cast<char*>(p) - kHeader;
    held.fetch_sub(*static_cast<std::size_t*>(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Take(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void operator delete(void* p) noexcept { Give(p); }
void operator delete[](void* p) noexcept { Give(p); }
void operator delete(void* p, std::size_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t) noexcept { Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Give(p); }

namespace vx::test {

std::size_t PeakHeapOf(const std::function<void()>& step) {
    const std::size_t before = held.load();
    most.store(before);
    step();
    return most.load() - before;
}

}  // namespace vx::test
