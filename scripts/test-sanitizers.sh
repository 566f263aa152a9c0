#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Sanitizer runs: the whole test suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan), and the concurrency and integration
# tests built with ThreadSanitizer (build-tsan), each with a short stress run.
# The first report stops the test that raised it, and the run fails. Each
# test, and each stress run, in a network namespace of its own.
#   scripts/test-sanitizers.sh [asan|tsan|all]      (default all)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stage.sh
which=${1:-all}

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

if [ "$which" = asan ] || [ "$which" = all ]; then
  echo "AddressSanitizer + UndefinedBehaviorSanitizer: every test"
  cmake --preset asan
  cmake --build --preset asan -j2
  # The unload tests end forked children of a threaded process, where the leak
  # check at exit can wait forever for an allocator lock that another thread
  # held at the fork: the test preset asan leaves them out, and asan-unload
  # runs them without it. (Tests that load the library into programs not built
  # with the sanitizers leave themselves out of such builds.)
  run_ctest asan --preset asan
  run_ctest asan-unload --preset asan-unload
  echo "AddressSanitizer: stress run with leak check"
  in_netns build-asan/bench/orva_stress --seconds 5 --threads 4 --cycles 2000
fi

if [ "$which" = tsan ] || [ "$which" = all ]; then
  echo "ThreadSanitizer: concurrency and integration tests"
  cmake --preset tsan
  cmake --build --preset tsan -j2
  # Every test that starts threads, and the rest with them, but the demo's (Qt
  # is not built with ThreadSanitizer) and those linked with socket_faults
  # (label interposed): its calls run inside ThreadSanitizer's own
  # interceptors, where the locks it takes are not seen.
  run_ctest tsan --preset tsan
  echo "ThreadSanitizer: stress run"
  in_netns build-tsan/bench/orva_stress --seconds 5 --threads 8 --cycles 1000
fi
