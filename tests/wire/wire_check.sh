#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the bytes on the wire with an independent decoder: captures a session of
# the C example against orvasim on ADDRESS:102 with tshark and requires that
# Wireshark's TPKT, COTP and h1 (S5 fetch/write) dissectors decode every
# telegram without a malformed-packet or error-level warning, with the expected
# field values. Exits 77 (skipped) when tshark is not installed.
#   wire_check.sh ORVASIM EXAMPLE ADDRESS
set -euo pipefail
sim_program=$1 example=$2 address=$3

if ! command -v tshark >/dev/null 2>&1; then
  echo "SKIPPED: tshark is not installed (Debian package tshark)"
  exit 77
fi

work=$(mktemp -d)
tshark_pid= sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  [ -n "$tshark_pid" ] && kill "$tshark_pid" 2>/dev/null && wait "$tshark_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # wait_for FILE TEXT PID
  for _ in $(seq 200); do
    grep -q "$2" "$1" && return 0
    kill -0 "$3" 2>/dev/null || { cat "$1" >&2; return 1; }
    sleep 0.05
  done
  cat "$1" >&2
  return 1
}

# One captured session of the example; the decoded COTP packets in decoded.txt.
capture_session() {
  rm -f "$work/session.pcap"
  tshark -i lo -f "host $address and tcp port 102" -w "$work/session.pcap" >"$work/tshark.log" 2>&1 &
  tshark_pid=$!
  wait_for "$work/tshark.log" "Capturing on" "$tshark_pid"
  sleep 1  # the capture reports itself a moment before it sees packets

  "$sim_program" --address "$address" >"$work/sim.log" 2>&1 &
  sim_pid=$!
  wait_for "$work/sim.log" "listening on" "$sim_pid"

  "$example" "$address" OWNTSAP PLCTSAP >"$work/example.log"
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
  sleep 0.5  # let the last packets reach the capture file
  kill -TERM "$tshark_pid"; wait "$tshark_pid" 2>/dev/null || true; tshark_pid=

  fields=(-e tcp.srcport -e cotp.type -e cotp.src-tsap -e cotp.dst-tsap -e cotp.srcref
          -e h1.opcode -e h1.org -e h1.dbnr -e h1.dwnr -e h1.dlen -e h1.resvalue)
  tshark -r "$work/session.pcap" -Y cotp -T fields -E separator='|' "${fields[@]}" 2>/dev/null >"$work/decoded.txt"
}

# A capture that started late saw nothing: try again (on a loaded machine).
for attempt in 1 2 3; do
  capture_session
  [ -s "$work/decoded.txt" ] && break
  echo "capture $attempt saw no packets, again"
done

status=0
# Malformed packets or error-level expert items anywhere in the session.
problems=$(tshark -r "$work/session.pcap" -Y '_ws.malformed || _ws.expert.severity >= 8388608' 2>/dev/null | wc -l)
if [ "$problems" -ne 0 ]; then
  echo "FAIL: $problems packets decode as malformed or with errors:"
  tshark -r "$work/session.pcap" -Y '_ws.malformed || _ws.expert.severity >= 8388608' -V 2>/dev/null | head -80
  status=1
fi

# Connection request from the client (first handle of the process: source
# reference 1), confirm from the adapter, then each request of the example
# (op code, area, block, start, length) followed by its acknowledgement
# (op code + 1, result 0).
cat >"$work/expected.txt" <<'EXPECTED'
client|0x0e|OWNTSAP|PLCTSAP|0x0001||||||
102|0x0d|OWNTSAP|PLCTSAP|||||||
client|0x0f||||0x03|0x04|0|0|4|
102|0x0f||||0x04|||||0
client|0x0f||||0x05|0x04|0|0|4|
102|0x0f||||0x06|||||0
client|0x0f||||0x03|0x02|0|10|4|
102|0x0f||||0x04|||||0
client|0x0f||||0x05|0x02|0|10|4|
102|0x0f||||0x06|||||0
client|0x0f||||0x03|0x01|5|0|4|
102|0x0f||||0x04|||||0
client|0x0f||||0x05|0x01|5|0|4|
102|0x0f||||0x06|||||0
client|0x0f||||0x03|0x0a|7|2|4|
102|0x0f||||0x04|||||0
client|0x0f||||0x05|0x0a|7|2|4|
102|0x0f||||0x06|||||0
client|0x0f||||0x03|0x07|0|3|4|
102|0x0f||||0x04|||||0
client|0x0f||||0x05|0x07|0|3|4|
102|0x0f||||0x06|||||0
client|0x0f||||0x03|0x06|0|3|4|
102|0x0f||||0x04|||||0
client|0x0f||||0x05|0x06|0|3|4|
102|0x0f||||0x06|||||0
client|0x0f||||0x05|0x03|0|0|4|
102|0x0f||||0x06|||||0
EXPECTED
# The client's port varies; the adapter's source reference is its own choice.
awk -F'|' 'BEGIN { OFS = "|" } { if ($1 != "102") $1 = "client"; else if ($2 == "0x0d") $5 = ""; print }' \
  "$work/decoded.txt" >"$work/actual.txt"
if ! diff -u "$work/expected.txt" "$work/actual.txt"; then
  echo "FAIL: the decoded session differs from the expected one (- expected, + decoded)"
  status=1
fi
if [ "$status" -eq 0 ]; then
  echo "wire check: $(wc -l <"$work/actual.txt") telegrams decoded by tshark as expected, none malformed"
fi
exit "$status"
