#!/usr/bin/env bash
# Runs one Windows test program (or its test listing) under Wine. Wine itself now and then loses
# its server connection or fails to start the program ("wine client error", "wine: could not
# ..."); such a run says nothing about the test, so it is run once more. A run that ends for any
# other reason, a failed test included, counts as it is.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for attempt in 1 2; do
    status=0
    /usr/lib/wine/wine64 "$@" 2>"$log" || status=$?
    cat "$log" >&2
    if [ "$status" -eq 0 ] || ! grep -qE '^wine( client error|: could not|: failed)' "$log"; then
        exit "$status"
    fi
    echo "wine-test.sh: Wine failed on attempt $attempt, running again" >&2
done
exit "$status"
