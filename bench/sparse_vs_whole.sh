#!/usr/bin/env bash
# Which read the data-area pass of a FAT Standard search should make, measured: the whole area in
# 512-sector chunks against the first sector of each cluster only, for clusters of 8 to 128
# sectors, on the 1 GiB bench image as a file and as a loop device, each from memory and (as
# root) from the medium with the page cache emptied before every read. The rule the pass follows
# (ReadsFirstSectorsOnly in src/fat/directory_passes.h) takes the one-sector reads only for the
# cluster sizes where they win in all four.
#
#   bench/sparse_vs_whole.sh [BUILD_DIR]     (default: build; needs BUILD_DIR/sparse_read_bench)
#
# The image is bench/scan_vs_dd.sh's (made by it when missing). Environment: RUNS (timed runs of
# each read, default 5 from memory, 3 from the medium).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
bench="$build/sparse_read_bench"
[ -x "$bench" ] || { echo "sparse_vs_whole.sh: no $bench (build first)" >&2; exit 2; }
img="$build/bench/fat32_1g.img"
[ -f "$img" ] || RUNS=1 bash "$here/scan_vs_dd.sh" "$build" >/dev/null
start=2048
sectors=$(($(stat -c %s "$img") / 512 - start))

RUNS=${RUNS:-5} "$bench" "$img" "$start" "$sectors" 2>/dev/null
if [ "$(id -u)" -ne 0 ]; then
  echo "(not root: the page cache cannot be emptied and no loop device attached; warm image only)"
  exit 0
fi
RUNS=${RUNS:-3} "$bench" "$img" "$start" "$sectors" cold 2>/dev/null
loop=$(losetup -f --show -r "$img")
trap 'losetup -d "$loop"' EXIT
RUNS=${RUNS:-5} "$bench" "$loop" "$start" "$sectors" 2>/dev/null
RUNS=${RUNS:-3} "$bench" "$loop" "$start" "$sectors" cold 2>/dev/null
