#!/usr/bin/env bash
# scripts/build.sh <kind> [targets...]
#   kind: normal (optimised, debug info), asan (AddressSanitizer + UBSan),
#         tsan (ThreadSanitizer), fuzz (clang + libFuzzer targets)
# Configures build/<kind> on first use and builds it with Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-normal}"
shift || true

case "$kind" in
    normal) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    asan)   flags=(-DCMAKE_BUILD_TYPE=Debug -DDUSKMARCH_SANITIZE=ON -DDUSKMARCH_BENCH=OFF) ;;
    tsan)   flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUSKMARCH_TSAN=ON -DDUSKMARCH_BENCH=OFF) ;;
    fuzz)   flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUSKMARCH_FUZZ=ON
                   -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac

dir="build/$kind"
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "${flags[@]}"
fi
jobs="${DUSKMARCH_JOBS:-$(nproc)}"
cmake --build "$dir" -j "$jobs" ${1:+--target "$@"}
