#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# scripts/netns-run.sh: each run in a network namespace of its own with only
# the loopback interface, up; two of them listening on one address and port at
# once; --join reaching the namespace of a running program (a new one without
# it); the program's exit status passed on; and the fallback where no
# namespace can be made.
#   netns_run_test.sh SOURCE_DIR ADDRESS   (ADDRESS: listened on inside the namespaces only)
set -euo pipefail
run=$1/scripts/netns-run.sh
address=$2
work=$(mktemp -d)
listener=
trap '[ -z "$listener" ] || kill "$listener" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! why=$(unshare -r -n true 2>&1); then
  echo "netns-run: this machine makes no user namespaces ($why): nothing to test"
  exit 77
fi

# Listens on ADDRESS:102 and writes "listening" to the file $1; then waits.
listen="import socket, sys, time
s = socket.socket()
s.bind(('$address', 102))
s.listen()
open(sys.argv[1], 'w').write('listening')
time.sleep(60)"
# Connects to ADDRESS:102; prints "connected" or the error.
connect="import socket
try:
    socket.create_connection(('$address', 102), timeout=2).close()
    print('connected')
except OSError as e:
    print(e.strerror)"

links=$("$run" ip -o link show)
[ "$(wc -l <<<"$links")" = 1 ] && grep -q '^1: lo: <LOOPBACK,UP' <<<"$links" || fail "only lo, and up: $links"

status=0
"$run" sh -c 'exit 3' || status=$?
[ "$status" = 3 ] || fail "the program's exit status: 3 expected, got $status"

"$run" python3 -c "$listen" "$work/first" </dev/null >/dev/null 2>&1 &
listener=$!
for _ in $(seq 100); do [ -s "$work/first" ] && break; sleep 0.05; done
[ -s "$work/first" ] || fail "the first listener did not start"
echo "$listener" >"$work/pid"

# A second listener on the same address and port, at the same time.
timeout 10 "$run" python3 -c "$listen" "$work/second" </dev/null >/dev/null 2>&1 &
second=$!
for _ in $(seq 100); do [ -s "$work/second" ] && break; sleep 0.05; done
[ -s "$work/second" ] || fail "a second listener on $address:102 beside the first did not start"
kill "$second" 2>/dev/null || true

got=$("$run" --join "$work/pid" python3 -c "$connect")
[ "$got" = connected ] || fail "--join reaches the first listener: $got"
got=$("$run" python3 -c "$connect")
[ "$got" = "Connection refused" ] || fail "a namespace of its own does not reach it: $got"

got=$("$run" --join "$work/none" python3 -c "$connect")
[ "$got" = "Connection refused" ] || fail "--join without its pid file: a namespace of its own: $got"
echo 999999999 >"$work/ended"
got=$("$run" --join "$work/ended" python3 -c "$connect" 2>"$work/note")
[ "$got" = "Connection refused" ] || fail "--join a process that has ended: a namespace of its own: $got"
grep -q "process 999999999 of .* has ended" "$work/note" || fail "--join a process that has ended, the note: $(cat "$work/note")"

# Where unshare refuses, the program runs in this machine's network, with a note.
mkdir "$work/bin"
printf '#!/bin/sh\necho "unshare failed: Operation not permitted" >&2\nexit 1\n' >"$work/bin/unshare"
chmod +x "$work/bin/unshare"
got=$(PATH=$work/bin:$PATH "$run" sh -c 'readlink /proc/self/ns/net' 2>"$work/note")
[ "$got" = "$(readlink /proc/self/ns/net)" ] || fail "without namespaces, the program runs in this network: $got"
grep -q "no network namespace of its own (unshare failed: Operation not permitted)" "$work/note" ||
  fail "without namespaces, the note: $(cat "$work/note")"

if [ "$failures" -ne 0 ]; then
  echo "netns-run: $failures checks failed"
  exit 1
fi
echo "netns-run: all checks passed"
