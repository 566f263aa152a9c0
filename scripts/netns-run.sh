#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a program in a network namespace of its own, where the loopback
# interface is up and nothing else is: it may listen on port 102 of any
# 127.x.y.z without root, and meets no other test run on the machine.
#   netns-run.sh PROGRAM [ARGS...]                 in a new namespace
#   netns-run.sh --join PIDFILE PROGRAM [ARGS...]  in the namespace of the
#                 process whose pid PIDFILE holds (a simulator that several
#                 tests share, started with netns-run.sh); in a new one when
#                 there is no such process (listing a test program's cases at
#                 build time; a simulator that has ended, with a note)
# CTest runs every test of the native builds through it. The namespace comes
# with a user namespace of its own (unshare -r: root inside, the caller's uid
# outside), so it needs no root. Where the kernel allows no user namespaces,
# the program runs in the machine's own network, with a note; there only root
# can listen on port 102.
set -eu

if [ "${1:-}" = --join ]; then
  pidfile=$2
  shift 2
  if pid=$(cat "$pidfile" 2>/dev/null); then
    if theirs=$(readlink "/proc/$pid/ns/net" 2>/dev/null); then
      # Started where no namespace could be made: here too.
      [ "$theirs" != "$(readlink /proc/self/ns/net)" ] || exec "$@"
      exec nsenter --target "$pid" --user --net --preserve-credentials -- "$@"
    fi
    echo "netns-run: process $pid of $pidfile has ended: $1 runs in a namespace of its own" >&2
  fi
fi

if ! refused=$(unshare -r -n true 2>&1); then
  echo "netns-run: no network namespace of its own ($refused): $1 runs in this machine's network" >&2
  exec "$@"
fi
command -v ip >/dev/null || { echo "netns-run: ip is missing (Debian package iproute2)" >&2; exit 1; }
exec unshare -r -n sh -c 'ip link set lo up && exec "$@"' netns-run "$@"
