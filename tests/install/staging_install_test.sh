#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build into a staging prefix and uses it as a user would: a
# consumer project built once with find_package and once with pkg-config, both
# run against orvasim, and the installed orvacli reading back what they wrote.
#   staging_install_test.sh BUILD_DIR WORK_DIR C_COMPILER ADDRESS
set -euo pipefail
build=$1 work=$2 cc=$3 address=$4
here=$(cd "$(dirname "$0")" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# The installed tree: header, library with SONAME and links, both package files, programs, licence.
lib=$(dirname "$(find "$prefix" -name 'liborvanet.so.1.*.*' -print -quit)")
[ -d "$lib" ] || fail "no liborvanet.so.1.x.y installed"
for f in "$prefix/include/orvanet.h" "$lib/cmake/orvanet/orvanetConfig.cmake" \
         "$lib/cmake/orvanet/orvanetConfigVersion.cmake" "$lib/pkgconfig/orvanet.pc" \
         "$prefix/bin/orvacli" "$prefix/bin/orvasim" "$prefix/share/doc/orvanet/LICENSE"; do
  [ -f "$f" ] || fail "not installed: ${f#"$prefix"/}"
done
# The Debian packages' own documentation folders come only with their packages.
[ ! -e "$prefix/share/doc/liborvanet1" ] || fail "a plain install holds share/doc/liborvanet1"
[ "$(readlink "$lib/liborvanet.so.1")" = "$(basename "$lib"/liborvanet.so.1.*.*)" ] || fail "liborvanet.so.1 link"
[ "$(readlink "$lib/liborvanet.so")" = "liborvanet.so.1" ] || fail "liborvanet.so link"
readelf -d "$lib/liborvanet.so.1" | grep -q 'SONAME.*\[liborvanet\.so\.1\]' || fail "SONAME is not liborvanet.so.1"

# The simulator from the staged tree, on an address of this test's own.
sim_log=$work/orvasim.log
"$prefix/bin/orvasim" --address "$address" >"$sim_log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q "listening on" "$sim_log" && break
  kill -0 "$sim" 2>/dev/null || { cat "$sim_log" >&2; fail "orvasim did not start"; }
  sleep 0.05
done

# 1. find_package(orvanet CONFIG), nothing but the prefix given.
cmake -S "$here/consumer" -B "$work/consumer-cmake" -G Ninja -DCMAKE_C_COMPILER="$cc" \
      -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer-cmake.log" 2>&1 || { cat "$work/consumer-cmake.log"; fail "configure with find_package"; }
cmake --build "$work/consumer-cmake" >>"$work/consumer-cmake.log" 2>&1 || { cat "$work/consumer-cmake.log"; fail "build with find_package"; }
out=$("$work/consumer-cmake/consumer" "$address") || fail "find_package consumer: $out"
[ "$out" = "consumer: ok" ] || fail "find_package consumer said: $out"
echo "find_package consumer: ok"

# 2. pkg-config, the way a Makefile uses it.
export PKG_CONFIG_PATH=$lib/pkgconfig
[ "$(pkg-config --modversion orvanet)" = "$(sed -n 's/^Version: //p' "$lib/pkgconfig/orvanet.pc")" ] || fail "pkg-config --modversion"
# shellcheck disable=SC2046
"$cc" -o "$work/consumer-pc" "$here/consumer/consumer.c" $(pkg-config --cflags --libs orvanet) || fail "build with pkg-config"
libdir=$(pkg-config --variable=libdir orvanet)
[ "$(cd "$libdir" && pwd -P)" = "$(cd "$lib" && pwd -P)" ] || fail "pkg-config libdir $libdir is not $lib"
out=$(LD_LIBRARY_PATH=$libdir "$work/consumer-pc" "$address") || fail "pkg-config consumer: $out"
[ "$out" = "consumer: ok" ] || fail "pkg-config consumer said: $out"
echo "pkg-config consumer: ok"

# 3. The installed orvacli finds the installed library by itself.
loaded=$(ldd "$prefix/bin/orvacli" | awk '/liborvanet\.so\.1/ {print $3}')
[ "$(realpath "$loaded")" = "$(realpath "$lib/liborvanet.so.1")" ] || fail "orvacli loads ${loaded:-no liborvanet}, not the staged library"
out=$(env -u LD_LIBRARY_PATH "$prefix/bin/orvacli" "$address" read M 200 4 --hex) || fail "installed orvacli: $out"
[ "$out" = "C0 01 7F 80" ] || fail "installed orvacli read: $out"
echo "installed orvacli: ok"
echo "staging install: all checks passed"
