#!/usr/bin/env bash
# Every source file of the tracked tree names its licence within its first
# five lines: "SPDX-License-Identifier: Apache-2.0". Not source files: the
# fuzz corpus (inputs the fuzzers found), lock files and other generated data.
#   spdx_test.sh SOURCE_DIR      (exit 77, skipped, outside a git checkout)
set -euo pipefail
src=$1

if ! git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "spdx: $src is not a git checkout, so there is no list of tracked files"
  exit 77
fi

checked=0
missing=()
while IFS= read -r -d '' file; do
  case $file in
    fuzz/corpus/* | *package-lock.json | *.lock) continue ;;
    *.c | *.h | *.cpp | *.cs | *.py | *.js | *.ts | *.sh | *.cmake | *.rc | CMakeLists.txt | */CMakeLists.txt) ;;
    *) continue ;;
  esac
  [ -f "$src/$file" ] || continue  # deleted, not yet committed
  checked=$((checked + 1))
  head -n 5 "$src/$file" | grep -Eq 'SPDX-License-Identifier: Apache-2\.0([^-.0-9A-Za-z]|$)' || missing+=("$file")
done < <(git -C "$src" ls-files -z)

if [ "${#missing[@]}" -gt 0 ]; then
  printf '  %s\n' "${missing[@]}"
  echo "spdx: ${#missing[@]} of $checked source files lack 'SPDX-License-Identifier: Apache-2.0' in their first 5 lines"
  exit 1
fi
echo "spdx: all $checked source files name their licence"
