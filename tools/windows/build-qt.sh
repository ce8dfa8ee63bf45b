#!/usr/bin/env bash
# Builds Qt 6 (Core, Gui, Widgets, the windows platform plugin and style) for 64-bit Windows
# from Debian's own source package, once per machine: the result is cached under
#   ${LINDAVEX_CACHE:-/var/cache/lindavex}/qt-<version>-<hash of the configure flags>
# and this script prints that folder. A second call with the same flags only prints it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${LINDAVEX_CACHE:-/var/cache/lindavex}
version=6.4.2
flags=(
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DINPUT_opengl=no
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF
    -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF -DFEATURE_pkg_config=OFF -DFEATURE_freetype=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_testlib=ON
)
key=$(printf '%s\n' "$version" "${flags[@]}" | sha256sum | cut -c1-12)
prefix=$cache/qt-$version-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
"$here/debian-source.sh" qt6-base >&2
src=$cache/src/qt6-base-$version
if [ ! -d "$src" ]; then
    rm -rf "$cache/src/unpack-qt" && mkdir -p "$cache/src/unpack-qt"
    tar -C "$cache/src/unpack-qt" -xf "$cache"/src/qt6-base_${version}+dfsg.orig.tar.xz
    mv "$cache/src/unpack-qt"/* "$src"
    rmdir "$cache/src/unpack-qt"
fi
build=$cache/build/qt-$version-$key
rm -rf "$prefix"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    "${flags[@]}" >&2
cmake --build "$build" -j "${LINDAVEX_JOBS:-2}" >&2
cmake --install "$build" >&2
touch "$prefix/.complete"
rm -rf "$build"
echo "$prefix"
