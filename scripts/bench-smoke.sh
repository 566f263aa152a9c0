#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the benchmark and the stress tool briefly, so that they keep working; no
# timing is judged here. Both in a network namespace of their own.
#   scripts/bench-smoke.sh [BUILD_DIR]   an existing build that has them (CI passes
#                                        its test build); default: build-bench
#   scripts/bench-smoke.sh full          the figures of docs/performance.md and a
#                                        long stress run, in build-bench (Release)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stage.sh
arg=${1:-}

if [ -z "$arg" ] || [ "$arg" = full ]; then
  build=build-bench
  cmake --preset bench
  cmake --build --preset bench -j2
else
  build=$arg
fi

if [ "$arg" = full ]; then
  in_netns "$build/bench/orva_bench" --benchmark_min_time=2 --benchmark_counters_tabular=true
  in_netns taskset -c 0 "$build/bench/orva_vars_bench" --benchmark_min_time=2 --benchmark_counters_tabular=true
  in_netns "$build/bench/orva_stress" --seconds 600 --threads 8 --cycles 100000
  in_netns "$build/bench/orva_gate_bench" --seconds 20
else
  in_netns "$build/bench/orva_bench" --benchmark_min_time=0.01 --benchmark_counters_tabular=true
  in_netns "$build/bench/orva_vars_bench" --benchmark_min_time=0.01 --benchmark_counters_tabular=true
  in_netns "$build/bench/orva_stress" --seconds 3 --threads 4 --cycles 500
  in_netns "$build/bench/orva_gate_bench" --seconds 2 --warmup-seconds 1 --plcs 8
fi
