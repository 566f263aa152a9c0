#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The release packages installed as a user installs them, each alone, and a
# first read through each against orvasim on 127.0.0.1 in a network namespace
# of its own. Builds them first with scripts/release.sh --reuse BUILD_DIR
# (default build/test: the builds of the earlier stages), unless
# ORVA_RELEASE_BUILT=1 says out/release is already made.
#   debs     apt-get install ./out/release/*.deb; orvacli --version and a first
#            read; the C example built with pkg-config and a project with
#            find_package, both run (the packages' contents, lintian and the
#            gateway's install: tests/install and tests/gate)
#   python   the wheel into a fresh venv from out/release alone (no index); the
#            README's first read, the libraries found from the .debs
#   node     the orvanet tarball into a fresh npm project; a first read; an
#            unrelated npm install; the read again
#   node-red both tarballs into a fresh Node-RED user directory, the same
#            unrelated install; Node-RED (the lock-pinned one of bindings/node-red)
#            started, the example flow deployed, its values seen, Node-RED stopped
#   dotnet   Orvanet.Net.xml is well-formed and documents OrvaConnection;
#            examples/csharp/ReadWrite.cs compiled against out/release's
#            Orvanet.Net.dll, run with mono
#   win32, win64  each ZIP's listing holds what a Windows user needs (running it
#            is test-windows.sh's job)
# The .debs go into an overlay of /usr, /etc and /var in a private mount
# namespace, so the machine itself does not change (as root, as CI runs).
# Ends with "== release: P passed, F failed"; a check that cannot run is a
# "not run" line.
#   scripts/test-release.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/stage.sh
root=$PWD
out=$root/out/release
build=$(realpath -m "${1:-build/test}")
# Tiny, and nothing of ours: the unrelated install that must leave orvanet as it was.
unrelated=is-number@7.0.0

if [ -z "${ORVA_RELEASE_INSIDE:-}" ]; then
  began=$SECONDS
  [ "$(id -u)" = 0 ] || { echo "test-release: installs the .debs: run it as root" >&2; exit 1; }
  packages=(python3-venv mono-runtime mono-mcs pkg-config unzip)
  command -v npm >/dev/null || packages+=(nodejs npm)
  install_packages "${packages[@]}"
  [ "${ORVA_RELEASE_BUILT:-}" = 1 ] || bash scripts/release.sh --reuse "$build"
  # Node-RED itself: the version bindings/node-red's lock file pins (test-node.sh installs it).
  if [ ! -f bindings/node-red/node_modules/node-red/red.js ]; then
    (cd bindings/node-red && npm ci --no-audit --no-fund --loglevel=error)
  fi
  echo "test-release: packages and release $((SECONDS - began)) s"
  export ORVA_RELEASE_INSIDE=1
  exec unshare -m --propagation private bash "$0" "$@"
fi

# --- Inside the mount namespace --------------------------------------------------

version=$(python3 scripts/lib/versions.py "$root")
work=$(mktemp -d)
mount -t tmpfs tmpfs "$work"
for d in usr etc var; do
  mkdir -p "$work/overlay/$d/upper" "$work/overlay/$d/work"
  mount -t overlay overlay -o "lowerdir=/$d,upperdir=$work/overlay/$d/upper,workdir=$work/overlay/$d/work" "/$d"
done
passed=0 failed=0
fail() { echo "FAIL: $*" >&2; return 1; }
# check NAME FUNCTION: one check, its output in a log shown when it fails.
check() {
  local name=$1 began=$SECONDS status
  # A subshell outside any condition, so that its first failing command ends it.
  set +e
  (set -e; "$2") >"$work/$name.log" 2>&1
  status=$?
  set -e
  if [ "$status" = 0 ]; then
    passed=$((passed + 1))
    echo "test-release: $name ok ($((SECONDS - began)) s): $(tail -1 "$work/$name.log")"
  else
    failed=$((failed + 1))
    cat "$work/$name.log" >&2
    echo "test-release: $name FAILED ($((SECONDS - began)) s)" >&2
  fi
}
# The simulator of the .debs on 127.0.0.1 of a namespace of its own, ARGS... run beside it.
with_sim() { in_netns "$root/scripts/with-orvasim.sh" /usr/bin/orvasim 127.0.0.1 "$@"; }
npm_install() { npm install --no-audit --no-fund --loglevel=error "$@"; }

