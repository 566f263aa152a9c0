#!/usr/bin/env bash
# Makes the Debian packages with CPack and checks what each one holds and
# depends on.   deb_packages_test.sh BUILD_DIR WORK_DIR VERSION
set -euo pipefail
build=$1 work=$2 version=$3

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }

deb() { find "$work" -maxdepth 1 -name "$1_${version}_*.deb" -print -quit; }
runtime=$(deb liborvanet1) dev=$(deb liborvanet-dev) tools=$(deb orvanet-tools)
[ -n "$runtime" ] && [ -n "$dev" ] && [ -n "$tools" ] || fail "expected three packages, got: $(ls "$work")"

contents() { dpkg-deb -c "$1" | awk '{ print $6 ($7 == "->" ? " -> " $8 : "") }' | sed 's|^\./|/|'; }
expect() {  # package pattern...
  local package=$1 listing
  shift
  listing=$(contents "$package")
  for pattern in "$@"; do
    grep -Eq "$pattern" <<<"$listing" || fail "$(basename "$package") lacks $pattern; it holds: $listing"
  done
}
refuse() {
  local package=$1 listing
  shift
  listing=$(contents "$package")
  for pattern in "$@"; do
    ! grep -Eq "$pattern" <<<"$listing" || fail "$(basename "$package") should not hold $pattern"
  done
}

expect "$runtime" "^/usr/lib/(.*/)?liborvanet\.so\.1\.[0-9]+\.[0-9]+$" "^/usr/lib/(.*/)?liborvanet\.so\.1 -> liborvanet\.so\.1\."
refuse "$runtime" "orvanet\.h" "liborvanet\.so -> " "/usr/bin/"
expect "$dev" "^/usr/include/orvanet\.h$" "^/usr/lib/(.*/)?liborvanet\.so -> liborvanet\.so\.1$" \
  "^/usr/lib/(.*/)?cmake/orvanet/orvanetConfig\.cmake$" "^/usr/lib/(.*/)?cmake/orvanet/orvanetTargets\.cmake$" \
  "^/usr/lib/(.*/)?pkgconfig/orvanet\.pc$"
refuse "$dev" "liborvanet\.so\.1\.[0-9]+\.[0-9]+$"
expect "$tools" "^/usr/bin/orvacli$" "^/usr/bin/orvasim$"
refuse "$tools" "liborvanet\.so"

# The packages hang together: development files and tools need this very
# runtime, and the runtime states the C library it was linked against.
dpkg-deb -f "$dev" Depends | grep -q "liborvanet1 (= $version)" || fail "liborvanet-dev Depends: $(dpkg-deb -f "$dev" Depends)"
dpkg-deb -f "$tools" Depends | grep -q "liborvanet1 (= $version)" || fail "orvanet-tools Depends: $(dpkg-deb -f "$tools" Depends)"
dpkg-deb -f "$runtime" Depends | grep -q "libc6" || fail "liborvanet1 Depends: $(dpkg-deb -f "$runtime" Depends)"
mkdir -p "$work/control"
dpkg-deb -e "$runtime" "$work/control"
grep -q "^liborvanet 1 liborvanet1" "$work/control/shlibs" || fail "liborvanet1 has no shlibs entry"
echo "debian packages: all checks passed"
