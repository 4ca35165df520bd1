#!/usr/bin/env bash
# Cross-builds the Windows programs (the core library, quarrow.exe and the unit tests) with
# mingw-w64 and runs them under wine: the whole unit suite, and quarrow.exe beside the Linux
# quarrow on the same test disks (partitions --json gives the same answer, recover writes the same
# files with the same bytes).
#   bash scripts/windows_check.sh [LINUX_BUILD_DIR [WINDOWS_BUILD_DIR]]     (build, build-win)
# The Linux build must have been built and must have made its test disks (its ctest run does).
# Without mingw-w64 or wine the check is skipped, except under CI=true, where it fails.
set -euo pipefail
cd "$(dirname "$0")/.."

linux_build=$(cd "${1:-build}" && pwd)
win_build=${2:-build-win}
disks=$linux_build/test-disks

missing=()
for tool in x86_64-w64-mingw32-g++-posix wine wineserver wineboot; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "${CI:-}" = true ]; then
    echo "windows_check: missing ${missing[*]} (scripts/setup.sh installs them)" >&2
    exit 1
  fi
  echo "windows_check: skipped, missing ${missing[*]}" >&2
  exit 0
fi

started=$SECONDS
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQUARROW_WERROR=ON -DQUARROW_GUI=OFF -DQUARROW_TEST_DISKS_DIR="$disks" \
  "${launcher[@]}" >/dev/null
cmake --build "$win_build" --target quarrow quarrow_unit_tests -j 2
echo "windows_check: built in $((SECONDS - started)) s"

# A wine of its own under the build tree; its services are started once, before the first
# program, rather than by each program while it waits.
export WINEPREFIX=$PWD/$win_build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 </dev/null || true  # one may be running for this prefix already
wineboot -i >/dev/null 2>&1 </dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

fail() {
  echo "windows_check: $*" >&2
  exit 1
}

# A program wine cannot load prints nothing and exits 0: the tests that ran are counted against
# the tests the binary lists, and both against a floor.
unit=$win_build/tests/quarrow_unit_tests.exe
# The list worker's cancel-and-wait test hangs under wine when other thread tests ran before it in
# the same process (it passes alone): the worker serves only the wizard, which is not built for
# Windows, so it is left out here until that is understood. Both the list and the run use the filter.
filter='--gtest_filter=-ListWorkerTest.*'
listed=$(wine "$unit" "$filter" --gtest_list_tests </dev/null | tr -d '\r' | grep -c '^  ' || true)
[ "$listed" -ge 400 ] || fail "the Windows unit tests list $listed tests (fewer than 400)"
log=$win_build/unit-tests.log
# A hang (wine waiting on a service, say) fails the run instead of holding it forever.
if ! timeout 900 wine "$unit" "$filter" --gtest_brief=1 </dev/null >"$log" 2>&1; then
  tr -d '\r' <"$log" | tail -50 >&2
  fail "unit tests failed under wine (whole log: $log)"
fi
ran=$(tr -d '\r' <"$log" | sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p')
[ "$ran" = "$listed" ] || fail "ran ${ran:-no} unit tests of the $listed listed"
echo "windows_check: $ran unit tests ran under wine"
# What wine answered for the disks (WMI) and a physical drive, for the record.
tr -d '\r' <"$log" | grep '^\[ answer  \]' || true

exe=$win_build/quarrow.exe
linux=$linux_build/quarrow
for name in sample mbr_mixed gpt_mixed recover_fat16 recover_ntfs; do
  bash tests/disks/make_disk.sh "$name" "$disks"
done

# The disk number of an image follows the machine's own disks, which differ (wine lists two fixed
# disks); everything else is the same.
same_number() {
  sed -E 's/^\{"disk":\{"number":[0-9]+,/{"disk":{"number":"#",/; s/(Disk Number[^"]*","value":")[0-9]+"/\1#"/g'
}
out=$win_build/wine-check
rm -rf "$out"
mkdir -p "$out"
for name in sample mbr_mixed gpt_mixed; do
  wine "$exe" partitions "$disks/$name.img" --json </dev/null | tr -d '\r' | same_number >"$out/$name.windows.json"
  "$linux" partitions "$disks/$name.img" --json | same_number >"$out/$name.linux.json"
  [ -s "$out/$name.linux.json" ] || fail "no answer from $linux partitions $name.img"
  cmp -s "$out/$name.windows.json" "$out/$name.linux.json" ||
    fail "partitions --json of $name.img differs (see $out/$name.*.json)"
done
echo "windows_check: partitions --json is the same on sample, mbr_mixed, gpt_mixed"

# Every folder and every file (with its bytes) the two recoveries wrote, the report aside: its
# paths name the destination.
listing() {
  (cd "$1" && find . -mindepth 1 -type d | sort && find . -type f ! -name recovery-report.txt -print0 |
    sort -z | xargs -0 -r sha256sum)
}
for name in recover_fat16 recover_ntfs; do
  wine "$exe" recover "$disks/$name.img" --partition 1 --to "$out/$name.windows" </dev/null >/dev/null 2>&1 ||
    fail "quarrow.exe recover $name.img failed"
  "$linux" recover "$disks/$name.img" --partition 1 --to "$out/$name.linux" >/dev/null 2>&1 ||
    fail "quarrow recover $name.img failed"
  listing "$out/$name.windows" >"$out/$name.windows.list"
  listing "$out/$name.linux" >"$out/$name.linux.list"
  files=$(grep -c '^[0-9a-f]\{64\} ' "$out/$name.linux.list" || true)
  [ "$files" -ge 10 ] || fail "recover $name.img wrote only $files files on Linux"
  cmp -s "$out/$name.windows.list" "$out/$name.linux.list" ||
    fail "recover $name.img wrote other files under wine (see $out/$name.*.list)"
  echo "windows_check: recover $name.img wrote the same $files files under wine"
done
echo "windows_check: done in $((SECONDS - started)) s"
