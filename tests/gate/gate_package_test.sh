#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# orvanet-gate as Debian installs it. The packages are made in a deb build of
# this test's own (only what the gateway needs is built); then their contents
# and control fields, lintian (no error, and every warning one docs/testing.md
# explains), the unit checked by systemd-analyze, and an install with
# apt-get into a throwaway overlay of /usr, /etc and /var in a private mount
# namespace, so that the machine itself does not change: the orvagate user,
# the conffile's owner and mode, the packaged program checking the packaged
# example as that user, and the purge.
#   gate_package_test.sh SOURCE_DIR WORK_DIR VERSION
set -euo pipefail
src=$1 work=$2 version=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
source "$src/tests/support/lintian.sh"
run() {  # LOG COMMAND...: the output goes to LOG, and is shown when the command fails
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "$*"; }
}

command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup-debian.sh installs it)"
command -v systemd-analyze >/dev/null || fail "systemd-analyze is not installed (Debian's systemd; scripts/setup-debian.sh installs it)"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
mkdir -p "$work"
find "$work" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +

# 1. The packages the gateway needs, and only those.
run "$work/configure.log" cmake --preset deb -S "$src" -B "$work/build"
run "$work/build.log" cmake --build "$work/build" --target orvagate
run "$work/cpack.log" sh -c "cd '$work/build' && cpack -G DEB -B '$work/debs' -D 'CPACK_COMPONENTS_ALL=runtime;vars_runtime;vars_development;gate'"
deb() { find "$work/debs" -maxdepth 1 -name "$1_${version}_*.deb" -print -quit; }
runtime=$(deb liborvanet1) vars=$(deb liborvavars1) varsdev=$(deb liborvavars-dev) gate=$(deb orvanet-gate)
[ -n "$runtime" ] && [ -n "$vars" ] && [ -n "$varsdev" ] && [ -n "$gate" ] || fail "expected four packages, got: $(ls "$work/debs")"

field() { dpkg-deb -f "$1" "$2"; }
contents() { dpkg-deb -c "$1" | awk '{ print $6 ($7 == "->" ? " -> " $8 : "") }' | sed 's|^\./|/|'; }
listing=$(contents "$gate")
for f in /usr/bin/orvagate /lib/systemd/system/orvagate.service /etc/orvanet/orvagate.toml \
         /usr/share/doc/orvanet-gate/gate.md /usr/share/doc/orvanet-gate/gate-flow.json \
         /usr/share/doc/orvanet-gate/copyright /usr/share/doc/orvanet-gate/changelog.gz; do
  grep -qx "$f" <<<"$listing" || fail "orvanet-gate lacks $f; it holds: $listing"
done
! grep -q "\.so" <<<"$listing" || fail "orvanet-gate holds a library: $listing"
grep -Eq "^/usr/lib/$multiarch/liborvavars\.so\.1\.[0-9]+\.[0-9]+$" <<<"$(contents "$vars")" || fail "liborvavars1: $(contents "$vars")"
for f in /usr/include/orvavars.h "/usr/lib/$multiarch/liborvavars.so -> liborvavars.so.1"; do
  grep -qx "$f" <<<"$(contents "$varsdev")" || fail "liborvavars-dev lacks $f: $(contents "$varsdev")"
done
[ "$(field "$vars" Section)" = libs ] && [ "$(field "$varsdev" Section)" = libdevel ] || fail "the variables library's sections"
grep -qF "liborvavars1 (= $version)" <<<"$(field "$varsdev" Depends)" || fail "liborvavars-dev Depends: $(field "$varsdev" Depends)"
mkdir -p "$work/vars-control"
dpkg-deb -e "$vars" "$work/vars-control"
grep -q "^liborvavars 1 liborvavars1" "$work/vars-control/shlibs" || fail "liborvavars1 has no shlibs entry"
grep -qx "activate-noawait ldconfig" "$work/vars-control/triggers" || fail "liborvavars1 has no ldconfig trigger"

[ "$(field "$gate" Section)" = net ] || fail "Section: $(field "$gate" Section)"
depends=$(field "$gate" Depends)
for d in "liborvanet1 (= $version)" "liborvavars1 (= $version)" adduser libmosquitto1 libtomlplusplus3; do
  grep -qF "$d" <<<"$depends" || fail "orvanet-gate Depends lacks $d: $depends"
done
mkdir -p "$work/control"
dpkg-deb -e "$gate" "$work/control"
grep -qx /etc/orvanet/orvagate.toml "$work/control/conffiles" || fail "the example configuration is no conffile"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "no executable $script"
  sh -n "$work/control/$script" || fail "$script is no valid shell script"
done
echo "contents and control fields: ok"

