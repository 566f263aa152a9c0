# SPDX-License-Identifier: Apache-2.0
# Sourced by the package tests. lintian_clean SRC LOG PACKAGE...: lintian finds
# no error in the packages, and each warning it gives is one that README.md or
# docs/ explains (its tag in backquotes there). Fails through the caller's fail.
lintian_clean() {
  local src=$1 log=$2 status=0 tag
  shift 2
  lintian --no-tag-display-limit "$@" >"$log" 2>&1 || status=$?
  # 2 is lintian's "errors found" (its --fail-on); 1 is lintian failing to run.
  [ "$status" = 0 ] || [ "$status" = 2 ] || { cat "$log" >&2; fail "lintian stopped with status $status"; }
  grep -E '^[EWIPX]: ' "$log" || true
  ! grep -q '^E: ' "$log" || fail "lintian reports errors"
  while read -r tag; do
    grep -qs "\`$tag\`" "$src"/README.md "$src"/docs/*.md || fail "lintian warns $tag, which neither README.md nor docs/ explains"
  done < <(sed -n 's/^W: [^:]*: \([^ ]*\).*/\1/p' "$log" | sort -u)
  echo "lintian: no errors"
}
