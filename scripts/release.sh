#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds every package a user installs into one folder, out/release/, with a
# SHA256SUMS file (docs/install.md lists the files and how each installs):
#   the Debian packages (cpack -G DEB of the deb preset), the Windows ZIPs
#   (cpack -G ZIP of the win32 and win64 presets), the Python wheel and sdist
#   (Debian's build backend, no package index), the npm tarballs of orvanet and
#   node-red-contrib-orvanet (npm pack), and the .NET assembly Orvanet.Net.dll
#   with its XML documentation (mcs).
# Every one carries the version of project() in CMakeLists.txt
# (scripts/lib/versions.py refuses to go on when a copy differs).
#
#   scripts/release.sh                    builds everything itself, in out/build/
#   scripts/release.sh --reuse BUILD_DIR  takes the builds CI made before where they
#       are there: the deb build of BUILD_DIR's packaging test
#       (BUILD_DIR/tests/install/debs/build) and test-windows.sh's build-win32
#       and build-win64; what is not there is built in out/build/ as without it.
#       ORVA_RELEASE_REUSE=BUILD_DIR does the same.
# As root it installs the Debian packages it needs first. Without the MinGW-w64
# cross compilers (or when they cannot be installed) it says so, leaves the
# ZIPs out and goes on; everything else must build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
reuse=${ORVA_RELEASE_REUSE:-}
while [ $# -gt 0 ]; do
  case $1 in
    --reuse) reuse=${2:?--reuse needs a build folder}; shift 2 ;;
    --reuse=*) reuse=${1#--reuse=}; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "release: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
[ -z "$reuse" ] || reuse=$(realpath -m "$reuse")

version=$(python3 scripts/lib/versions.py "$root") || { echo "release: the versions differ (above)" >&2; exit 1; }
out=$root/out/release
builds=$root/out/build
left_out=()
began=$SECONDS
say() { echo "release: $*"; }
# Each step's output goes to a log, shown when the step fails.
logged() {
  local log=$builds/$1.log
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "release: failed: $* (log: $log)" >&2; return 1; }
}

# --- Packages ------------------------------------------------------------------

if [ "$(id -u)" = 0 ]; then
  source scripts/lib/packages.sh
  bash scripts/setup-debian.sh >/dev/null
  # the wheel and sdist without a package index; mcs; npm for npm pack
  needed=(python3-build python3-setuptools python3-wheel mono-mcs)
  command -v npm >/dev/null || needed+=(nodejs npm)
  install_packages "${needed[@]}" >/dev/null
  install_packages g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix >/dev/null ||
    say "the MinGW-w64 cross compilers cannot be installed: $package_failure"
fi

rm -rf "$out"
mkdir -p "$out" "$builds"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A cpack run in BUILD of GENERATOR; its packages are moved to out/release.
pack() {
  local build=$1 generator=$2 name=$3
  rm -rf "$builds/$name-cpack"
  logged "$name-cpack" sh -c "cd '$build' && cpack -G $generator -B '$builds/$name-cpack'"
  find "$builds/$name-cpack" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) -exec mv -t "$out" {} +
}

# The folder of a build: the reused one where it is configured, else out/build/NAME
# (configured with PRESET and ARGS the first time).
build_dir() {
  local reused=$1 name=$2 preset=$3
  shift 3
  if [ -n "$reuse" ] && [ -f "$reused/CMakeCache.txt" ]; then
    echo "$reused"
    return
  fi
  [ -f "$builds/$name/CMakeCache.txt" ] || logged "$name-configure" cmake --preset "$preset" -S "$root" -B "$builds/$name" "$@"
  echo "$builds/$name"
}

# --- The Debian packages ---------------------------------------------------------

debs=(liborvanet1 liborvanet-dev orvanet-tools liborvavars1 liborvavars-dev orvanet-gate)
step=$SECONDS
deb_build=$(build_dir "$reuse/tests/install/debs/build" deb deb)
logged deb-build nice cmake --build "$deb_build" -j2
pack "$deb_build" DEB deb
for name in "${debs[@]}"; do
  ls "$out/${name}_${version}_"*.deb >/dev/null 2>&1 ||
    { echo "release: no $name package from $deb_build (the gateway needs libmosquitto-dev and libtomlplusplus-dev: scripts/setup-debian.sh)" >&2; exit 1; }
