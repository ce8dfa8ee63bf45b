#!/usr/bin/env bash
# Runs one Windows test program (or its test listing) under Wine. Wine itself now and then loses
# its server connection or fails to start the program ("wine client error", "wine: could not
# ..."), and now and then a program it starts ends at once with a failure and not one byte of
# output (a test program always prints its header first). Such a run says nothing about the
# test, so it is run once more. A run that ends for any other reason, a failed test included,
# counts as it is.
out=$(mktemp)
log=$(mktemp)
trap 'rm -f "$out" "$log"' EXIT
for attempt in 1 2; do
    status=0
    /usr/lib/wine/wine64 "$@" >"$out" 2>"$log" || status=$?
    cat "$out"
    cat "$log" >&2
    if [ "$status" -eq 0 ]; then exit 0; fi
    if ! grep -qE '^wine( client error|: could not|: failed)' "$log" &&
        { [ -s "$out" ] || [ -s "$log" ]; }; then
        exit "$status"
    fi
    echo "wine-test.sh: Wine failed on attempt $attempt (status $status), running again" >&2
done
exit "$status"
