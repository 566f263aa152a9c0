#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs every Debian package that the build and the tests need. Idempotent;
# run as root on Debian 12.
set -euo pipefail
source "$(dirname "$0")/lib/packages.sh"

packages=(
  # build
  cmake ninja-build g++ pkg-config libcli11-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # the demo program orvapanel (Qt 6 Widgets and QtTest) and a font for its
  # offscreen tests: without any font Qt draws empty boxes
  qt6-base-dev fonts-dejavu-core
  # the check of the bindings' declarations against the header, and the fuzz seeds
  # (the Python package and its tests: scripts/test-python.sh)
  python3
  # the tests of the variables library read their vectors with it
  nlohmann-json3-dev
  # the Debian packages that CPack makes: dpkg-shlibdeps for their Depends
  # lines, and file, which CPack uses to find the programs and libraries
  dpkg-dev file
  # lintian, Debian's checker of packages: the packaging test fails on any
  # error it reports, as Debian's archive would refuse them
  lintian
  # fuzzing: clang with libFuzzer and the sanitizer runtimes (libclang-rt-14-dev)
  clang libclang-rt-14-dev
  # the wire check: Wireshark's decoders of TPKT, COTP and S5 fetch/write
  tshark
  # the format check: the tree's sources as clang-format 14 writes them
  clang-format
  # ip, for the loopback interface of the network namespace each test runs in
  # (scripts/netns-run.sh; unshare and nsenter are in util-linux)
  iproute2
  # orvagate: MQTT (libmosquitto), its TOML file and JSON (its command line:
  # CLI11, above); the broker its tests start; systemd-analyze for its unit
  libmosquitto-dev libtomlplusplus-dev nlohmann-json3-dev mosquitto systemd
)

install_packages "${packages[@]}"
