#!/usr/bin/env bash
# Runs each libFuzzer target of the fuzz preset for a bounded time, starting
# from its seed corpus in fuzz/corpus/<target>, and prints the executions.
# Two targets run at a time (the machine has two cores). A failure prints the
# fuzzer's report and keeps the input under build/fuzz/runs/<target>/artifacts/
# (turn it into a regression case in tests/reliability/fuzz_regression_test.cpp).
# Usage: fuzz/run.sh [seconds per target]   (default: KAVRO_FUZZ_SECONDS or 60)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${KAVRO_FUZZ_SECONDS:-60}}
bin=build/fuzz/fuzz
runs=build/fuzz/runs

fuzz_one() {
    local target=$1
    local exe=$bin/kavro_fuzz_$target
    if [[ ! -x $exe ]]; then
        echo "fuzz $target: $exe is not built" >&2
        return 1
    fi
    local work=$runs/$target
    mkdir -p "$work/corpus" "$work/artifacts"
    local log=$work/log.txt
    local start=$SECONDS
    # The log goes to a file: libsndfile's decoders chatter on stderr.
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
        local executions inputs
        executions=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
        inputs=$(find "$work/corpus" -type f | wc -l)
        echo "fuzz $target: $executions executions in $((SECONDS - start)) s, no finding ($inputs inputs in the working corpus)"
    else
        echo "fuzz $target: FAILED after $((SECONDS - start)) s; report:" >&2
        grep -E -A60 "ERROR: |kavro fuzz check failed|runtime error|deadly signal|Test unit written" "$log" | head -120 >&2 || tail -60 "$log" >&2
        return 1
    fi
}

status=0
fuzz_one dispatcher &
first=$!
fuzz_one value_text || status=1
wait "$first" || status=1
fuzz_one render_input || status=1
exit $status
