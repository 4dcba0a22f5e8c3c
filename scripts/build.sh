#!/usr/bin/env bash
# scripts/build.sh <kind> [targets...]
#   kind: normal (optimised, debug info), asan (AddressSanitizer + UBSan),
#         tsan (ThreadSanitizer), fuzz (clang + libFuzzer targets)
# Configures build/<kind> and builds it with Ninja. The folder is configured
# afresh whenever its flags, the compiler launcher or any CMake file changed
# since it was last configured (a stamp of them is kept in the folder): an
# existing folder never keeps options the script no longer gives.
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
stamp="$dir/configure.stamp"
wanted="$(
    printf '%s\n' "${flags[@]}"
    echo "launcher: ${CMAKE_CXX_COMPILER_LAUNCHER:-} ${CMAKE_C_COMPILER_LAUNCHER:-}"
    find . -path ./build -prune -o \( -name CMakeLists.txt -o -name '*.cmake' \) -type f -print \
        | LC_ALL=C sort | xargs sha256sum
)"
if [ ! -f "$dir/build.ninja" ] || [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$wanted" ]; then
    rm -f "$stamp"
    fresh=()
    [ -f "$dir/CMakeCache.txt" ] && fresh=(--fresh)
    cmake "${fresh[@]}" -S . -B "$dir" -G Ninja "${flags[@]}"
    printf '%s\n' "$wanted" > "$stamp"
fi
jobs="${DUSKMARCH_JOBS:-$(nproc)}"
cmake --build "$dir" -j "$jobs" ${1:+--target "$@"}
