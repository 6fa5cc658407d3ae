#!/usr/bin/env bash
# Builds Qt for Windows (64-bit, MinGW-w64, shared libraries) from Debian's own
# qt6-base source, into a cache outside the clone, and prints the install
# prefix on its last line. A build already in the cache is reused at once.
#
#   scripts/build-qt-windows.sh            # build when missing, print the prefix
#   scripts/build-qt-windows.sh --prefix   # print the prefix only, build nothing
#
# The cache lies under $VELMORA_CACHE (default ${XDG_CACHE_HOME:-$HOME/.cache}/velmora),
# keyed by the Qt version and a digest of the options below, so a change of
# either builds afresh beside the old one. Only the parts Velmora uses are
# built: Core, Gui, Widgets, Test, the windows and offscreen platform plugins
# and the windowsvista style. Debian's qt6-base-dev-tools serve as moc, rcc and
# uic. About 25 minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."

qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null | sed 's/[+-].*//')
if [ -z "$qt_version" ]; then
  echo "build-qt-windows: qt6-base-dev is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

# What the build depends on besides the source: the compilers and these
# options. Changing a line here changes the cache key.
qt_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_openssl=OFF
  -DFEATURE_zstd=OFF -DFEATURE_glib=OFF
  # Debian's source drops the non-free tablet headers.
  -DFEATURE_tabletevent=OFF
  # The windows platform plugin of 6.4 neither compiles without OpenGL (here
  # loaded at run time) nor links without Direct2D.
  -DFEATURE_opengl=ON -DFEATURE_opengl_dynamic=ON -DFEATURE_direct2d=ON
  # Bundled third-party code: nothing is taken from the build machine.
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_doubleconversion=OFF
)
# The cross compilers with POSIX threads (std::thread and Qt need them); the
# MinGW runtime DLLs are shipped beside Qt's.
toolchain='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)'
compiler_version=$(x86_64-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null || echo none)
key=$(printf '%s\n' "$compiler_version" "${qt_options[@]}" "$toolchain" | sha256sum | cut -c1-12)
cache=${VELMORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}
prefix="$cache/qt-$qt_version-mingw-w64-$key"

if [ "${1:-}" = "--prefix" ]; then
  echo "$prefix"
  exit 0
fi
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "build-qt-windows: the MinGW-w64 compilers are missing (scripts/install-deps.sh installs them)" >&2
  exit 1
fi

work="$cache/work-qt-$qt_version-$key"
mkdir -p "$work"

# Debian's source of the installed Qt, fetched through a private sources list
# so that the system's apt configuration is left as it is.
orig=$(ls "$work"/qt6-base_"$qt_version"*.orig.tar.* 2>/dev/null | head -n 1 || true)
if [ -z "$orig" ]; then
  echo "=== fetching the qt6-base source ===" >&2
  mkdir -p "$work/apt/lists/partial"
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
    sort -u | sed 's|^|deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] |' > "$work/apt/sources.list"
  apt_private=(-o Dir::Etc::sourcelist="$work/apt/sources.list" -o Dir::Etc::sourceparts=-
               -o Dir::State::Lists="$work/apt/lists" -o APT::Get::List-Cleanup=0 -o APT::Sandbox::User=root)
  apt-get "${apt_private[@]}" -qq update
  (cd "$work" && apt-get "${apt_private[@]}" -qq source --download-only "qt6-base=$(
    dpkg-query -W -f='${Version}' qt6-base-dev)")
  orig=$(ls "$work"/qt6-base_"$qt_version"*.orig.tar.* | head -n 1)
fi

src="$work/src"
if [ ! -f "$src/CMakeLists.txt" ]; then
  echo "=== unpacking $(basename "$orig") ===" >&2
  rm -rf "$src" && mkdir -p "$src"
  tar -xf "$orig" -C "$src" --strip-components=1
fi

echo "=== configuring Qt $qt_version for Windows ===" >&2
printf '%s\n' "$toolchain" > "$work/toolchain.cmake"
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${qt_options[@]}" > "$work/configure.log" 2>&1 ||
  { tail -n 40 "$work/configure.log" >&2; exit 1; }

echo "=== building Qt (about 25 minutes on two cores; log: $work/build.log) ===" >&2
start=$(date +%s)
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$work/build" -j "$jobs" > "$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" > "$work/install.log" 2>&1 || { tail -n 40 "$work/install.log" >&2; exit 1; }
# The MinGW runtime that Qt's libraries load, and Qt's licence texts, travel
# with the libraries.
cp /usr/lib/gcc/x86_64-w64-mingw32/*-posix/libstdc++-6.dll \
   /usr/lib/gcc/x86_64-w64-mingw32/*-posix/libgcc_s_seh-1.dll \
   /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$prefix/bin/"
mkdir -p "$prefix/LICENSES" && cp "$src"/LICENSES/* "$prefix/LICENSES/"
echo "built in $(( $(date +%s) - start )) s" > "$prefix/.complete"
rm -rf "$work/build"
echo "Qt for Windows built in $(( $(date +%s) - start )) s" >&2
echo "$prefix"
