#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Debian packages, made as docs/install.md says (the deb preset, in a build
# folder of this test's own, then cpack): what each one holds, says and
# depends on, lintian on all three (any error fails, and every warning must be
# one docs/testing.md explains), and the unpacked packages used: a program built
# against the development files, and orvacli run from them.
#   deb_packages_test.sh SOURCE_DIR BUILD_DIR WORK_DIR VERSION C_COMPILER
# BUILD_DIR is the build this test belongs to: unless it installs into the
# multiarch directory, cpack must refuse to make packages from it.
set -euo pipefail
src=$1 build=$2 work=$3 version=$4 cc=$5

fail() { echo "FAIL: $*" >&2; exit 1; }
source "$src/tests/support/lintian.sh"
run() {  # LOG COMMAND...: the command's output goes to LOG, and is shown when it fails
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "$*"; }
}

command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup-debian.sh installs it)"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=/usr/lib/$multiarch

# The package build is kept between runs; everything else starts afresh.
mkdir -p "$work"
find "$work" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +

# 1. Not from a build that installs the library elsewhere.
if [ "$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")" != "lib/$multiarch" ]; then
  if (cd "$build" && cpack -G DEB -B "$work/refused") >"$work/refused.log" 2>&1; then
    fail "cpack made Debian packages from $build, which installs the library elsewhere than $libdir"
  fi
  grep -q "configured with -DCMAKE_INSTALL_PREFIX=/usr" "$work/refused.log" ||
    { cat "$work/refused.log" >&2; fail "cpack refused $build without saying how to make the packages"; }
  echo "refused from $build: ok"
fi

# 2. The packages.
run "$work/configure.log" cmake --preset deb -S "$src" -B "$work/build"
run "$work/build.log" cmake --build "$work/build" -j2
run "$work/cpack.log" sh -c "cd '$work/build' && cpack -G DEB -B '$work/debs'"

deb() { find "$work/debs" -maxdepth 1 -name "$1_${version}_*.deb" -print -quit; }
runtime=$(deb liborvanet1) dev=$(deb liborvanet-dev) tools=$(deb orvanet-tools)
[ -n "$runtime" ] && [ -n "$dev" ] && [ -n "$tools" ] || fail "expected three packages, got: $(ls "$work/debs")"
for package in "$runtime" "$dev" "$tools"; do
  echo "$(basename "$package"): $(stat -c %s "$package") bytes, Installed-Size $(dpkg-deb -f "$package" Installed-Size) KiB"
done

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

expect "$runtime" "^$libdir/liborvanet\.so\.1\.[0-9]+\.[0-9]+$" "^$libdir/liborvanet\.so\.1 -> liborvanet\.so\.1\."
refuse "$runtime" "orvanet\.h" "liborvanet\.so -> " "/usr/bin/"
expect "$dev" "^/usr/include/orvanet\.h$" "^$libdir/liborvanet\.so -> liborvanet\.so\.1$" \
  "^$libdir/cmake/orvanet/orvanetConfig\.cmake$" "^$libdir/cmake/orvanet/orvanetTargets\.cmake$" \
  "^$libdir/pkgconfig/orvanet\.pc$"
refuse "$dev" "liborvanet\.so\.1\.[0-9]+\.[0-9]+$"
expect "$tools" "^/usr/bin/orvacli$" "^/usr/bin/orvasim$"
refuse "$tools" "liborvanet\.so"
for package in "$runtime" "$dev" "$tools"; do
  name=$(dpkg-deb -f "$package" Package)
  expect "$package" "^/usr/share/doc/$name/copyright$" "^/usr/share/doc/$name/changelog\.gz$"
  # Nothing outside the multiarch directory in /usr/lib; the licence only as the copyright file.
  refuse "$package" "^/usr/lib/[^/]+$" "^/usr/lib/(pkgconfig|cmake)/" "^/usr/share/doc/orvanet/"
done

