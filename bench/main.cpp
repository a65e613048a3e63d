// ft-bench's entry: Google Benchmark's own main, and a counting heap so that
// each event can report what it allocates on the home screen's thread.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <new>

#include "BenchDevice.h"

namespace {
// Per thread: an event's cost is its own thread's; the preferences
// daemon's writes happen on a thread of their own.
thread_local uint64_t allocCalls = 0;
thread_local uint64_t allocBytes = 0;

void* counted(std::size_t size) {
    ++allocCalls;
    allocBytes += size;
    return std::malloc(size ? size : 1);
}
} // namespace

AllocationCount allocationsSoFar() { return AllocationCount{allocCalls, allocBytes}; }

void* operator new(std::size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

BENCHMARK_MAIN();
