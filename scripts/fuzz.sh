#!/usr/bin/env bash
# Runs every fuzz target for a longer while than the test suite does (default
# 300 seconds each, or the number of seconds given), one after the other, and
# prints how many inputs each one ran. Inputs that reach new code are kept in
# build-fuzz/fuzz-corpus/<target>, so the next run starts from where this one
# ended; an input that breaks a target is kept in build-fuzz/fuzz-artifacts/<target>.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_profile fuzz_datefile fuzz_upload fuzz_cli_args)
fi

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
  echo "=== $target for ${seconds}s ==="
  status=0
  build-fuzz/bin/"$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$found" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    summary+=("$target: ${runs:-?} inputs in ${seconds}s, no finding")
  else
    failed=1
    grep -E 'check failed|ERROR:|SUMMARY:|runtime error|Test unit written' "$log" || tail -n 20 "$log"
    summary+=("$target: FAILED after ${runs:-?} inputs (log: $log)")
  fi
done

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
exit "$failed"
