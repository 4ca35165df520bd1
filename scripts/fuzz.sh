#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer (clang, ASan and UBSan) for a number of seconds.
#
#   bash scripts/fuzz.sh TARGET SECONDS      (TARGET: a file name under fuzz/, without .cpp)
#   bash scripts/fuzz.sh --list
#
# The seed corpus fuzz/corpus/TARGET is read, never written; what the run adds goes to
# build-fuzz/corpus/TARGET, and inputs that crash, hang or leak to build-fuzz/crashes/. An input
# that found a fault joins fuzz/corpus/TARGET once the fault is fixed, so that every test run
# replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--list" ]; then
  for f in fuzz/*.cpp; do n=$(basename "$f" .cpp); [ "$n" = replay_main ] || echo "$n"; done
  exit 0
fi
[ $# -eq 2 ] || { echo "usage: scripts/fuzz.sh TARGET SECONDS | --list" >&2; exit 2; }
target=$1
seconds=$2
[ -f "fuzz/$target.cpp" ] || { echo "fuzz.sh: no fuzz/$target.cpp (see --list)" >&2; exit 2; }
bash scripts/setup.sh fuzz

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUARROW_FUZZ=ON -DQUARROW_TESTS=OFF >/dev/null
cmake --build build-fuzz --target "fuzz_$target" -j "$(nproc 2>/dev/null || echo 2)"

work=build-fuzz/corpus/$target
mkdir -p "$work" build-fuzz/crashes fuzz/corpus/"$target"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="build-fuzz/crashes/$target-" "$work" "fuzz/corpus/$target"
