#!/usr/bin/env bash
# with-devsim.sh DEVSIM [SIMULATOR OPTIONS] -- WINE PROGRAM [ARGS...]
# Starts the device simulator DEVSIM (a Linux program) with the options given,
# makes its pseudo-terminal COM1 of the Wine prefix $WINEPREFIX, runs PROGRAM
# with WINE (wine64) and ends the simulator. The exit code is PROGRAM's.
#
# Wine's mount manager links dosdevices/com1 afresh whenever Wine starts in a
# prefix (to /dev/ttyS0 by default), so a link alone lasts only while Wine
# keeps running: the port goes to the registry's HKLM\Software\Wine\Ports too,
# which the mount manager follows. The Wine server that the registry's change
# starts lives on through PROGRAM; its messages go nowhere (it reports a
# hung-up terminal at length).
set -euo pipefail
devsim=$1
shift
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
shift
: "${WINEPREFIX:?with-devsim.sh needs WINEPREFIX}"

out=$(mktemp)
"$devsim" "${options[@]}" >"$out" &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true; wait "$simulator" 2>/dev/null || true; rm -f "$out"' EXIT

# The first line of its output is the device path.
for _ in $(seq 200); do
  [ "$(wc -l <"$out")" -ge 1 ] && break
  sleep 0.025
done
device=$(head -n 1 "$out")
if [ -z "$device" ]; then
  echo "with-devsim.sh: the simulator printed no device path" >&2
  exit 1
fi
"$1" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$device" /f >/dev/null 2>&1
ln -sfn "$device" "$WINEPREFIX/dosdevices/com1"
"$@"
