#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running, testing and packaging
# Velmora need.
# As root it uses apt-get; otherwise it names the command to run and fails.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-tidy clang-format python3
  tzdata fonts-dejavu-core
  xvfb xauth psmisc time
  dpkg-dev help2man man-db bash-completion lintian desktop-file-utils appstream
  # the Windows build: MinGW-w64 with POSIX threads, GoogleTest's sources, Wine
  g++-mingw-w64-x86-64-posix googletest wine wine64
  # the Windows installer
  nsis
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Velmora needs these packages: ${missing[*]}" >&2
  echo "Install them with:  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
