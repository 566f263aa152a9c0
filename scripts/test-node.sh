#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Node.js binding (bindings/node) and the Node-RED nodes (bindings/node-red)
# against the liborvanet and orvasim of BUILD_DIR (default build/test, where
# test-all.sh has built them):   test-node.sh [BUILD_DIR]
# Installs Node.js when it is missing and Debian's Chromium (for the editor
# screenshot), the npm packages from the lock files, then runs the binding's
# tests, the nodes' tests and the screenshot test, each ending in one line
# "== NAME: N passed, 0 failed". Loopback addresses: 127.0.2.1 to 127.0.2.150.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
build=$(realpath "${1:-build/test}")
library=$build/linklib/liborvanet.so.1
vars_library=$build/vars/liborvavars.so.1
orvasim=$build/tools/orvasim/orvasim
for f in "$library" "$vars_library" "$orvasim"; do
  [ -e "$f" ] || { echo "test-node: $f is missing: build the targets orvanet, orvavars and orvasim into $build first" >&2; exit 1; }
done

began=$SECONDS
# Chromium for the editor's picture, with the font it is drawn in.
packages=(chromium fonts-dejavu-core)
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
install_packages "${packages[@]}"
node -e 'process.exit(Number(process.versions.node.split(".")[0]) >= 18 ? 0 : 1)' ||
  { echo "test-node: Node.js $(node --version) is too old: 18 or later is needed" >&2; exit 1; }
echo "test-node: Node.js $(node --version), npm $(npm --version); packages $((SECONDS - began)) s"

# bindings/node first: the Node-RED package links it (file:../node) and uses its node_modules.
began=$SECONDS
for package in bindings/node bindings/node-red; do
  (cd "$package" && npm ci --no-audit --no-fund --loglevel=error)
done
echo "test-node: npm ci $((SECONDS - began)) s"

export ORVA_BUILD_DIR=$build ORVANET_LIBRARY=$library ORVAVARS_LIBRARY=$vars_library ORVASIM=$orvasim
export ORVA_SCREENSHOT=${ORVA_SCREENSHOT:-$build/node-red-flow.png}
report=$(mktemp)
trap 'rm -f "$report"' EXIT

# Runs node --test on the files FILES (a pattern, expanded in the package
# folder), its TAP report on the console and in a copy for the counts, and
# the closing line.
run() {
  local name=$1 package=$2 files=$3
  local began=$SECONDS status=0
  # shellcheck disable=SC2086
  (cd "$package" && node --test --test-reporter=tap $files) | tee "$report" || status=$?
  local passed failed
  passed=$(awk '/^# pass / { n = $3 } END { print n }' "$report")
  failed=$(awk '/^# fail / { n = $3 } END { print n }' "$report")
  echo "test-node: $name $((SECONDS - began)) s"
  echo "== $name: ${passed:-0} passed, ${failed:-0} failed"
  if [ "$status" -ne 0 ] || [ "${failed:-1}" != 0 ] || [ "${passed:-0}" = 0 ]; then exit 1; fi
}

run node bindings/node 'test/*.test.js'
run node-red bindings/node-red 'test/*.test.js'
run node-red-editor bindings/node-red test/editor-screenshot.js
echo "test-node: the editor's picture is $ORVA_SCREENSHOT"
