#!/usr/bin/env bash
# Builds Velmora and runs every test: the serial link under ThreadSanitizer,
# everything under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# plain build (which also builds the benchmarks). The last line is CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc 2>/dev/null || echo 2)

for preset in tsan asan default; do
  echo "=== ${preset} build ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset} tests ==="
  ctest --preset "$preset" -j "$jobs"
done
