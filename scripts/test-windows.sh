#!/usr/bin/env bash
# Builds orvanet.dll for 32- and 64-bit Windows with MinGW-w64, checks its
# export and import tables, and runs the tests through its exports under Wine
# against an orvasim built for this machine. On Debian 12 as root it installs
# the cross compilers and Wine first (here rather than in setup-debian.sh:
# they are 3.5 GiB and need the i386 architecture, and only this stage uses
# them).
#
# Build directories: build-winhost (orvasim), build-win32, build-win64.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
root=$PWD

bash scripts/setup-debian.sh

# --- Cross compilers and Wine ------------------------------------------------
packages=(
  # -posix: the win32 thread model of GCC 12 has no std::thread or std::mutex
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  # wine runs 64-bit programs with wine64 and 32-bit ones with wine32
  wine wine64 wine32:i386
)
install_packages "${packages[@]}"

# --- Wine: a prefix of its own, its server started before any output is captured
export WINEPREFIX=$root/build-winhost/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"
# Wine's services must not inherit the pipes CTest reads (each test would wait
# for them), so the server and the services start here, before CMake and CTest.
wineserver -p || true
trap 'wineserver -k || true' EXIT
wineboot -i >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1

# --- orvasim for this machine ---------------------------------------------------
cmake --preset winhost
cmake --build --preset winhost -j2

# --- The two DLLs and their tests ----------------------------------------------
allowed_imports="KERNEL32.dll msvcrt.dll USER32.dll WS2_32.dll"
expected_exports="ORVAClose ORVAGetSockErr ORVAOpen ORVARdB ORVARdW ORVAWrB ORVAWrW"

for arch in i686 x86_64; do
  case $arch in
    i686) build=build-win32 ;;
    x86_64) build=build-win64 ;;
  esac
  # The presets win32 and win64: the toolchain file, and the orvasim of build-winhost.
  cmake --preset "${build#build-}"
  cmake --build --preset "${build#build-}" -j2

  dll=$build/linklib/orvanet.dll
  table=$("$arch-w64-mingw32-objdump" -p "$dll")
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | awk '/\[/ && NR > 1 {print $NF}' | sort | xargs)
  if [ "$exports" != "$expected_exports" ]; then
    echo "$dll exports: $exports (expected: $expected_exports)" >&2
    exit 1
  fi
  for dll_name in $(awk '/DLL Name:/ {print $3}' <<<"$table"); do
    case " $allowed_imports " in
      *" $dll_name "*) ;;
      *) echo "$dll imports $dll_name: it must need nothing beyond $allowed_imports" >&2; exit 1 ;;
    esac
  done
  echo "$dll: exports $exports"

  ctest --preset "${build#build-}"
done
