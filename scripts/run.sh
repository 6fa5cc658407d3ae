#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts it in the current folder
# (its settings file Velmora.ini lives in the folder it starts in).
#   scripts/run.sh          start the program
#   scripts/run.sh --demo   start a simulated device and a scratch folder wired to it
set -euo pipefail
here=$(pwd)
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh"
(cd "$root" && cmake --preset default >/dev/null)
cmake --build "$root/build" -j "$(nproc 2>/dev/null || echo 2)" --target velmora velmora-devsim velmora-cli

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: start Velmora from a desktop session (or set DISPLAY)." >&2
  exit 1
fi

if [ "${1:-}" != "--demo" ]; then
  cd "$here"
  exec "$root/build/bin/velmora"
fi

# Demo: a simulated device on a pseudo-terminal, and a scratch folder whose
# Velmora.ini sends COM1 there, with a sample table to open.
demo=$(mktemp -d /tmp/velmora-demo.XXXXXX)
coproc DEVSIM { exec "$root/build/bin/velmora-devsim" --stdin-lifeline; }
read -r device <&"${DEVSIM[0]}"
cat > "$demo/Velmora.ini" <<INI
[Settings]
Port=1
Timeout=300
Date Format=0

[Ports]
COM1=$device
INI
cp "$root/examples/berlin-2027.dst" "$demo/sample.dst"
echo "Demo folder: $demo (simulated device on $device)"
echo "Open sample.dst with File > Open, then press Send."
cd "$demo"
"$root/build/bin/velmora" || true
kill "$DEVSIM_PID" 2>/dev/null || true
