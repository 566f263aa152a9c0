#!/usr/bin/env bash
# The main job, end to end: builds everything, starts the adapter simulator on
# 127.0.0.1:102, writes and reads back every data area through liborvanet with
# the C example, and stops the simulator. Run as root on Debian 12 (port 102).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh

build=${ORVA_BUILD_DIR:-build/main}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target orvasim readwrite_all

address=${ORVA_DEMO_ADDRESS:-127.0.0.1}
bash scripts/with-orvasim.sh "$build/tools/orvasim/orvasim" "$address" "$build/examples/readwrite_all" "$address"
