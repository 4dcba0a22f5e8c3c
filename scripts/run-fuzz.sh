#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build from its seed corpus, within one total
# time budget for the whole stage: the targets run side by side, as many at a
# time as there are processors, and each gets an equal share of the budget
# (and at most a fixed number of inputs). A finding (a crash, a leak, an input
# that runs a minute) fails the run and prints the fuzzer's report; the input
# that caused it is kept in <build folder>/fuzz-findings/ and printed whole in
# hex. Each target runs with its own temporary folder (TMPDIR) inside the
# stage's scratch folder, which is removed however the stage or a target ends.
#   DUSKMARCH_FUZZ_BUDGET  total seconds for the stage (default 240)
#   DUSKMARCH_FUZZ_RUNS    inputs per target at most (default 20000)
#   DUSKMARCH_JOBS         targets at a time (default: the processor count)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/fuzz}"
budget="${DUSKMARCH_FUZZ_BUDGET:-240}"
runs="${DUSKMARCH_FUZZ_RUNS:-20000}"
jobs="${DUSKMARCH_JOBS:-$(nproc)}"
shopt -s nullglob

targets=()
for bin in "$dir"/tests/fuzz/fuzz_*; do
    [ -x "$bin" ] && targets+=("$bin")
done
count=${#targets[@]}
if [ "$count" -eq 0 ]; then
    echo "fuzz targets run: 0, failed: 0"
    exit 0
fi
[ "$jobs" -ge 1 ] || jobs=1
# Rounds of "jobs" targets share the budget; a round's targets run together.
rounds=$(( (count + jobs - 1) / jobs ))
seconds=$(( budget / rounds ))
[ "$seconds" -ge 10 ] || seconds=10

findings="$(cd "$dir" && pwd)/fuzz-findings"
results="$(mktemp -d)"
trap 'rm -rf "$results"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# One target: its own scratch folder, its verdict in results/<name>.
run_target() {
    local bin="$1" name work corpus
    name="$(basename "$bin")"; name="${name#fuzz_}"
    corpus="tests/fuzz/corpus/$name"
    work="$results/work-$name"
    mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
    if [ -d "$corpus" ]; then cp -r "$corpus"/. "$work/corpus"/; fi
    # An input that runs a minute is a hang, and a finding: the time budget
    # is only looked at between inputs. A target stopped by a finding runs
    # no exit handlers: its temporary files go where the stage removes them.
    if TMPDIR="$work/tmp" DUSKMARCH_HEADLESS=1 "$bin" -runs="$runs" -max_total_time="$seconds" -timeout=60 -seed=1 \
        -artifact_prefix="$work/artifacts/" -max_len=65536 -rss_limit_mb=2048 \
        "$work/corpus" > "$work/log" 2>&1; then
        { echo "--- fuzz $name (at most $runs runs, $seconds s): passed"; tail -n 2 "$work/log"; } > "$results/$name.ok"
    else
        {
            echo "--- fuzz $name FAILED:"
            tail -n 60 "$work/log"
            for a in "$work"/artifacts/*; do
                kept="$findings/$name-$(basename "$a")"
                mkdir -p "$findings"
                cp "$a" "$kept"
                echo "input kept: $kept ($(stat -c %s "$a") bytes):"
                od -A d -t x1 -v "$a"
            done
        } > "$results/$name.failed"
    fi
    rm -rf "$work"
}

echo "=== $count fuzz targets, $jobs at a time, $seconds s each at most (budget $budget s) ==="
running=0
for bin in "${targets[@]}"; do
    run_target "$bin" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait || true

failed=0
for f in "$results"/*.ok; do cat "$f"; done
for f in "$results"/*.failed; do cat "$f"; failed=$((failed + 1)); done
echo "fuzz targets run: $count, failed: $failed"
[ "$failed" -eq 0 ]
