#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds everything and runs every test. On a fresh Debian 12 machine as root
# it installs what it needs first. Each stage stops the run on its first
# failure; each reports its own counts ("== NAME: P passed, F failed") and
# what it had to leave out ("== NAME: not run: WHY"), and the summary at the
# end adds them up.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/stage.sh

ORVA_REPORT=$(mktemp)
export ORVA_REPORT
stage=""
# Each finished stage's time, for the summary: CI must stay well under its limit.
timings=""

summary() {
  local status=$? passed failed skipped
  read -r passed failed skipped < <(sed -nE 's/^== [^:]+: ([0-9]+) passed, ([0-9]+) failed(, ([0-9]+) skipped)?$/\1 \2 \4/p' "$ORVA_REPORT" |
    awk '{ p += $1; f += $2; s += $3 } END { print p + 0, f + 0, s + 0 }')
  echo
  grep -E '^== [^:]+: [0-9]+ passed' "$ORVA_REPORT" | sed 's/^== /  /' || true
  echo "summary: $passed passed, $failed failed$([ "$skipped" = 0 ] || echo ", $skipped skipped")"
  sed -n 's/^== \([^:]*\): not run: /not run: \1: /p' "$ORVA_REPORT"
  echo "time:$timings, in all $((SECONDS / 60)) min $((SECONDS % 60)) s"
  [ "$status" -eq 0 ] || echo "summary: the run stopped in the stage $stage (exit status $status)"
  rm -f "$ORVA_REPORT"
}
trap summary EXIT

# run NAME COMMAND...: one stage.
run() {
  stage=$1
  shift
  echo "==== $stage"
  local began=$SECONDS
  "$@"
  timings+="${timings:+,} $stage $((SECONDS - began)) s"
}

build=build/test
run setup bash scripts/setup-debian.sh
# The test preset (CMakePresets.json): build/test; each test in a network namespace of its own.
run configure cmake --preset test
run build cmake --build --preset test
run ctest run_ctest ctest --preset test
run python bash scripts/test-python.sh "$build"   # the Python package, installed into a venv, with pytest
run dotnet bash scripts/test-dotnet.sh "$build"   # the .NET binding, compiled and run with Mono
run node bash scripts/test-node.sh "$build"       # the Node.js binding and the Node-RED nodes against this build
# orvanet.dll, 32 and 64 bit, and its tests under Wine.
run windows bash scripts/test-windows.sh
# Every release package (scripts/release.sh, from the builds above) installed
# alone as a user installs it, and a first read through each.
run release bash scripts/test-release.sh "$build"
# The benchmark and the stress tool, briefly; then the sanitizer runs and the
# fuzz targets for about a minute each.
run bench bash scripts/bench-smoke.sh "$build"
run sanitizers bash scripts/test-sanitizers.sh
run fuzz bash scripts/fuzz-smoke.sh 60