# 2. lintian: no errors; each warning one the docs explain.
lintian_clean "$src" "$work/lintian.log" "$gate" "$vars" "$varsdev"

# 3. The unit, checked against the unpacked package (with the system's own
# units beside it, which it refers to): systemd-analyze says nothing of a good one.
root=$work/root
mkdir -p "$root/lib/systemd" "$root/usr/bin"
for p in "$runtime" "$vars" "$gate"; do dpkg-deb -x "$p" "$root"; done
cp -a /lib/systemd/system "$root/lib/systemd/system.system"
cp -an "$root/lib/systemd/system.system/." "$root/lib/systemd/system/"
cp "$(type -P kill)" "$root/usr/bin/kill"
ln -sfn usr/bin "$root/bin"
systemd-analyze verify --root="$root" /lib/systemd/system/orvagate.service >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log" >&2; fail "systemd-analyze verify"; }
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log" >&2; fail "systemd-analyze has remarks on the unit"; }
echo "unit: ok"

# 4. Installed with apt-get, in an overlay that vanishes with the namespace.
cat >"$work/install.sh" <<'INSTALL'
set -euo pipefail
work=$1 runtime=$2 vars=$3 gate=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$work/overlay"
mount -t tmpfs tmpfs "$work/overlay"
for d in usr etc var; do
  mkdir -p "$work/overlay/$d/upper" "$work/overlay/$d/work"
  mount -t overlay overlay -o "lowerdir=/$d,upperdir=$work/overlay/$d/upper,workdir=$work/overlay/$d/work" "/$d"
done
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends "$runtime" "$vars" "$gate" >"$work/apt-install.log" 2>&1 ||
  { cat "$work/apt-install.log" >&2; fail "apt-get install"; }
entry=$(getent passwd orvagate) || fail "no orvagate user"
IFS=: read -r _ _ uid _ _ home shell <<<"$entry"
[ "$uid" -lt 1000 ] || fail "orvagate is no system user: $entry"
[ "$home" = /nonexistent ] && [ "$shell" = /usr/sbin/nologin ] || fail "orvagate user: $entry"
getent group orvagate >/dev/null || fail "no orvagate group"
[ "$(stat -c '%U:%G %a' /etc/orvanet/orvagate.toml)" = "root:orvagate 640" ] ||
  fail "/etc/orvanet/orvagate.toml is $(stat -c '%U:%G %a' /etc/orvanet/orvagate.toml)"
! runuser -u nobody -- cat /etc/orvanet/orvagate.toml >/dev/null 2>&1 || fail "others can read the configuration"
out=$(runuser -u orvagate -- /usr/bin/orvagate --check /etc/orvanet/orvagate.toml) ||
  fail "the packaged example does not check as the orvagate user: $out"
grep -q "^/etc/orvanet/orvagate.toml: ok$" <<<"$out" || fail "orvagate --check said: $out"
[ "$(/usr/bin/orvagate --version)" = "orvagate $(dpkg-query -W -f='${Version}' orvanet-gate)" ] || fail "orvagate --version"
systemd-analyze verify /lib/systemd/system/orvagate.service >"$work/verify-installed.log" 2>&1 &&
  [ ! -s "$work/verify-installed.log" ] || { cat "$work/verify-installed.log" >&2; fail "systemd-analyze on the installed unit"; }
dpkg-query -W -f='${Conffiles}\n' orvanet-gate | grep -q "/etc/orvanet/orvagate.toml" || fail "dpkg knows no conffile"
apt-get purge -y -q orvanet-gate >"$work/apt-purge.log" 2>&1 || { cat "$work/apt-purge.log" >&2; fail "apt-get purge"; }
[ ! -e /usr/bin/orvagate ] && [ ! -e /etc/orvanet/orvagate.toml ] && [ ! -e /lib/systemd/system/orvagate.service ] ||
  fail "the purge left files"
echo "installed, checked and purged: ok"
INSTALL
# The install needs root, and every user: a user namespace of its own
# (unshare -r) maps none but root, so that apt cannot drop to _apt there, nor
# runuser become orvagate. It runs where both hold (CI, as root).
if [ "$(id -u)" != 0 ] || [ "$(awk '{ print $3 }' /proc/self/uid_map)" != 4294967295 ]; then
  echo "gate package: all checks passed but the install, which needs root with every user mapped"
  exit 0
fi
installed() { dpkg-query -W -f='${Status} ${Version}' orvanet-gate 2>/dev/null || true; }
before=$(installed)
unshare -m --propagation private bash "$work/install.sh" "$work" "$runtime" "$vars" "$gate"
[ "$(installed)" = "$before" ] || fail "the install reached the machine itself"
echo "gate package: all checks passed"
