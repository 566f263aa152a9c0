#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The tracked C and C++ sources are as clang-format (the tree's .clang-format)
# writes them: a change that is not shows here with the lines to fix.
#   format_test.sh SOURCE_DIR CLANG_FORMAT   (exit 77, skipped, outside a git checkout)
set -euo pipefail
src=$1
clang_format=$2

if ! git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "format: $src is not a git checkout, so there is no list of tracked files"
  exit 77
fi
cd "$src"
mapfile -d '' files < <(git ls-files -z '*.c' '*.h' '*.cpp')
existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
"$clang_format" --dry-run --Werror "${existing[@]}"
echo "format: ${#existing[@]} files as clang-format writes them"