debs() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$out"/*.deb >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install ./out/release/*.deb"; }
  local name
  for name in liborvanet1 liborvanet-dev orvanet-tools liborvavars1 liborvavars-dev orvanet-gate; do
    [ "$(dpkg-query -W -f='${Status} ${Version}' "$name")" = "install ok installed $version" ] || fail "$name is not installed"
  done
  [ "$(orvacli --version)" = "orvacli $version" ] || fail "orvacli --version: $(orvacli --version)"
  # The C example with pkg-config, a project of its own with find_package.
  # shellcheck disable=SC2046
  cc -o "$work/readwrite_all" examples/c/readwrite_all.c $(pkg-config --cflags --libs orvanet) || fail "cc with pkg-config"
  cmake -S tests/install/consumer -B "$work/consumer" -G Ninja >/dev/null && cmake --build "$work/consumer" >/dev/null ||
    fail "find_package(orvanet)"
  cat >"$work/debs-reads.sh" <<EOF
set -e
orvacli 127.0.0.1 write DB5 0 4711 4712 --words
orvacli 127.0.0.1 read DB5 0 2 --words | tee "$work/orvacli.out"
grep -Eq "DB 5 DW1 +4712 " "$work/orvacli.out"
"$work/readwrite_all" 127.0.0.1 >/dev/null
"$work/consumer/consumer" 127.0.0.1
EOF
  with_sim bash "$work/debs-reads.sh"
}

python_wheel() {
  /usr/bin/python3 -m venv "$work/venv"
  "$work/venv/bin/pip" install --quiet --no-index --find-links "$out" orvanet
  [ "$("$work/venv/bin/pip" show orvanet | sed -n 's/^Version: //p')" = "$version" ] || fail "the wheel's version"
  # The README's first read; the libraries come from the .debs.
  with_sim env -u ORVANET_LIBRARY -u ORVAVARS_LIBRARY "$work/venv/bin/python" -c '
import orvanet
with orvanet.connect("127.0.0.1", receive_timeout_ms=1000) as plc:
    plc.write({"DB10.DD30:KG": 12.34567, "MW20:KF": -7, "M20.3": True})
    values = plc.read(["DB10.DD30:KG", "MW20:KF", "M20.3"])
assert values == {"DB10.DD30:KG": 12.345670700073242, "MW20:KF": -7, "M20.3": True}, values
print("python: read", values, "through", orvanet.__file__)'
}

# The README's first read, from the package PROJECT installed.
node_read() {
  cat >"$1/read.mjs" <<'EOF'
import { connect } from 'orvanet';
const plc = connect('127.0.0.1', { receiveTimeoutMs: 1000 });
await plc.writeWords('DB5', 3, [0x1234, 42]);
const words = await plc.readWords('DB5', 0, 6);
await plc.write({ 'DB10.DD30:KG': 12.34567, 'M20.3': true });
const values = await plc.read(['DB10.DD30:KG', 'M20.3']);
await plc.close();
if (words.join() !== '0,0,0,4660,42,0' || values['DB10.DD30:KG'] !== 12.345670700073242 || values['M20.3'] !== true) {
  console.error('read back:', words, values);
  process.exit(1);
}
console.log('node: read', words.join(), JSON.stringify(values));
EOF
  (cd "$1" && with_sim env -u ORVANET_LIBRARY -u ORVAVARS_LIBRARY node read.mjs)
}
# orvanet in PROJECT's node_modules is a copy (no link to a folder) with its koffi.
node_installed() {
  [ -d "$1/node_modules/orvanet" ] && [ ! -L "$1/node_modules/orvanet" ] || fail "node_modules/orvanet is a link or missing"
  (cd "$1" && node -e 'require.resolve("koffi", { paths: [require.resolve("orvanet")] })') || fail "orvanet does not find koffi"
}

node_tarball() {
  local project=$work/node-project
  mkdir -p "$project"
  (cd "$project" && npm init -y >/dev/null && npm_install "$out/orvanet-$version.tgz")
  node_installed "$project"
  node_read "$project"
  (cd "$project" && npm_install "$unrelated")
  node_installed "$project"
  node_read "$project"
}

