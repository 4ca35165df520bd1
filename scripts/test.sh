#!/usr/bin/env bash
# Sets up the machine, builds Quarrow twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite in the plain build and all but the
# disk-image tests in the sanitizer build; cross-builds the Windows programs and runs their checks
# under wine; runs the threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The floors of the code run one way; an include that runs up a floor fails the run at once.
bash scripts/check_layers.sh

jobs=$(nproc 2>/dev/null || echo 2)
run_suite() {
  local dir=$1; shift
  # Both builds use the same test disks: the images do not depend on how Quarrow was built.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARROW_WERROR=ON -DQUARROW_REQUIRE_LIBEWF=ON \
    -DQUARROW_TEST_DISKS_DIR="$PWD/build/test-disks" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

run_suite build
# The Windows programs, cross-built with mingw-w64, run under wine beside the Linux ones on the
# test disks the plain build made.
bash scripts/windows_check.sh build build-win
# The sanitizer builds are not optimised: with the instrumentation, -O1 took three times as long
# to compile as -O0 and -O2 four times, and what runs in them (the unit tests, the wizard's window,
# the fuzz corpora and the threaded tests; the disk-image tests ran in the plain build above)
# takes minutes either way.
sanitizer_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g -DNDEBUG")
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DQUARROW_SANITIZE=ON -DQUARROW_DISK_TESTS=OFF "${sanitizer_flags[@]}"
# The tests that run work on threads of its own, under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARROW_WERROR=ON -DQUARROW_TSAN=ON \
  "${sanitizer_flags[@]}" -DQUARROW_TEST_DISKS_DIR="$PWD/build/test-disks" >/dev/null
cmake --build build-tsan --target quarrow_thread_tests -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/quarrow_thread_tests \
  --gtest_filter='SessionWorker*:SectorReaderTest.Concurrent*:*ChunkReader*:PartitionLostSearchTest.*:SearchSessionTest.*:ListWorkerTest.*:WizardTest.*:Ranges/WizardRangeTest.*'
