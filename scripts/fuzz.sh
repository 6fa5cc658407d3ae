#!/usr/bin/env bash
# Runs every fuzz target longer than the test suite does, one after the other:
# for SECONDS each (default 300), or with --runs N until each has tried N
# inputs. Prints each target's executions, time, inputs a second and findings.
# Inputs that reach new code are kept in build-fuzz/fuzz-corpus/<target>, so the
# next run starts from where this one ended; an input that breaks a target is
# kept in build-fuzz/fuzz-artifacts/<target>.
#   scripts/fuzz.sh [SECONDS | --runs N] [TARGET...]
# Run it with `nice -n 10` on a machine that others share.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=300)
label="300 s"
usage() {
  echo "usage: scripts/fuzz.sh [SECONDS | --runs N] [TARGET...]" >&2
  echo "targets: fuzz_profile fuzz_datefile fuzz_upload fuzz_cli_args" >&2
  exit 2
}
case "${1:-}" in
  -h | --help) usage ;;
  --runs)
    [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || usage
    limit=(-runs="$2")
    label="$2 inputs"
    shift 2
    ;;
  '' | *[!0-9]*) ;;
  *)
    limit=(-max_total_time="$1")
    label="$1 s"
    shift
    ;;
esac
targets=("$@")
all=(fuzz_profile fuzz_datefile fuzz_upload fuzz_cli_args)
if [ ${#targets[@]} -eq 0 ]; then
  targets=("${all[@]}")
fi
for target in "${targets[@]}"; do
  [[ " ${all[*]} " == *" $target "* ]] || {
    echo "scripts/fuzz.sh: no fuzz target named '$target'" >&2
    usage
  }
done

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)"

failed=0
summary=()
for target in "${targets[@]}"; do
  found=build-fuzz/fuzz-corpus/$target
  artifacts=build-fuzz/fuzz-artifacts/$target
  log=build-fuzz/fuzz-artifacts/$target.log
  mkdir -p "$found" "$artifacts"
  echo "=== $target for $label ==="
  before=$(find "$artifacts" -type f | wc -l)
  start=$(date +%s.%N)
  status=0
  build-fuzz/bin/"$target" "${limit[@]}" -timeout=5 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$found" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  findings=$(($(find "$artifacts" -type f | wc -l) - before))
  line=$(printf '%-14s %10s inputs %8.0f s %7s inputs/s  ' "$target" "${runs:-?}" "$seconds" \
    "${rate:-?}")
  if [ "$status" -eq 0 ] && [ "$findings" -eq 0 ]; then
    summary+=("${line}no finding")
  else
    failed=1
    grep -E 'check failed|ERROR:|SUMMARY:|runtime error|Test unit written' "$log" || tail -n 20 "$log"
    summary+=("${line}FINDING: $findings input(s) in $artifacts (log: $log)")
  fi
done

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
exit "$failed"
