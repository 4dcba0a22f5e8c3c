#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the normal build's whole test suite,
#   2. the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the thread tests under ThreadSanitizer,
#   4. the fuzz targets on their corpora, within one total time budget.
# "./test.sh quick" runs step 1 only.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

mode="${1:-all}"
jobs="${DUSKMARCH_JOBS:-$(nproc)}"

run_suite() {
    local kind="$1"; shift
    echo "=== tests: $kind build ==="
    scripts/build.sh "$kind"
    (cd "build/$kind" && ctest --output-on-failure -j "$jobs" "$@")
}

run_suite normal

# The model and battle tests once more in a shuffled order with a fixed seed:
# a test that depends on what an earlier one left in the game's globals fails.
echo "=== tests: model and battle, shuffled ==="
for program in test_model test_battle; do
    "build/normal/tests/$program" --gtest_shuffle --gtest_random_seed=4242 --gtest_brief=1
done
[ "$mode" = quick ] && exit 0

run_suite asan

# Thread tests (test suites whose name ends in "ThreadTest") under TSan; only
# the test files that hold them are built, and only those suites run.
echo "=== tests: tsan build (thread tests) ==="
scripts/build.sh tsan thread_tests
(cd build/tsan && ctest --output-on-failure -j "$jobs")

echo "=== fuzz targets ==="
scripts/build.sh fuzz fuzz_all
scripts/run-fuzz.sh build/fuzz
