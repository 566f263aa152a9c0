// SPDX-License-Identifier: Apache-2.0
#include "counting_new.h"

#include <cstdlib>
#include <new>

// The replacements pair malloc with free, which GCC cannot see through.
#if defined(__GNUC__) && !defined(__clang__)
#  pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
thread_local std::size_t threadAllocations = 0;
void* allocate(std::size_t n) {
    ++threadAllocations;
    return std::malloc(n == 0 ? 1 : n);
}
}  // namespace

std::size_t orvabench::allocationsOnThisThread() { return threadAllocations; }

void* operator new(std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
