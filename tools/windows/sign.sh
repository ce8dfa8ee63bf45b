#!/usr/bin/env bash
# Signs Windows programs, libraries and installers in place with Debian's osslsigncode, when a
# certificate is given; does nothing otherwise, so that the build stays unsigned as before.
#   sign.sh FILE...           the files named
#   sign.sh --tree FOLDER     every .exe and .dll under the folder
# LINDAVEX_SIGN_PFX names the certificate with its private key (PKCS#12, .pfx or .p12),
# LINDAVEX_SIGN_PASSWORD its password, and LINDAVEX_SIGN_TIMESTAMP, when set, an RFC 3161
# timestamp server (for example http://timestamp.digicert.com), so that the signature stays
# valid after the certificate expires.
set -euo pipefail
[ -n "${LINDAVEX_SIGN_PFX:-}" ] || exit 0
if [ -z "${LINDAVEX_SIGN_PASSWORD+set}" ]; then
    echo "sign.sh: LINDAVEX_SIGN_PFX is set but LINDAVEX_SIGN_PASSWORD is not" >&2
    exit 1
fi
if ! command -v osslsigncode >/dev/null; then
    echo "sign.sh: osslsigncode is missing (Debian: osslsigncode)" >&2
    exit 1
fi
files=()
if [ "${1:-}" = --tree ]; then
    while IFS= read -r -d '' file; do
        files+=("$file")
    done < <(find "$2" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
else
    files=("$@")
fi
timestamp=()
[ -z "${LINDAVEX_SIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$LINDAVEX_SIGN_TIMESTAMP")
for file in "${files[@]}"; do
    # The password goes through a pipe, never on a command line that others could read.
    if ! osslsigncode sign -pkcs12 "$LINDAVEX_SIGN_PFX" \
        -readpass <(printf '%s' "$LINDAVEX_SIGN_PASSWORD") -h sha256 -n Lindavex \
        "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null; then
        rm -f "$file.signed"
        echo "sign.sh: could not sign $file" >&2
        exit 1
    fi
    mv "$file.signed" "$file"
done
