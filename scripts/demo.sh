#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The main job, end to end: builds orvasim and the C example into build/main,
# starts the adapter simulator on ORVA_DEMO_ADDRESS (127.0.0.1) port 102,
# writes and reads back every data area through liborvanet with the C
# example, and stops the simulator. Run as root on Debian 12 (port 102).
set -euo pipefail
cd "$(dirname "$0")/.."

address=${ORVA_DEMO_ADDRESS:-127.0.0.1}
port=102

# Before anything is installed or built: the simulator must be able to listen
# there. Something that accepts a connection holds the port; where python3 is
# at hand, a bind also finds an address that is not this machine's.
busy() {
  echo "demo: $address:$port $1; set ORVA_DEMO_ADDRESS to a free loopback address (ORVA_DEMO_ADDRESS=127.0.0.5 bash scripts/demo.sh)" >&2
  exit 1
}
[[ $address =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || busy "is no dotted IPv4 address"
if timeout 2 bash -c "exec 3<>/dev/tcp/$address/$port" 2>/dev/null; then
  busy "is in use: something already listens there"
fi
if command -v python3 >/dev/null && [ "$(id -u)" = 0 ]; then
  if ! why=$(python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # as orvasim does: TIME_WAIT is no obstacle
try:
    s.bind((sys.argv[1], int(sys.argv[2])))
except OSError as e:
    print(e.strerror); sys.exit(1)' "$address" "$port"); then
    busy "cannot be listened on ($why)"
  fi
fi

bash scripts/setup-debian.sh

# The main preset: orvasim and the C example, in build/main.
build=build/main
cmake --preset main >/dev/null
cmake --build --preset main

bash scripts/with-orvasim.sh "$build/tools/orvasim/orvasim" "$address" "$build/examples/readwrite_all" "$address"
