#!/usr/bin/env bash
# Builds the static libraries the Windows build links, once per machine: libxml2 from Debian's
# source package and GoogleTest from Debian's /usr/src/googletest, for 64-bit Windows with
# MinGW-w64. The result is cached under
#   ${LINDAVEX_CACHE:-/var/cache/lindavex}/deps-<hash of versions and flags>
# and this script prints that folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${LINDAVEX_CACHE:-/var/cache/lindavex}
xml_version=2.9.14
gtest_version=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown)
xml_flags=(
    -DBUILD_SHARED_LIBS=OFF -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF
    -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_PYTHON=OFF
    -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_HTTP=OFF
    -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_THREADS=ON
)
gtest_flags=(-DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF)
key=$(printf '%s\n' "$xml_version" "${xml_flags[@]}" "$gtest_version" "${gtest_flags[@]}" |
    sha256sum | cut -c1-12)
prefix=$cache/deps-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
"$here/debian-source.sh" libxml2 >&2
work=$cache/build/deps-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"
tar -C "$work" -xf "$cache"/src/libxml2_${xml_version}+dfsg.orig.tar.xz
toolchain=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake"
    -DCMAKE_INSTALL_PREFIX="$prefix")
cmake -S "$work/libxml2-$xml_version" -B "$work/xml" "${toolchain[@]}" "${xml_flags[@]}" >&2
cmake --build "$work/xml" -j "${LINDAVEX_JOBS:-2}" >&2
cmake --install "$work/xml" >&2
cmake -S /usr/src/googletest -B "$work/gtest" "${toolchain[@]}" "${gtest_flags[@]}" >&2
cmake --build "$work/gtest" -j "${LINDAVEX_JOBS:-2}" >&2
cmake --install "$work/gtest" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
