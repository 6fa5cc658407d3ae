#!/usr/bin/env bash
# The layout of Velmora's C++ sources, as .clang-format gives it.
#
#   scripts/format.sh           rewrites every source file that differs
#   scripts/format.sh --check   changes nothing; names each file that differs
#                               and fails when there is one
#
# The files are those git tracks (every .cpp and .h); outside a git checkout,
# those below the source folders.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! command -v clang-format >/dev/null; then
  echo "format.sh: clang-format is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find app bench device events files json record settings table tests tools zones \
    -name '*.cpp' -o -name '*.h' | sort)
fi

if [ "${1:-}" != "--check" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi

differ=()
for file in "${files[@]}"; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    differ+=("$file")
  fi
done
if [ ${#differ[@]} -ne 0 ]; then
  printf 'clang-format: not laid out as .clang-format says: %s\n' "${differ[@]}"
  echo "clang-format: ${#differ[@]} of ${#files[@]} files differ; scripts/format.sh rewrites them"
  exit 1
fi
echo "clang-format: ${#files[@]} files, all laid out"
