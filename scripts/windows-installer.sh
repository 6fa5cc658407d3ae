#!/usr/bin/env bash
# Builds the Windows installer on Debian: Qt for Windows (once, into a cache),
# a Release build of velmora.exe and velmora-cli.exe, and
# build-windows-installer/Velmora-<version>-setup.exe with its SHA-256 beside it
# (Velmora-<version>-setup.exe.sha256, as sha256sum writes it); it prints the
# installer's path last.
#
#   scripts/windows-installer.sh                   # all of it
#   scripts/windows-installer.sh --pack BUILD_DIR  # only the installer, from a
#                                                  # Windows build already made
#   scripts/windows-installer.sh --stage STAGE_DIR [VERSION]
#        # only the installer, from a staged installation (bin/, doc/,
#        # velmora.ico), into STAGE_DIR/../Velmora-VERSION-setup.exe
#
# VELMORA_NSIS_COMPRESSOR=zlib packs faster and larger (the installer check's
# older version); the default is solid LZMA.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
step="starting"
trap 'echo "windows-installer.sh: failed while $step" >&2' ERR

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=
case "${1:-}" in
  --pack)
    [ -n "${2:-}" ] || { echo "usage: $0 --pack BUILD_DIR" >&2; exit 2; }
    build=$(cd "$caller" && realpath "$2")
    ;;
  --stage)
    [ -d "${2:-}/bin" ] || [ -d "$caller/${2:-}/bin" ] ||
      { echo "usage: $0 --stage STAGE_DIR [VERSION] (no bin/ in '${2:-}')" >&2; exit 2; }
    stage=$(cd "$caller" && realpath "$2")
    version=${3:-$version}
    ;;
  "")
    step="installing what the build needs"
    scripts/install-deps.sh
    step="building Qt for Windows"
    qt_prefix=$(scripts/build-qt-windows.sh | tail -n 1)
    build="build-windows-installer"
    step="configuring the windows-release build"
    cmake --preset windows-release -DCMAKE_PREFIX_PATH="$qt_prefix" > /dev/null
    step="building the windows-release build"
    cmake --build --preset windows-release -j "$(nproc 2>/dev/null || echo 2)"
    ;;
  *)
    echo "usage: $0 [--pack BUILD_DIR | --stage STAGE_DIR [VERSION]]" >&2
    exit 2
    ;;
esac

if [ -z "$stage" ]; then
  build=$(realpath "$build")
  stage=$build/stage
  rm -rf "$stage"
  step="staging the installation of $build into $stage"
  cmake --install "$build" --prefix "$stage" --strip > /dev/null
  # The libraries come with their symbols; users need none of them.
  step="stripping the libraries in $stage/bin"
  find "$stage/bin" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
fi

# What the installer installs and the uninstaller removes, file by file, so that
# uninstalling leaves the folder as it found it.
step="listing the files of $stage"
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

out="$(dirname "$stage")/Velmora-$version-setup.exe"
step="packing $out with makensis"
makensis -V2 -DCOMPRESSOR="${VELMORA_NSIS_COMPRESSOR:-/SOLID lzma}" -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out" \
  packaging/windows/velmora.nsi
step="writing $out.sha256"
(cd "$(dirname "$out")" && sha256sum "$(basename "$out")" > "$(basename "$out").sha256")
echo "$out"
