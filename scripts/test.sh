#!/usr/bin/env bash
# Builds Velmora and runs every test: the fuzz targets for a few seconds each,
# the Debian package's checks, the serial link under ThreadSanitizer,
# everything under AddressSanitizer and UndefinedBehaviorSanitizer, the
# Windows build's tests under wine64, then the plain build (which also builds
# the benchmarks). The last line is CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc 2>/dev/null || echo 2)

# The fuzz targets first (a few seconds each, built with clang), so that CTest's
# summary of the plain build stays the last line.
echo "=== fuzz build ==="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
echo "=== fuzz tests ==="
ctest --preset fuzz -j "$jobs"

# The Debian package, built and checked as its users would; a failure here
# fails the run, after the other tests have run.
echo "=== package ==="
package_status=0
packaging/check.sh || package_status=$?

build_and_test() {
  local preset=$1
  shift
  echo "=== ${preset} build ==="
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset} tests ==="
  ctest --preset "$preset" -j "$jobs"
}

build_and_test tsan
build_and_test asan
# The Windows programs, cross-built with MinGW-w64 against Qt for Windows
# (built once into a cache outside the clone, about 25 minutes), run under
# wine64 in a scratch Wine prefix inside build-windows (no display needed); the
# Win32 link's tests talk to the velmora-devsim of the build above, which runs
# on this machine; the installer is made, installed and removed there too.
echo "=== Qt for Windows ==="
qt_prefix=$(scripts/build-qt-windows.sh)
build_and_test windows -DVELMORA_DEVSIM="$PWD/build-asan/bin/velmora-devsim" \
  -DCMAKE_PREFIX_PATH="$qt_prefix"
build_and_test default
exit "$package_status"
