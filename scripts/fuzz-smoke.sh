#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets with clang (build-fuzz) and runs each from its
# seed corpus for a bounded time. Inputs the run finds go to a scratch folder;
# the corpus in the tree is not changed. A crash, a leak, a sanitizer report or
# a failed check stops the run, and the script fails. Each target runs in a
# network namespace of its own: its peers listen on loopback.
#   scripts/fuzz-smoke.sh [seconds per target]        (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stage.sh
seconds=${1:-60}

cmake --preset fuzz
cmake --build --preset fuzz -j2

for target in reply_fuzzer confirm_fuzzer open_fuzzer vars_parse_fuzzer; do
  found=$(mktemp -d)
  log=build-fuzz/$target.log
  echo "== $target for $seconds s"
  status=0
  # open_fuzzer's simulator runs in its process, and a set-up that ran out of
  # a tiny time-out leaves it a connection to accept and read during a later
  # input: libFuzzer's leak check after each input then counts the buffers of
  # those sessions as they go. The leak check at exit covers its whole run.
  leaks=1
  [ "$target" = open_fuzzer ] && leaks=0
  in_netns build-fuzz/fuzz/$target -detect_leaks=$leaks -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/$target-" "$found" "fuzz/corpus/$target" >"$log" 2>&1 ||
    status=$?
  rm -rf "$found"
  grep -E '^(Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -60 "$log"
    echo "FAIL: $target stopped with status $status (the input is in build-fuzz/$target-*)"
    exit 1
  fi
done
echo "fuzz smoke: all targets ran clean"
