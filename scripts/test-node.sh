#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Node.js binding (bindings/node) and the Node-RED nodes (bindings/node-red)
# against the liborvanet and orvasim of BUILD_DIR (default build/test, where
# test-all.sh has built them):   test-node.sh [BUILD_DIR]
# Installs Node.js and npm from Debian when there is no node, and Debian's
# Chromium (for the editor screenshot); checks that the lock files install with
# Debian 12's npm as well as with the one here; installs the npm packages from
# the lock files; then runs the binding's tests, the nodes' tests and the
# screenshot test in a network namespace of its own (127.0.2.1 to 127.0.2.150),
# each ending in one line "== NAME: N passed, 0 failed".
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
source scripts/lib/stage.sh
root=$PWD
build=$(realpath -m "${1:-build/test}")
require_built test-node "$build" linklib/liborvanet.so.1 vars/liborvavars.so.1 tools/orvasim/orvasim
library=$build/linklib/liborvanet.so.1
vars_library=$build/vars/liborvavars.so.1
orvasim=$build/tools/orvasim/orvasim
# Debian 12's npm: the lock files must install with it too.
debian_npm=9.2.0

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
npm_ci=(ci --no-audit --no-fund --loglevel=error)
for package in bindings/node bindings/node-red; do
  # Where npm is not Debian's, its npm checks the lock files too (without installing).
  if [ "$(npm --version)" != "$debian_npm" ]; then
    (cd "$package" && npx --yes "npm@$debian_npm" "${npm_ci[@]}" --dry-run >/dev/null) ||
      { echo "test-node: $package/package-lock.json does not install with npm $debian_npm (Debian 12's)" >&2; exit 1; }
  fi
  (cd "$package" && npm "${npm_ci[@]}")
done
echo "test-node: npm ci $((SECONDS - began)) s$([ "$(npm --version)" = "$debian_npm" ] || echo ", lock files checked with npm $debian_npm")"

# The screenshot test installs the package into a user directory as a user
# does, inside the namespace, without a network: this install, the same,
# leaves what it fetches in npm's cache.
began=$SECONDS
user_dir=$(mktemp -d)
trap 'rm -rf "$user_dir"' EXIT
(cd "$user_dir" && npm install --install-links --no-audit --no-fund --loglevel=error "$root/bindings/node" "$root/bindings/node-red" >/dev/null)
echo "test-node: npm cache for the user's install $((SECONDS - began)) s"

export ORVA_BUILD_DIR=$build ORVANET_LIBRARY=$library ORVAVARS_LIBRARY=$vars_library ORVASIM=$orvasim
export ORVA_SCREENSHOT=${ORVA_SCREENSHOT:-$build/node-red-flow.png}
report=$(mktemp)
trap 'rm -rf "$user_dir" "$report"' EXIT

# Runs node --test on the files FILES (a pattern, expanded in the package
# folder) in a network namespace of its own, its TAP report on the console
# and in a copy for the counts, and the closing line.
run() {
  local name=$1 package=$2 files=$3
  local began=$SECONDS status=0
  # shellcheck disable=SC2086
  (cd "$package" && in_netns node --test --test-reporter=tap $files) | tee "$report" || status=$?
  local passed failed
  passed=$(awk '/^# pass / { n = $3 } END { print n }' "$report")
  failed=$(awk '/^# fail / { n = $3 } END { print n }' "$report")
  echo "test-node: $name $((SECONDS - began)) s"
  report_count "$name" "${passed:-0}" "${failed:-0}"
  if [ "$status" -ne 0 ] || [ "${failed:-1}" != 0 ] || [ "${passed:-0}" = 0 ]; then exit 1; fi
}

run node bindings/node 'test/*.test.js'
run node-red bindings/node-red 'test/*.test.js'
run node-red-editor bindings/node-red test/editor-screenshot.js
echo "test-node: the editor's picture is $ORVA_SCREENSHOT"
