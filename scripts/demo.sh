#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The main job, end to end: builds everything, starts the adapter simulator on
# 127.0.0.1:102, writes and reads back every data area through liborvanet with
# the C example, and stops the simulator. Run as root on Debian 12 (port 102).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh

# The main preset: orvasim and the C example, in build/main.
build=build/main
cmake --preset main >/dev/null
cmake --build --preset main

address=${ORVA_DEMO_ADDRESS:-127.0.0.1}
bash scripts/with-orvasim.sh "$build/tools/orvasim/orvasim" "$address" "$build/examples/readwrite_all" "$address"
