#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a fixed number of inputs, starting
# from its seed corpus. A finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/fuzz}"
runs="${DUSKMARCH_FUZZ_RUNS:-20000}"
shopt -s nullglob
count=0
for bin in "$dir"/tests/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    name="$(basename "$bin")"; name="${name#fuzz_}"
    corpus="tests/fuzz/corpus/$name"
    work="$(mktemp -d)"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    echo "--- fuzz $name ($runs runs)"
    DUSKMARCH_HEADLESS=1 "$bin" -runs="$runs" -max_total_time="${DUSKMARCH_FUZZ_SECONDS:-60}" -seed=1 -artifact_prefix="$work/" -max_len=65536 -rss_limit_mb=2048 "$work" 2>&1 | tail -n 3
    rm -rf "$work"
    count=$((count + 1))
done
echo "fuzz targets run: $count"
