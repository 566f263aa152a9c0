# SPDX-License-Identifier: Apache-2.0
# Sourced by the stage scripts (scripts/test-*.sh): what every stage shares.
#   require_built STAGE BUILD_DIR FILE...   stops the stage, saying what to
#                          build, when a FILE (relative to BUILD_DIR) is missing
#   in_netns PROGRAM [ARGS...]    runs it in a network namespace of its own
#                          (scripts/netns-run.sh): what listens on loopback
#   report_count NAME PASSED FAILED [SKIPPED]   the closing line of a test
#                          runner: "== NAME: P passed, F failed[, S skipped]"
#   report_not_run NAME WHY       "== NAME: not run: WHY", for what a stage had to leave out
#   pass_on_count NAME OUTPUT     the count line a runner printed itself into the
#                          file OUTPUT ("== NAME: ..."), passed on; none: a failure
#   report_junit NAME JUNIT STATUS   the count line from a runner's JUnit
#                          report and its exit status; non-zero unless all passed
#   run_ctest NAME CTEST_ARGS...  ctest, then its count line; ctest's status
# The report lines go to $ORVA_REPORT as well when it is set: scripts/test-all.sh
# adds up the counts and lists what did not run.

stage_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

require_built() {
  local stage=$1 build=$2 file
  shift 2
  for file in "$@"; do
    [ -e "$build/$file" ] && continue
    echo "$stage: $build/$file is missing: build the targets orvanet and orvasim into $build first" \
      "(cmake --preset test && cmake --build --preset test)" >&2
    exit 1
  done
}

in_netns() {
  "$stage_root/scripts/netns-run.sh" "$@"
}

report_line() {
  echo "$1"
  [ -z "${ORVA_REPORT:-}" ] || echo "$1" >>"$ORVA_REPORT"
}

report_count() {
  local name=$1 passed=$2 failed=$3 skipped=${4:-0}
  report_line "== $name: $passed passed, $failed failed$([ "$skipped" = 0 ] || echo ", $skipped skipped")"
}

report_not_run() {
  report_line "== $1: not run: $2"
}

pass_on_count() {
  local line
  line=$(grep -E "^== $1: [0-9]+ passed, [0-9]+ failed" "$2" | tail -1) || true
  if [ -z "$line" ]; then
    report_count "$1" 0 1
    echo "$1: the test runner printed no count line" >&2
    return 1
  fi
  [ -z "${ORVA_REPORT:-}" ] || echo "$line" >>"$ORVA_REPORT"
}

report_junit() {
  local name=$1 junit=$2 status=$3 passed failed skipped
  # pytest's and CTest's reports: failures and errors failed; skipped (a skip
  # code, a fixture that failed) and disabled did not run
  read -r passed failed skipped < <(python3 - "$junit" <<'PY'
import sys
import xml.etree.ElementTree as ET

try:
    root = ET.parse(sys.argv[1]).getroot()
except (OSError, ET.ParseError):
    print(0, 0, 0)
    sys.exit()
suite = root if root.tag == "testsuite" else root.find("testsuite")
n = {k: int(suite.get(k, 0)) for k in ("tests", "failures", "errors", "skipped", "disabled")}
failed = n["failures"] + n["errors"]
skipped = n["skipped"] + n["disabled"]
print(n["tests"] - failed - skipped, failed, skipped)
PY
  )
  if [ "$status" -ne 0 ] && [ "$failed" = 0 ]; then
    failed=1  # the runner failed outside the tests (no report, collection)
  elif [ "$passed" = 0 ] && [ "$failed" = 0 ]; then
    echo "$name: no test ran" >&2
    failed=1
  fi
  report_count "$name" "$passed" "$failed" "$skipped"
  [ "$failed" = 0 ]
}

run_ctest() {
  local name=$1 junit status=0
  shift
  junit=$(mktemp)
  ctest --output-junit "$junit" "$@" || status=$?
  report_junit "$name" "$junit" "$status" || status=$?
  rm -f "$junit"
  return "$status"
}