done
say "Debian packages from $deb_build: $((SECONDS - step)) s"

# --- The Windows ZIPs ------------------------------------------------------------

for arch in win32:i686 win64:x86_64; do
  preset=${arch%%:*} prefix=${arch#*:}
  if ! command -v "$prefix-w64-mingw32-g++-posix" >/dev/null; then
    left_out+=("orvanet-$version-$preset.zip: no $prefix-w64-mingw32-g++-posix (Debian's g++-mingw-w64-${prefix/_/-}-posix)")
    say "${left_out[-1]}; going on without it"
    continue
  fi
  step=$SECONDS
  # The download holds no tests: a build of its own has them off.
  win_build=$(build_dir "$root/build-$preset" "$preset" "$preset" -DORVA_BUILD_TESTS=OFF)
  logged "$preset-build" nice cmake --build "$win_build" -j2
  pack "$win_build" ZIP "$preset"
  [ -f "$out/orvanet-$version-$preset.zip" ] || { echo "release: cpack made no orvanet-$version-$preset.zip in $win_build" >&2; exit 1; }
  say "orvanet-$version-$preset.zip from $win_build: $((SECONDS - step)) s"
done

# --- Python: wheel and sdist -----------------------------------------------------

step=$SECONDS
# From a copy: the build leaves its build/ and egg-info folders there, not in the tree.
cp -r bindings/python "$work/python"
cp LICENSE "$work/python/LICENSE"
# Debian's own Python, which has Debian's build, setuptools and wheel (not a pyenv one).
logged python-build /usr/bin/python3 -m build --no-isolation --sdist --wheel --outdir "$out" "$work/python"
say "Python wheel and sdist: $((SECONDS - step)) s"

# --- npm: orvanet and node-red-contrib-orvanet -----------------------------------

step=$SECONDS
for package in node node-red; do
  mkdir -p "$work/npm/$package"
  tar -C "bindings/$package" --exclude=node_modules --exclude=test -cf - . | tar -C "$work/npm/$package" -xf -
  cp LICENSE "$work/npm/$package/LICENSE"
done
# In the tree the Node-RED package links the binding beside it (file:../node);
# the tarball depends on the orvanet package of the same release, so that
# installing both tarballs into a project leaves no link to a folder.
node -e '
  const fs = require("fs"), [file, version] = process.argv.slice(1);
  const p = JSON.parse(fs.readFileSync(file, "utf8"));
  p.dependencies.orvanet = version;
  fs.writeFileSync(file, JSON.stringify(p, null, 2) + "\n");' "$work/npm/node-red/package.json" "$version"
for package in node node-red; do
  (cd "$work/npm/$package" && logged "npm-pack-$package" npm pack --pack-destination "$out" --loglevel=error)
done
say "npm tarballs: $((SECONDS - step)) s"

# --- .NET ------------------------------------------------------------------------

step=$SECONDS
cat >"$work/AssemblyInfo.cs" <<EOF
// Made by scripts/release.sh from project() in CMakeLists.txt.
using System.Reflection;
[assembly: AssemblyTitle("Orvanet.Net")]
[assembly: AssemblyVersion("$version.0")]
[assembly: AssemblyFileVersion("$version.0")]
[assembly: AssemblyInformationalVersion("$version")]
EOF
# As scripts/test-dotnet.sh compiles it (C# 4, warnings are errors), with the
# documentation its /// comments hold: a public member without one (CS1591) fails.
logged dotnet mcs -target:library -langversion:4 -warn:4 -warnaserror+ -doc:"$out/Orvanet.Net.xml" \
  -out:"$out/Orvanet.Net.dll" bindings/dotnet/*.cs "$work/AssemblyInfo.cs"
say ".NET assembly: $((SECONDS - step)) s"

# --- The checksums ---------------------------------------------------------------

(cd "$out" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
say "orvanet $version in $out ($((SECONDS - began)) s):"
(cd "$out" && ls -l | tail -n +2)
for line in "${left_out[@]}"; do
  say "left out: $line"
done
