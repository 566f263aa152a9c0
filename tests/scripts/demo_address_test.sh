#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# scripts/demo.sh checks its address before it installs or builds anything: a
# port 102 that something listens on, and an address that is no IPv4 text, stop
# it with a message that names ORVA_DEMO_ADDRESS; a free one lets it go on.
# It runs a copy of demo.sh whose set-up step only records that it ran.
#   demo_address_test.sh SOURCE_DIR BUSY_ADDRESS FREE_ADDRESS   (in a namespace, as its root)
set -euo pipefail
src=$1 busy=$2 free=$3
work=$(mktemp -d)
listener=
trap '[ -z "$listener" ] || kill "$listener" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/scripts"
cp "$src/scripts/demo.sh" "$work/scripts/"
printf '#!/usr/bin/env bash\ntouch "$(dirname "$0")/../set-up-ran"\nexit 3\n' >"$work/scripts/setup-debian.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

python3 -c '
import socket, sys, time
s = socket.socket(); s.bind((sys.argv[1], 102)); s.listen(); print("up", flush=True); time.sleep(60)' "$busy" >"$work/listener" &
listener=$!
for _ in $(seq 50); do grep -q up "$work/listener" 2>/dev/null && break; sleep 0.1; done

# demo.sh run from the copy: its status, what it said, whether set-up ran.
run() {
  rm -f "$work/set-up-ran"
  status=0
  ORVA_DEMO_ADDRESS=$1 bash "$work/scripts/demo.sh" >"$work/out" 2>&1 || status=$?
}

run "$busy"
[ "$status" = 1 ] || fail "busy $busy: status $status, not 1"
grep -q "ORVA_DEMO_ADDRESS" "$work/out" && grep -q "$busy:102 is in use" "$work/out" ||
  fail "busy $busy: the message does not name the address and ORVA_DEMO_ADDRESS: $(cat "$work/out")"
[ ! -e "$work/set-up-ran" ] || fail "busy $busy: set-up ran before the check refused"

run "127.0.0.one"
[ "$status" = 1 ] && [ ! -e "$work/set-up-ran" ] && grep -q "ORVA_DEMO_ADDRESS" "$work/out" ||
  fail "127.0.0.one: status $status, set-up $([ -e "$work/set-up-ran" ] && echo ran || echo 'did not run'): $(cat "$work/out")"

run "$free"
[ -e "$work/set-up-ran" ] && [ "$status" = 3 ] || fail "free $free: the check refused it (status $status): $(cat "$work/out")"

[ "$failures" = 0 ] || exit 1
echo "demo address: a busy port and a bad address refused before set-up, a free one passed"
