#!/usr/bin/env bash
# Runs each fuzz target for a given time and fails on any crash, leak, timeout or sanitizer
# report. The repository's seed corpus is copied, so the seeds stay as they are; inputs that
# the fuzzer finds go to BUILD/fuzz/work/TARGET, failing inputs to BUILD/fuzz/artifacts/TARGET.
#   fuzz/run-fuzz.sh BUILD SECONDS [TARGET...]   (targets: dbf_table centre_document settings_file)
set -euo pipefail
build=${1:?build directory configured with -DLINDAVEX_FUZZ=ON}
seconds=${2:?seconds per target}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(dbf_table centre_document settings_file)

status=0
for target in "${targets[@]}"; do
    binary="$build/fuzz/fuzz_$target"
    work="$build/fuzz/work/$target"
    artifacts="$build/fuzz/artifacts/$target"
    mkdir -p "$work" "$artifacts"
    cp -n "$here/corpus/$target"/* "$here/regressions/$target"/* "$work"/ 2>/dev/null || true
    log="$build/fuzz/$target.log"
    echo "== fuzz_$target for ${seconds}s"
    if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$binary" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -max_len=16384 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1; then
        grep -E '^Done [0-9]+ runs' "$log" || true
    else
        status=1
        echo "fuzz_$target FAILED; see $log and $artifacts" >&2
        grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -20 >&2 || true
    fi
done
exit $status
