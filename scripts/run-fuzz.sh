#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded number of inputs (and a
# bounded time), starting from its seed corpus. A finding fails the run and
# prints the fuzzer's report.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/fuzz}"
runs="${DUSKMARCH_FUZZ_RUNS:-20000}"
seconds="${DUSKMARCH_FUZZ_SECONDS:-60}"
shopt -s nullglob
count=0
failed=0
for bin in "$dir"/tests/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    name="$(basename "$bin")"; name="${name#fuzz_}"
    corpus="tests/fuzz/corpus/$name"
    work="$(mktemp -d)"
    mkdir -p "$work/corpus" "$work/artifacts"
    if [ -d "$corpus" ]; then cp -r "$corpus"/. "$work/corpus"/; fi
    echo "--- fuzz $name (at most $runs runs, $seconds s)"
    if DUSKMARCH_HEADLESS=1 "$bin" -runs="$runs" -max_total_time="$seconds" -seed=1 \
        -artifact_prefix="$work/artifacts/" -max_len=65536 -rss_limit_mb=2048 \
        "$work/corpus" > "$work/log" 2>&1; then
        tail -n 2 "$work/log"
    else
        echo "fuzz $name FAILED:"
        tail -n 60 "$work/log"
        for a in "$work"/artifacts/*; do echo "input: $a"; od -A d -t x1 "$a" | head -n 20; done
        failed=$((failed + 1))
    fi
    rm -rf "$work"
    count=$((count + 1))
done
echo "fuzz targets run: $count, failed: $failed"
[ "$failed" -eq 0 ]