# The control fields, and the packages hang together: development files and
# tools need this very runtime, and the runtime states the C library it was
# linked against.
# (Each field is read whole before it is matched: a reader that stops early
# would end the writer with SIGPIPE.)
field() { dpkg-deb -f "$1" "$2"; }
declare -A section=([liborvanet1]=libs [liborvanet-dev]=libdevel [orvanet-tools]=net)
synopses=""
for package in "$runtime" "$dev" "$tools"; do
  name=$(field "$package" Package)
  for f in "Section=${section[$name]}" Priority=optional Source=orvanet; do
    [ "$(field "$package" "${f%%=*}")" = "${f#*=}" ] || fail "$name ${f%%=*}: $(field "$package" "${f%%=*}")"
  done
  maintainer=$(field "$package" Maintainer)
  grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' <<<"$maintainer" || fail "$name Maintainer: $maintainer"
  description=$(field "$package" Description)
  synopses+="${description%%$'\n'*}"$'\n'
done
[ "$(sort -u <<<"$synopses" | grep -c .)" = 3 ] || fail "the packages share a synopsis: $synopses"
for f in "$dev=liborvanet1 (= $version)" "$tools=liborvanet1 (= $version)" "$runtime=libc6"; do
  depends=$(field "${f%%=*}" Depends)
  grep -qF "${f#*=}" <<<"$depends" || fail "$(basename "${f%%=*}") Depends: $depends"
done
mkdir -p "$work/control"
dpkg-deb -e "$runtime" "$work/control"
grep -q "^liborvanet 1 liborvanet1" "$work/control/shlibs" || fail "liborvanet1 has no shlibs entry"
grep -qx "activate-noawait ldconfig" "$work/control/triggers" || fail "liborvanet1 has no ldconfig trigger"

# The documentation files: the changelog's newest entry is this version, the
# licence is Apache-2.0.
mkdir -p "$work/root"
for package in "$runtime" "$dev" "$tools"; do dpkg-deb -x "$package" "$work/root"; done
doc=$work/root/usr/share/doc/liborvanet1
newest=$(zcat "$doc/changelog.gz" | sed -n 1p)
[[ $newest == "orvanet ($version) "* ]] || fail "the changelog begins with: $newest"
grep -qx "License: Apache-2.0" "$doc/copyright" || fail "the copyright file names no Apache-2.0 licence"

# 3. lintian: no errors, and no warning that the docs do not explain.
lintian_clean "$src" "$work/lintian.log" "$runtime" "$dev" "$tools"

# 4. The unpacked packages at work: a program built with find_package and
# with pkg-config against the development files, and the packaged orvacli,
# which finds the packaged library by itself.
root=$work/root
run "$work/consumer-cmake.log" cmake -S "$src/tests/install/consumer" -B "$work/consumer-cmake" -G Ninja \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$root/usr"
run "$work/consumer-cmake-build.log" cmake --build "$work/consumer-cmake"
pc_libdir=$(PKG_CONFIG_PATH=$root$libdir/pkgconfig pkg-config --variable=libdir orvanet)
[ "$(realpath "$pc_libdir")" = "$(realpath "$root$libdir")" ] || fail "pkg-config libdir $pc_libdir is not $root$libdir"
# shellcheck disable=SC2046
"$cc" -o "$work/consumer-pc" "$src/tests/install/consumer/consumer.c" \
  $(PKG_CONFIG_PATH=$root$libdir/pkgconfig pkg-config --cflags --libs orvanet) || fail "build with pkg-config"
loaded=$(env -u LD_LIBRARY_PATH ldd "$root/usr/bin/orvacli" | awk '/liborvanet\.so\.1/ {print $3}')
[ "$(realpath "$loaded")" = "$(realpath "$root$libdir/liborvanet.so.1")" ] ||
  fail "the packaged orvacli loads ${loaded:-no liborvanet}, not the packaged library"
[ "$(env -u LD_LIBRARY_PATH "$root/usr/bin/orvacli" --version)" = "orvacli $version" ] || fail "packaged orvacli --version"
echo "unpacked packages: ok"
echo "debian packages: all checks passed"
