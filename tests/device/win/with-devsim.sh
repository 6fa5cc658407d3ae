#!/usr/bin/env bash
# with-devsim.sh DEVSIM [SIMULATOR OPTIONS] -- WINE PROGRAM [ARGS...]
# Starts the device simulator DEVSIM (a Linux program) with the options given,
# makes its pseudo-terminal COM1 of the Wine prefix $WINEPREFIX, runs PROGRAM
# with WINE (wine64) and ends the simulator. The exit code is PROGRAM's; a
# step before it that fails says which and why, and the script ends with 1.
#
# Wine's mount manager links dosdevices/com1 afresh whenever it starts in a
# prefix (to /dev/ttyS0 by default), so a link alone lasts only until the
# prefix's services start again: the port goes to the registry's
# HKLM\Software\Wine\Ports too, which the mount manager follows.
set -uo pipefail
# shellcheck source=../../support/wine-steps.sh
. "$(dirname "$0")/../../support/wine-steps.sh"

devsim=$1
shift
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
[ $# -ge 3 ] || fail "usage: with-devsim.sh DEVSIM [SIMULATOR OPTIONS] -- WINE PROGRAM [ARGS...]"
shift
wine=$1
[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set: it names the prefix whose COM1 is mapped"
[ -d "$WINEPREFIX/dosdevices" ] ||
  fail "$WINEPREFIX is no Wine prefix (no dosdevices): the test wine_prefix makes it"

out=$(mktemp)
"$devsim" "${options[@]}" > "$out" &
simulator=$!
trap 'kill "$simulator" 2> /dev/null; wait "$simulator" 2> /dev/null; rm -f "$out"' EXIT

# The first line of its output is the device path.
for _ in $(seq 200); do
  [ -s "$out" ] && break
  kill -0 "$simulator" 2> /dev/null || break
  sleep 0.025
done
device=$(head -n 1 "$out")
if [ -z "$device" ]; then
  if ! kill -0 "$simulator" 2> /dev/null; then
    wait "$simulator"
    fail "the simulator $devsim ended with exit code $? before it printed its device"
  fi
  fail "the simulator $devsim printed no device path within 5 s"
fi
[ -c "$device" ] || fail "the simulator's device $device is no character device"

step "mapping COM1 onto $device in the registry (HKLM\\Software\\Wine\\Ports)" \
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$device" /f
step "linking $WINEPREFIX/dosdevices/com1 to $device" \
  ln -sfn "$device" "$WINEPREFIX/dosdevices/com1"

"$@"
status=$?
# A program that failed may have met COM1 somewhere else: the mount manager
# relinks it when the prefix's services start again.
linked=$(readlink "$WINEPREFIX/dosdevices/com1")
if [ "$status" -ne 0 ] && [ "$linked" != "$device" ]; then
  echo "with-devsim.sh: COM1 led to '$linked' when the program ended, not to $device" >&2
fi
exit "$status"
