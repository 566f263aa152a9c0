#!/usr/bin/env bash
# Builds the benchmark and the stress tool (build-bench, Release) and runs each
# briefly, so that they keep working; no timing is judged here. For the figures
# of docs/performance.md run: scripts/bench-smoke.sh full
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-smoke}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVA_BUILD_TESTS=OFF -DORVA_BUILD_DEMO=OFF
cmake --build build-bench -j2 --target orva_bench orva_stress

if [ "$mode" = full ]; then
  build-bench/bench/orva_bench --benchmark_min_time=2 --benchmark_counters_tabular=true
  build-bench/bench/orva_stress --seconds 600 --threads 8 --cycles 100000
else
  build-bench/bench/orva_bench --benchmark_min_time=0.01 --benchmark_counters_tabular=true
  build-bench/bench/orva_stress --seconds 3 --threads 4 --cycles 500
fi
