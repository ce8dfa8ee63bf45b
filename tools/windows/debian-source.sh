#!/usr/bin/env bash
# Downloads a Debian source package (bookworm, main) into ${LINDAVEX_CACHE}/src through a
# private apt configuration, so the machine's own package lists stay as they are.
set -euo pipefail
cache=${LINDAVEX_CACHE:-/var/cache/lindavex}
package=$1
shopt -s nullglob
existing=("$cache"/src/"${package}"_*.orig.tar.*)
if [ ${#existing[@]} -gt 0 ]; then
    exit 0
fi
mkdir -p "$cache/apt/lists/partial" "$cache/apt/sources" "$cache/src"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    >"$cache/apt/sources/debian-src.list"
apt_options=(-o Dir::Etc::SourceParts="$cache/apt/sources" -o Dir::Etc::SourceList=/dev/null
    -o Dir::State::Lists="$cache/apt/lists")
apt-get "${apt_options[@]}" update -qq
(cd "$cache/src" && apt-get "${apt_options[@]}" source --download-only "$package")
