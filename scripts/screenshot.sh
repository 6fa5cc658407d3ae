#!/usr/bin/env bash
# Renders the main window offscreen to docs/main-window.png, with the Berlin
# sample table opened, from a scratch folder so no local Velmora.ini is used.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
(cd "$root" && cmake --preset default >/dev/null && cmake --build build --target velmora-screenshot)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
QT_QPA_PLATFORM=offscreen "$root/build/bin/velmora-screenshot" "$root/docs/main-window.png" \
  "$root/examples/berlin-2027.dst"
echo "wrote docs/main-window.png"
