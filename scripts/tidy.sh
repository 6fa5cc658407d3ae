#!/usr/bin/env bash
# Static analysis: runs clang-tidy with the checks of .clang-tidy over every
# source file of a configured build and fails on any finding.
#
#   scripts/tidy.sh [BUILD_DIR]      (default: build/, the default preset's)
#
# Quiet: prints the findings of each file that has some, then one summary line.
# Files the build generates (Qt's moc and resource sources under BUILD_DIR) are
# left out: they are written by Qt's tools, not by us, and nothing in them can
# be fixed here. The moc files that some tests include are generated first,
# though, because those tests cannot be parsed without them.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
jobs=2

if ! command -v clang-tidy >/dev/null; then
  echo "tidy.sh: clang-tidy is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy.sh: no $build/compile_commands.json; configure first: cmake --preset default" >&2
  exit 2
fi
build=$(cd "$build" && pwd)

# Every target's <target>_autogen step writes its moc files.
mapfile -t generators < <(cmake --build "$build" --target help |
  grep -oE '^[A-Za-z0-9_.+-]+_autogen(:|$)' | tr -d ':')
if [ ${#generators[@]} -gt 0 ] &&
  ! log=$(cmake --build "$build" -j "$jobs" --target "${generators[@]}" 2>&1); then
  echo "$log" >&2
  echo "tidy.sh: generating the moc files failed" >&2
  exit 2
fi

mapfile -t files < <(python3 - "$build/compile_commands.json" "$root" "$build" <<'EOF'
import json, os, sys
database, root, build = sys.argv[1:]
names = set()
for entry in json.load(open(database)):
    name = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if name.startswith(root + os.sep) and not name.startswith(build + os.sep):
        names.add(name)
print("\n".join(sorted(names)))
EOF
)
if [ ${#files[@]} -eq 0 ]; then
  echo "tidy.sh: $build/compile_commands.json names none of our sources" >&2
  exit 2
fi

# One file: its findings, without clang-tidy's count of the warnings it hid in
# headers that are not ours. The status is clang-tidy's: nonzero on a finding.
check_file() {
  local output status=0
  output=$(clang-tidy -p "$1" --quiet "$2" 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    grep -Ev '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' <<<"$output" || true
    # A status without a finding (a crash, a signal) still names the file.
    echo "clang-tidy: exit status $status on $2"
    echo
  fi
  return "$status"
}
export -f check_file

status=0
printf '%s\0' "${files[@]}" |
  xargs -0 -n 1 -P "$jobs" bash -c 'check_file "$0" "$1"' "$build" || status=$?

if [ "$status" -ne 0 ]; then
  echo "clang-tidy: findings above (${#files[@]} files checked)"
  exit 1
fi
echo "clang-tidy: ${#files[@]} files, no findings"
