#!/usr/bin/env bash
# Builds the Windows installer on Debian: Qt for Windows (once, into a cache),
# a Release build of velmora.exe and velmora-cli.exe, and
# build-windows-installer/Velmora-<version>-setup.exe, whose path it prints last.
#
#   scripts/windows-installer.sh                   # all of it
#   scripts/windows-installer.sh --pack BUILD_DIR  # only the installer, from a
#                                                  # Windows build already made
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--pack" ] && [ -n "${2:-}" ]; then
  build=$2
else
  scripts/install-deps.sh
  qt_prefix=$(scripts/build-qt-windows.sh | tail -n 1)
  build=build-windows-installer
  cmake --preset windows-release -DCMAKE_PREFIX_PATH="$qt_prefix" > /dev/null
  cmake --build --preset windows-release -j "$(nproc 2>/dev/null || echo 2)"
fi
build=$(realpath "$build")
stage=$build/stage
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" --strip > /dev/null
# The libraries come with their symbols; users need none of them.
find "$stage/bin" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

# What the installer installs and the uninstaller removes, file by file, so that
# uninstalling leaves the folder as it found it.
(
  cd "$stage"
  : > files.nsh
  : > unfiles.nsh
  for top in bin doc; do
    while IFS= read -r dir; do
      rel=${dir#"$top"}
      rel=${rel#/}
      win=${rel//\//\\}
      echo "SetOutPath \"\$INSTDIR${win:+\\$win}\"" >> files.nsh
      find "$dir" -maxdepth 1 -type f | sort | while IFS= read -r file; do
        name=$(basename "$file")
        echo "File \"\${STAGE}/$file\"" >> files.nsh
        echo "Delete \"\$INSTDIR${win:+\\$win}\\$name\"" >> unfiles.nsh
      done
    done < <(find "$top" -type d | sort)
    # Folders deepest first; RMDir leaves one that still holds a file of the user's.
    find "$top" -mindepth 1 -type d | sort -r | while IFS= read -r dir; do
      rel=${dir#"$top"/}
      echo "RMDir \"\$INSTDIR\\${rel//\//\\}\"" >> unfiles.nsh
    done
  done
)

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out="$build/Velmora-$version-setup.exe"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out" \
  packaging/windows/velmora.nsi
echo "$out"
