#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# install_packages (scripts/lib/packages.sh) against stand-ins for apt-get,
# dpkg and dpkg-query that play a mirror in the middle of a sync: an index
# that fails for some tries or for good, and a package its absence leaves
# uninstallable.   packages_test.sh SOURCE_DIR
set -euo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The stand-ins keep the machine's state in $state: installed ("NAME ARCH" a
# line), arches (foreign architectures), update_failures (how many updates
# still fail; "always"), uninstallable (names), calls (every call, one a line).
mkdir "$work/bin"
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
echo "dpkg-query $*" >>"$state/calls"
format=${2#-f=}
if [ $# -ge 3 ]; then
  grep -q "^$3 " "$state/installed" && printf '%s' "install ok installed"
  exit 0
fi
[ "$format" = '${Architecture}\n' ] && cut -d' ' -f2 "$state/installed"
exit 0
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$state/calls"
case $1 in
  --print-foreign-architectures) cat "$state/arches" ;;
  --add-architecture) echo "$2" >>"$state/arches" ;;
  --remove-architecture) sed -i "/^$2\$/d" "$state/arches" ;;
esac
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$state/calls"
case $1 in
  update)
    left=$(cat "$state/update_failures")
    [ "$left" = 0 ] && { echo "Reading package lists..."; exit 0; }
    [ "$left" = always ] || echo $((left - 1)) >"$state/update_failures"
    echo "E: Failed to fetch http://mirror/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  install)
    names=()
    for a in "$@"; do case $a in install | -* | DPkg::*) ;; *) names+=("$a") ;; esac; done
    for n in "${names[@]}"; do
      if grep -qx "$n" "$state/uninstallable"; then echo " $n : Depends: libz1:i386 but it is not going to be installed"; exit 100; fi
    done
    for n in "${names[@]}"; do
      case $n in *:i386) echo "$n i386" ;; *) echo "$n amd64" ;; esac >>"$state/installed"
    done ;;
esac
EOF
chmod +x "$work/bin"/*

# A fresh machine: NAME is installed, nothing else; no foreign architecture.
fresh() {
  export state=$work/state-$1
  mkdir "$state"
  echo "base amd64" >"$state/installed"
  : >"$state/arches"
  : >"$state/uninstallable"
  : >"$state/calls"
  echo 0 >"$state/update_failures"
}

# Runs install_packages NAME... with the stand-ins; its status in $status, its messages in $output.
install() {
  status=0
  output=$(PATH=$work/bin:$PATH ORVA_APT_TRIES=3 ORVA_APT_PAUSE=0 bash -c \
    'set -euo pipefail; source "$1"/scripts/lib/packages.sh; shift
     install_packages "$@" || { echo "why: $package_failure"; exit 1; }' _ "$src" "$@" 2>&1) ||
    status=$?
}

check() {
  local what=$1
  shift
  if "$@"; then return 0; fi
  echo "FAIL: $what"
  echo "  output: ${output//$'\n'/$'\n  '}"
  echo "  calls: $(tr '\n' ';' <"$state/calls")"
  failures=$((failures + 1))
}
calls() { grep -c "^apt-get ${1:-}" "$state/calls" || true; }
says() { grep -qF -- "$1" <<<"$output"; }
has_arch() { grep -qx "$1" "$state/arches"; }
installed() { grep -q "^$1 " "$state/installed"; }

# Everything installed: no update, no install.
fresh installed
install base
check "nothing to install: status 0" [ "$status" = 0 ]
check "nothing to install: no apt-get" [ "$(calls)" = 0 ]

# An index broken for two tries: the third update passes, the package is installed.
fresh sync-passes
echo 2 >"$state/update_failures"
install tshark
check "broken twice: installed" installed tshark
check "broken twice: status 0" [ "$status" = 0 ]
check "broken twice: three updates" [ "$(calls update)" = 3 ]
check "broken twice: says it tries again" says "trying again in 0 s"

# An index broken for good, a package that does not need it: installed after three tries.
fresh sync-stays
echo always >"$state/update_failures"
install tshark
check "broken for good, other package: status 0" [ "$status" = 0 ]
check "broken for good, other package: installed" installed tshark
check "broken for good, other package: three updates" [ "$(calls update)" = 3 ]
check "broken for good, other package: says it goes on" says "going on with the lists that did update"

# The i386 index broken for good, wine32:i386 uninstallable: the install fails
# naming the index, and the i386 architecture it added is removed again.
fresh wine32
echo always >"$state/update_failures"
echo wine32:i386 >"$state/uninstallable"
install wine32:i386
check "wine32 uninstallable: status not 0" [ "$status" != 0 ]
check "wine32 uninstallable: names the package" says "cannot install wine32:i386"
check "wine32 uninstallable: names the broken index" says "binary-i386/Packages.xz  File has unexpected size"
check "wine32 uninstallable: the why in one line" says "why: apt-get install wine32:i386 exited 100; the index http://mirror/dists/bookworm-security/main/binary-i386/Packages.xz could not be updated"
check "wine32 uninstallable: i386 added for it" grep -qx "dpkg --add-architecture i386" "$state/calls"
check "wine32 uninstallable: i386 removed again" eval '! has_arch i386'
# ... and a later install sees no i386 index.
install tshark
check "after wine32: the next install passes" [ "$status" = 0 ]
check "after wine32: no architecture added" [ "$(grep -c add-architecture "$state/calls")" = 1 ]

# i386 packages that do get installed keep their architecture.
fresh wine32-installs
install wine32:i386
check "wine32 installable: status 0" [ "$status" = 0 ]
check "wine32 installable: i386 kept" has_arch i386

# An architecture that was there before is left alone, even when the install fails.
fresh i386-before
echo i386 >"$state/arches"
echo wine32:i386 >"$state/uninstallable"
install wine32:i386
check "i386 there before: status not 0" [ "$status" != 0 ]
check "i386 there before: kept" has_arch i386
check "i386 there before: not added" eval '! grep -q add-architecture "$state/calls"'

if [ "$failures" -ne 0 ]; then
  echo "packages: $failures checks failed"
  exit 1
fi
echo "packages: all checks passed"
