#!/usr/bin/env bash
# Source checks that need no build: the formatting of every C++ file
# (clang-format with the repository's .clang-format) and the direction of
# every include across the layers.
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
else
  mapfile -t sources < <(find src tests bench fuzz -name '*.cpp' -o -name '*.h' | sort)
fi
clang-format --dry-run -Werror "${sources[@]}"
echo "check-sources: ${#sources[@]} files formatted as .clang-format says"
scripts/check-layers.sh
