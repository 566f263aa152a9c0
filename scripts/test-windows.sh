#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds orvanet.dll and orvapanel.exe for 32- and 64-bit Windows with
# MinGW-w64, checks their export and import tables, runs the tests through the
# DLL's exports and the tests of the native dialog under Wine against an
# orvasim built for this machine, takes the dialog's screenshot and packs the
# ZIP of each architecture. On Debian 12 as root it installs the cross
# compilers, Wine and an X server for Wine's windows first (here rather than in
# setup-debian.sh: they are 3.5 GiB and need the i386 architecture, and only
# this stage uses them).
#
# The 32-bit Wine (wine32:i386) comes from the archive's i386 packages. When it
# cannot be installed (a mirror that serves a broken i386 index leaves its
# libraries without their security updates), the 32-bit build is still made
# and its tables checked and its ZIP packed, but its tests under Wine are left out, with
# the cause in a "not run" line; the 64-bit tests need only wine64.
#
# Everything after the packages runs in one network namespace of its own
# (scripts/netns-run.sh) and one X server: Wine's server owns the sockets of
# every Windows program, so the programs, the orvasim they talk to and the
# server share that namespace.
#
# Build directories: build-winhost (orvasim), build-win32, build-win64.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/stage.sh
root=$PWD

# --- Outside the namespace: packages and locales --------------------------------

install_windows_packages() {
  bash scripts/setup-debian.sh
  local packages=(
    # -posix: the win32 thread model of GCC 12 has no std::thread or std::mutex
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    # wine runs 64-bit programs with wine64 (32-bit ones with wine32, below);
    # fonts-wine has its MS Sans Serif (the dialogs' font) and Marlett (the
    # title bar's buttons)
    wine wine64 fonts-wine
    # an X server for the dialog's windows (xvfb-run needs xauth), ImageMagick
    # for the screenshot and the German and English locales Wine is run in
    xvfb xauth imagemagick locales
  )
  install_packages "${packages[@]}"
  # The 32-bit Wine on its own: when it cannot be installed, only the 32-bit tests are left out.
  if ! install_packages wine32:i386; then
    export ORVA_WINE32_MISSING="the 32-bit Wine (wine32:i386) cannot be installed: $package_failure"
    echo "test-windows: $ORVA_WINE32_MISSING; the 32-bit tests under Wine are left out" >&2
  fi
}

make_locales() {
  local locale
  for locale in de_DE en_US; do
    locale -a | grep -qx "$locale.utf8" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  done
}

# --- Inside: Wine, the builds and their tests ------------------------------------

# A prefix of its own, with the fonts and the virtual desktop; its server is
# ended again, so that the settings hold for the next start.
make_wine_prefix() {
  wineserver -p || true
  wineboot -i >/dev/null 2>&1
  # Debian's Wine reads its own fonts only from the prefix.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  [ -e "$fonts/ms_sans_serif.ttf" ] || cp /usr/share/wine/fonts/* "$fonts/"
  # Every window in one virtual desktop: the windows get Wine's title bars, and
  # hiding one does not wait for a window manager that Xvfb does not have.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wineserver -k || true
  wineserver -w
}

# The server, Wine's services and its desktop, started before CMake and CTest:
# they must not inherit the pipes CTest reads (each test would wait for them).
start_wine() {
  wineserver -p || true
  wine cmd /c exit >/dev/null 2>&1
  wine explorer /desktop=Default,1024x768 </dev/null >/dev/null 2>&1 &
}

build_host_orvasim() {
  cmake --preset winhost
  cmake --build --preset winhost -j2
}

# The presets win32 and win64: the toolchain file, and the orvasim of build-winhost.
build_windows() {
  cmake --preset "$1"
  cmake --build --preset "$1" -j2
}

# orvanet.dll: the seven exports, and imports of system DLLs only.
check_dll_tables() {
  local arch=$1 dll=$2 table exports dll_name
  local allowed_imports="KERNEL32.dll msvcrt.dll USER32.dll WS2_32.dll"
  local expected_exports="ORVAClose ORVAGetSockErr ORVAOpen ORVARdB ORVARdW ORVAWrB ORVAWrW"
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
}

# orvapanel.exe: system DLLs, and of orvanet.dll only the five it calls.
check_panel_tables() {
  local arch=$1 panel=$2 table imports dll_name
  local allowed_imports="kernel32.dll msvcrt.dll user32.dll gdi32.dll comctl32.dll orvanet.dll"  # any case
  local expected_imports="ORVAClose ORVAGetSockErr ORVAOpen ORVARdB ORVARdW"
  table=$("$arch-w64-mingw32-objdump" -p "$panel")
  for dll_name in $(awk '/DLL Name:/ {print $3}' <<<"$table"); do
    case " $allowed_imports " in
      *" ${dll_name,,} "*) ;;
      *) echo "$panel imports $dll_name: it must need nothing beyond $allowed_imports" >&2; exit 1 ;;
    esac
  done
  imports=$(sed -n '/DLL Name: orvanet.dll/,/^$/p' <<<"$table" | awk 'NR > 2 && NF >= 3 {print $NF}' | sort | xargs)
  if [ "$imports" != "$expected_imports" ]; then
    echo "$panel imports from orvanet.dll: $imports (expected: $expected_imports)" >&2
    exit 1
  fi
  echo "$panel: imports $imports from orvanet.dll"
}

# The download: what a Windows user unpacks (its contents are checked by
# scripts/test-release.sh, with the other release packages).
pack_zip() {
  local build=$1 zip
  (cd "$build" && cpack -G ZIP >/dev/null)
  zip=$(ls "$build"/orvanet-*-win*.zip)
  echo "$zip: $(unzip -Z1 "$zip" | grep -vc '/$') files"
}

# One architecture: PRESET (win32, win64), the tools' prefix ARCH, and why its
# tests cannot run under Wine here (empty: they run).
windows_build() {
  local preset=$1 arch=$2 not_run=$3 build=build-$1
  build_windows "$preset"
  check_dll_tables "$arch" "$build/linklib/orvanet.dll"
  check_panel_tables "$arch" "$build/demo/win32/orvapanel.exe"
  if [ -n "$not_run" ]; then
    report_not_run "$preset" "$not_run"
  else
    run_ctest "$preset" --preset "$preset"
  fi
  pack_zip "$build"
}

# --- The order -----------------------------------------------------------------

if [ -z "${ORVA_WINDOWS_INSIDE:-}" ]; then
  install_windows_packages
  make_locales
  export ORVA_WINDOWS_INSIDE=1
  exec "$root/scripts/netns-run.sh" xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

export WINEPREFIX=$root/build-winhost/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
trap 'wineserver -k || true' EXIT
make_wine_prefix
start_wine
build_host_orvasim
windows_build win32 i686 "${ORVA_WINE32_MISSING:-}"
windows_build win64 x86_64 ""
