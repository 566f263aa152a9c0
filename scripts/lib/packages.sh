# SPDX-License-Identifier: Apache-2.0
# Sourced by the scripts that need Debian packages (as root):
#   install_packages NAME...   installs those not installed yet, without
#                              recommends; returns non-zero, saying why, when
#                              they cannot be installed (the why in one line
#                              also in $package_failure).
# The package lists are updated first. A mirror in the middle of a sync serves
# some index broken for a while ("File has unexpected size ... Mirror sync in
# progress?"): the update is tried again a few times, then the install goes on
# with the lists that did update, and only a package that needs the broken
# index fails, with that index named. A name with :i386 adds that
# architecture; when nothing of it gets installed it is removed again, so that
# its index stays out of every later update.
# ORVA_APT_TRIES (default 3) and ORVA_APT_PAUSE (seconds, default 20) set the
# tries of an update and the pause between them.

# True when the package NAME (name[:arch]) is installed.
package_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# apt-get update, tried again while it fails. Prints the indexes that could
# still not be fetched after the last try (one "URL reason" a line); the
# update's own output goes to standard error.
update_package_lists() {
  local tries=${ORVA_APT_TRIES:-3} pause=${ORVA_APT_PAUSE:-20} try=1 log status
  log=$(mktemp)
  while :; do
    status=0
    apt-get update -q -o DPkg::Lock::Timeout=600 >"$log" 2>&1 || status=$?
    cat "$log" >&2
    [ "$status" -ne 0 ] || { rm -f "$log"; return 0; }
    [ "$try" -lt "$tries" ] || break
    echo "packages: apt-get update failed (exit $status, try $try of $tries): trying again in $pause s" >&2
    sleep "$pause"
    try=$((try + 1))
  done
  echo "packages: apt-get update failed $tries times; going on with the lists that did update" >&2
  sed -n 's/^[EW]: Failed to fetch //p' "$log"
  rm -f "$log"
}

install_packages() {
  local missing=() name
  for name in "$@"; do
    package_installed "$name" || missing+=("$name")
  done
  [ "${#missing[@]}" -gt 0 ] || return 0
  export DEBIAN_FRONTEND=noninteractive

  local added_i386=""
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 || return 1
    added_i386=1
  fi

  local broken status=0
  broken=$(update_package_lists)
  apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}" || status=$?

  if [ -n "$added_i386" ] && ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
    echo "packages: nothing for i386 got installed: the architecture is removed again" >&2
    dpkg --remove-architecture i386 || return 1
  fi

  [ "$status" -ne 0 ] || return 0
  package_failure="apt-get install ${missing[*]} exited $status"
  echo "packages: cannot install ${missing[*]} (apt-get install exited $status)" >&2
  if [ -n "$broken" ]; then
    echo "packages: the likely cause: these indexes could not be updated (a mirror in the middle of a sync; it passes):" >&2
    sed 's/^/  /' <<<"$broken" >&2
    package_failure+="; the index $(head -1 <<<"$broken" | cut -d' ' -f1) could not be updated"
  fi
  return 1
}
