#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds everything and runs every test. On a fresh Debian 12 machine as root
# it installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

# Everything goes through a log as well, for the count of tests at the end.
log=$(mktemp)
exec > >(tee "$log") 2>&1

bash scripts/setup-debian.sh

# The test preset (CMakePresets.json): build/test.
build=build/test
cmake --preset test
cmake --build --preset test
ctest --preset test
bash scripts/test-python.sh "$build"   # the Python package, installed into a venv, with pytest
bash scripts/test-dotnet.sh "$build"   # the .NET binding, compiled and run with Mono
bash scripts/test-node.sh "$build"   # the Node.js binding and the Node-RED nodes against this build

# orvanet.dll, 32 and 64 bit, and its tests under Wine.
bash scripts/test-windows.sh

# The benchmark and the stress tool, briefly; then the sanitizer runs and the
# fuzz targets for about a minute each.
bash scripts/bench-smoke.sh "$build"
bash scripts/test-sanitizers.sh
bash scripts/fuzz-smoke.sh 60

# One closing line over all stages (each stage stops the run on its first failure):
# CTest's closing lines, and the "== NAME: N passed, 0 failed" lines of stages
# that run their own test runner.
passed=$(grep -E '^(100% tests passed, 0 tests failed out of [0-9]+|== [^:]+: [0-9]+ passed, 0 failed)$' "$log" |
  awk '/^100%/ { n += $NF; next } { for (i = 1; i <= NF; i++) if ($i == "passed,") n += $(i - 1) } END { print n + 0 }')
rm -f "$log"
echo "summary: $passed passed, 0 failed"
