#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Starts orvasim on an address, runs a client program against it, and stops
# the simulator:   with-orvasim.sh ORVASIM ADDRESS PROGRAM [ARGS...]
set -euo pipefail
sim_program=$1 address=$2
shift 2
log=$(mktemp)
"$sim_program" --address "$address" >"$log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 100); do
  grep -q "listening on" "$log" && break
  kill -0 "$sim" 2>/dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.05
done
cat "$log"
"$@"
