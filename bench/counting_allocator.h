#pragma once

// For the benchmark programs alone (include it in one source of a program):
// every operator new counted, and the process's processor time.

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <new>

namespace bench_counting {

inline std::atomic<long> allocations{0};

inline double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace bench_counting

void* operator new(std::size_t size) {
    bench_counting::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
// The replaced operators pair malloc with free; the compiler, seeing a
// new-expression inlined into a delete, takes it for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