node_red() {
  local user_dir=$work/node-red-user
  mkdir -p "$user_dir"
  (cd "$user_dir" && npm init -y >/dev/null &&
    npm_install "$out/orvanet-$version.tgz" "$out/node-red-contrib-orvanet-$version.tgz" && npm_install "$unrelated")
  node_installed "$user_dir"
  [ "$(node -p "require('$user_dir/node_modules/node-red-contrib-orvanet/package.json').dependencies.orvanet")" = "$version" ] ||
    fail "node-red-contrib-orvanet does not depend on orvanet $version"
  local flow
  flow=$(find bindings/node-red/examples -name 'Read a data block every second.json')
  in_netns "$root/scripts/with-orvasim.sh" /usr/bin/orvasim 127.0.0.1 \
    bash -c 'orvacli 127.0.0.1 write DB5 0 4711 4712 --words >/dev/null && exec "$@"' - \
    env -u ORVANET_LIBRARY -u ORVAVARS_LIBRARY node tests/release/node_red_flow.js \
    "$root/bindings/node-red/node_modules/node-red/red.js" "$user_dir" 1880 "$flow" 4711,4712
}

dotnet() {
  # What IntelliSense reads: the class and a method, as mcs names them.
  python3 - "$out/Orvanet.Net.xml" <<'EOF'
import sys, xml.dom.minidom
names = [m.getAttribute("name") for m in xml.dom.minidom.parse(sys.argv[1]).getElementsByTagName("member")]
for wanted in ("T:Orvanet.OrvaConnection", "M:Orvanet.OrvaConnection.ReadWords("):
    if not any(n == wanted or (wanted.endswith("(") and n.startswith(wanted)) for n in names):
        sys.exit(f"Orvanet.Net.xml does not document {wanted}; it has {len(names)} members")
EOF
  cp "$out/Orvanet.Net.dll" "$work/"
  mcs -langversion:4 -r:"$work/Orvanet.Net.dll" -out:"$work/ReadWrite.exe" examples/csharp/ReadWrite.cs
  # DllImport("orvanet") finds liborvanet.so of liborvanet-dev in the system's search.
  with_sim env -u LD_LIBRARY_PATH mono "$work/ReadWrite.exe" 127.0.0.1
}

windows_zip() {
  local arch=$1 zip=$out/orvanet-$version-$1.zip listed f
  listed=$(unzip -Z1 "$zip" | sed 's|^[^/]*/||' | sort)
  for f in README.txt LICENSE bin/orvanet.dll bin/orvavars.dll bin/orvacli.exe bin/orvapanel.exe bin/oem.bmp \
           include/orvanet.h include/orvavars.h lib/orvanet.lib lib/liborvanet.dll.a lib/orvanet.def \
           lib/orvavars.lib lib/liborvavars.dll.a lib/orvavars.def lib/cmake/orvanet/orvanetConfig.cmake lib/pkgconfig/orvanet.pc; do
    grep -qx "$f" <<<"$listed" || fail "$(basename "$zip") lacks $f; it holds: $listed"
  done
  # Nothing of the tests or of GoogleTest in the download.
  ! grep -Ei 'gtest|gmock|test' <<<"$listed" || fail "$(basename "$zip") holds test files"
  unzip -p "$zip" "*/README.txt" | grep -q "orvanet $version for Windows ($arch)" || fail "README.txt names no orvanet $version ($arch)"
  echo "$(basename "$zip"): $(grep -c . <<<"$listed") entries, all expected there"
}
win32() { windows_zip win32; }
win64() { windows_zip win64; }

check debs debs
check python python_wheel
check node node_tarball
check node-red node_red
check dotnet dotnet
for arch in win32 win64; do
  if [ -f "$out/orvanet-$version-$arch.zip" ]; then
    check "$arch" "$arch"
  else
    report_not_run "release $arch" "no orvanet-$version-$arch.zip in out/release (scripts/release.sh had no MinGW-w64)"
  fi
done
report_count release "$passed" "$failed"
[ "$failed" = 0 ]
