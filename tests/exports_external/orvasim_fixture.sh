#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Starts or stops the orvasim that the tests through the exports run against:
#   orvasim_fixture.sh start ORVASIM STATE_DIR ADDRESS CONTROL_ENDPOINT
#   orvasim_fixture.sh stop  STATE_DIR
# It runs detached from CTest's output pipes, with its log in STATE_DIR.
set -eu
action=$1
case "$action" in
start)
  sim=$2 state=$3 address=$4 control=$5
  mkdir -p "$state"
  # One left over from an interrupted run would hold the address.
  if [ -f "$state/orvasim.pid" ]; then
    kill "$(cat "$state/orvasim.pid")" 2>/dev/null || true
    rm -f "$state/orvasim.pid"
    sleep 0.2
  fi
  "$sim" --address "$address" --control "$control" </dev/null >"$state/orvasim.log" 2>&1 &
  echo $! >"$state/orvasim.pid"
  for _ in $(seq 1 100); do
    if grep -q "^orvasim: listening on" "$state/orvasim.log"; then
      cat "$state/orvasim.log"
      exit 0
    fi
    kill -0 "$(cat "$state/orvasim.pid")" 2>/dev/null || break
    sleep 0.05
  done
  echo "orvasim did not start:" >&2
  cat "$state/orvasim.log" >&2
  exit 1
  ;;
stop)
  state=$2
  [ -f "$state/orvasim.pid" ] || exit 0
  pid=$(cat "$state/orvasim.pid")
  rm -f "$state/orvasim.pid"
  kill "$pid" 2>/dev/null || exit 0
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.05
  done
  echo "orvasim $pid did not stop" >&2
  exit 1
  ;;
*)
  echo "usage: $0 start ORVASIM STATE_DIR ADDRESS CONTROL | stop STATE_DIR" >&2
  exit 2
  ;;
esac
