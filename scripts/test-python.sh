#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Python package orvanet: pip-installed from a copy of bindings/python into
# a fresh virtual environment (no package index, Debian's setuptools), then its
# pytest suite against orvasim on 127.0.1.1 to 127.0.1.19 (in a network
# namespace of its own), importing the installed copy. Installs its Debian
# packages first.
#   scripts/test-python.sh [BUILD_DIR]   a build with liborvanet and orvasim (default build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/stage.sh
root=$PWD
build=$(realpath -m "${1:-build/test}")
require_built test-python "$build" linklib/liborvanet.so.1 vars/liborvavars.so.1 tools/orvasim/orvasim

packages=(
  # the virtual environment, with pip
  python3-venv
  # the test runner, seen in the environment through --system-site-packages
  python3-pytest
  # the build backend without build isolation (nothing comes from a package index);
  # setuptools 66 builds wheels through the wheel package
  python3-setuptools python3-wheel
  # the package and docs/python.md's uses of it type-checked (mypy --strict, Python 3.8)
  mypy
)
install_packages "${packages[@]}"

library=$build/linklib/liborvanet.so.1
vars_library=$build/vars/liborvavars.so.1
orvasim=$build/tools/orvasim/orvasim

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy, so that the build leaves nothing in the tree and no stale build/ folder is packed.
cp -r bindings/python "$work/source"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation "$work/source"

status=0
(
  cd "$work"  # not the source tree: the tests must import the installed package
  ORVASIM=$orvasim ORVANET_LIBRARY=$library ORVAVARS_LIBRARY=$vars_library ORVA_VECTORS=$root/tests/vectors/variables.json \
    PYTHONDONTWRITEBYTECODE=1 PYTEST_DISABLE_PLUGIN_AUTOLOAD=1 \
    in_netns "$work/venv/bin/python" -m pytest -p no:cacheprovider -q --junitxml="$work/junit.xml" \
    "$root/tests/bindings/python"
) || status=$?

report_junit python "$work/junit.xml" "$status"
