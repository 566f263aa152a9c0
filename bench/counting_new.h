// SPDX-License-Identifier: Apache-2.0
// The benchmarks' count of allocations: counting_new.cpp replaces the
// process's operator new, and each thread counts its own calls. The library
// runs on its caller's thread (a shared library takes the program's operator
// new too), so the caller's count is the library's.
#pragma once

#include <cstddef>

namespace orvabench {

// Operator new calls made on this thread so far.
std::size_t allocationsOnThisThread();

}  // namespace orvabench
