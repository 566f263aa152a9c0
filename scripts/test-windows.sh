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
  # wine runs 64-bit programs with wine64 and 32-bit ones with wine32;
  # fonts-wine has its MS Sans Serif (the dialogs' font) and Marlett (the
  # title bar's buttons)
  wine wine64 wine32:i386 fonts-wine
  # an X server for the dialog's windows (xvfb-run needs xauth), ImageMagick
  # for the screenshot and the German and English locales Wine is run in
  xvfb xauth imagemagick locales
)
install_packages "${packages[@]}"

for locale in de_DE en_US; do
  locale -a | grep -qx "$locale.utf8" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
done

# --- The rest inside an X server of its own -----------------------------------------
if [ -z "${ORVA_WINDOWS_XVFB:-}" ]; then
  export ORVA_WINDOWS_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

# --- Wine: a prefix of its own, its server started before any output is captured
export WINEPREFIX=$root/build-winhost/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
trap 'wineserver -k || true' EXIT
wineserver -p || true
wineboot -i >/dev/null 2>&1
# Debian's Wine reads its own fonts only from the prefix.
fonts=$WINEPREFIX/drive_c/windows/Fonts
[ -e "$fonts/ms_sans_serif.ttf" ] || cp /usr/share/wine/fonts/* "$fonts/"
# Every window in one virtual desktop: the windows get Wine's title bars, and
# hiding one does not wait for a window manager that Xvfb does not have. The
# setting holds for a Wine started after it: the server starts again.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wineserver -k || true
wineserver -w
# Wine's services and its desktop must not inherit the pipes CTest reads (each
# test would wait for them), so they start here, before CMake and CTest.
wineserver -p || true
wine cmd /c exit >/dev/null 2>&1
wine explorer /desktop=Default,1024x768 </dev/null >/dev/null 2>&1 &

# --- orvasim for this machine ---------------------------------------------------
cmake --preset winhost
cmake --build --preset winhost -j2

# --- The two builds and their tests ----------------------------------------------
allowed_imports="KERNEL32.dll msvcrt.dll USER32.dll WS2_32.dll"
expected_exports="ORVAClose ORVAGetSockErr ORVAOpen ORVARdB ORVARdW ORVAWrB ORVAWrW"
# orvapanel.exe: system DLLs, and of orvanet.dll only the five it calls.
panel_allowed_imports="kernel32.dll msvcrt.dll user32.dll gdi32.dll comctl32.dll orvanet.dll"  # any case
panel_expected_imports="ORVAClose ORVAGetSockErr ORVAOpen ORVARdB ORVARdW"

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

  panel=$build/demo/win32/orvapanel.exe
  table=$("$arch-w64-mingw32-objdump" -p "$panel")
  for dll_name in $(awk '/DLL Name:/ {print $3}' <<<"$table"); do
    case " $panel_allowed_imports " in
      *" ${dll_name,,} "*) ;;
      *) echo "$panel imports $dll_name: it must need nothing beyond $panel_allowed_imports" >&2; exit 1 ;;
    esac
  done
  imports=$(sed -n '/DLL Name: orvanet.dll/,/^$/p' <<<"$table" | awk 'NR > 2 && NF >= 3 {print $NF}' | sort | xargs)
  if [ "$imports" != "$panel_expected_imports" ]; then
    echo "$panel imports from orvanet.dll: $imports (expected: $panel_expected_imports)" >&2
    exit 1
  fi
  echo "$panel: imports $imports from orvanet.dll"

  ctest --preset "${build#build-}"

  # The download: what a Windows user unpacks.
  (cd "$build" && cpack -G ZIP >/dev/null)
  zip=$(ls "$build"/orvanet-*-win*.zip)
  listed=$(unzip -Z1 "$zip" | sed 's|^[^/]*/||' | sort | xargs)
  for f in README.txt LICENSE bin/orvanet.dll bin/orvapanel.exe bin/orvacli.exe bin/oem.bmp include/orvanet.h \
           lib/liborvanet.dll.a lib/orvanet.lib lib/orvanet.def; do
    case " $listed " in
      *" $f "*) ;;
      *) echo "$zip lacks $f" >&2; exit 1 ;;
    esac
  done
  echo "$zip: $(unzip -Z1 "$zip" | grep -vc '/$') files"
done
