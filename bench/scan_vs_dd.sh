#!/usr/bin/env bash
# How long a Standard search of a FAT32 partition takes next to plainly reading the same bytes.
# The scan reads the whole data area in 256 KiB requests, so `dd bs=256K` over the partition is
# the floor it is measured against; the target is a ratio of at most 1.2.
#
#   bench/scan_vs_dd.sh [BUILD_DIR]      (default: build; needs BUILD_DIR/quarrow)
#
# BASELINE=/path/to/an/older/quarrow adds that binary to the same runs, timed in turn with the
# other two, and prints the ratio of this build to it (a change is checked for a slowdown this way,
# on the same machine in the same minute, rather than against figures from another run).
#
# The disk (about 1 GiB, one FAT32 partition with a few thousand folders and some file data) is
# made once and kept as BUILD_DIR/bench/fat32_1g.img (fat32_Mm_sN.img for other sizes); delete it
# to make it again. Environment: RUNS (timed runs of each command, default 5; the median is shown),
# CLUSTER_SECTORS (default 8; at 64 and more the search reads one sector a cluster, and FAT32 then
# needs DISK_MIB of 2200 or more for its 65525 clusters), DISK_MIB (default 1024).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
quarrow="$build/quarrow"
[ -x "$quarrow" ] || { echo "scan_vs_dd.sh: no $quarrow (build first)" >&2; exit 2; }
runs=${RUNS:-5}
spc=${CLUSTER_SECTORS:-8}

dir="$build/bench"
disk_mib=${DISK_MIB:-1024}
img="$dir/fat32_1g.img"
[ "$spc" = 8 ] && [ "$disk_mib" = 1024 ] || img="$dir/fat32_${disk_mib}m_s$spc.img"
start=2048
count=$((disk_mib * 2048 - start))
export MTOOLS_SKIP_CHECK=1 LC_ALL=C TZ=UTC

make_image() {
  local work
  work=$(mktemp -d "$dir/work.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  local part="$work/disk.img"
  truncate -s "${disk_mib}M" "$part"
  echo "start=$start, size=$count, type=0c" | sfdisk -q "$part"
  mkfs.fat -F 32 -s "$spc" -n QRWBENCH --offset "$start" "$part" $((count / 2)) >/dev/null
  # 20 x 15 x 10 = 3000 leaf folders (3320 folders in all), each with two small files; every
  # top folder also holds one 8 MiB file, so about 160 MiB of the data area is file data.
  local tree="$work/tree" a b c
  for a in $(seq -w 1 20); do
    mkdir -p "$tree/Artist $a"
    head -c $((8 * 1024 * 1024)) /dev/urandom >"$tree/Artist $a/mix $a.mp3"
    for b in $(seq -w 1 15); do
      for c in $(seq -w 1 10); do
        local leaf="$tree/Artist $a/Album $b/Disc $c"
        mkdir -p "$leaf"
        echo "track $a-$b-$c" >"$leaf/track one.mp3"
        echo "cover $a-$b-$c" >"$leaf/COVER.JPG"
      done
    done
  done
  mcopy -s -i "$part@@$((start * 512))" "$tree"/* ::/
  mv -f "$part" "$img"
}

mkdir -p "$dir"
if [ ! -f "$img" ]; then
  echo "making $img (once) ..." >&2
  t0=$(date +%s)
  make_image
  echo "made in $(( $(date +%s) - t0 )) s" >&2
fi

now_ns() { date +%s%N; }

# Median of the arguments (nanoseconds).
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

scan_once() { "$quarrow" scan "$img" --partition 1 --json >"$dir/scan.json" 2>"$dir/scan.err"; }
baseline=${BASELINE:-}
[ -z "$baseline" ] || [ -x "$baseline" ] || { echo "scan_vs_dd.sh: BASELINE $baseline is not a program" >&2; exit 2; }
baseline_once() { "$baseline" scan "$img" --partition 1 --json >"$dir/baseline.json" 2>"$dir/baseline.err"; }
dd_once() {
  dd if="$img" of=/dev/null bs=256K iflag=skip_bytes,count_bytes skip=$((start * 512)) \
    count=$((count * 512)) status=none
}

# Warm the page cache with the whole image, and both commands once, so that every timed run
# reads from memory and neither pays for the other's first read.
cat "$img" >/dev/null
dd_once
scan_once || { echo "scan_vs_dd.sh: quarrow scan failed:" >&2; cat "$dir/scan.err" >&2; exit 1; }
if [ -n "$baseline" ]; then
  baseline_once || { echo "scan_vs_dd.sh: the baseline scan failed:" >&2; cat "$dir/baseline.err" >&2; exit 1; }
fi

# CPU time (user + system) beside the wall time: on a busy machine the wall time also holds the
# time spent waiting for a core, which the CPU time does not.
cpu_ns() {  # command... ; prints the CPU nanoseconds it used
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%U %S' -o "$dir/cpu" "$@"
    awk '{ printf "%d\n", ($1 + $2) * 1e9 }' "$dir/cpu"
  else
    "$@"
    echo 0
  fi
}
export -f scan_once dd_once baseline_once
export quarrow baseline img dir start count

scan_times=() dd_times=() scan_cpu=() dd_cpu=() base_times=() base_cpu=()
for _ in $(seq "$runs"); do
  t0=$(now_ns); c=$(cpu_ns bash -c dd_once); t1=$(now_ns)
  dd_times+=($((t1 - t0))) dd_cpu+=("$c")
  t0=$(now_ns); c=$(cpu_ns bash -c scan_once); t1=$(now_ns)
  scan_times+=($((t1 - t0))) scan_cpu+=("$c")
  if [ -n "$baseline" ]; then
    t0=$(now_ns); c=$(cpu_ns bash -c baseline_once); t1=$(now_ns)
    base_times+=($((t1 - t0))) base_cpu+=("$c")
  fi
done
scan_ns=$(median "${scan_times[@]}")
dd_ns=$(median "${dd_times[@]}")
scan_cpu_ns=$(median "${scan_cpu[@]}")
dd_cpu_ns=$(median "${dd_cpu[@]}")

folders=$(grep -o '"self":' "$dir/scan.json" | wc -l)
files=$(grep -o '"first":' "$dir/scan.json" | wc -l)
awk -v s="$scan_ns" -v d="$dd_ns" -v sc="$scan_cpu_ns" -v dc="$dd_cpu_ns" -v bytes=$((count * 512)) -v runs="$runs" -v fo="$folders" -v fi="$files" 'BEGIN {
  printf "partition: %.0f MiB, %d folders and %d files found by the scan\n", bytes / 1048576, fo, fi
  printf "median of %d runs, page cache warm:\n", runs
  printf "  quarrow scan --json : %8.3f s  (%.0f MiB/s)\n", s / 1e9, bytes / 1048576 / (s / 1e9)
  printf "  dd bs=256K          : %8.3f s  (%.0f MiB/s)\n", d / 1e9, bytes / 1048576 / (d / 1e9)
  printf "  ratio scan / dd     : %8.2f  (target <= 1.2)\n", s / d
  if (sc > 0 && dc > 0) {
    printf "CPU time (user + system), same runs: scan %.3f s, dd %.3f s, ratio %.2f\n", sc / 1e9, dc / 1e9, sc / dc
  }
}'

if [ -n "$baseline" ]; then
  base_ns=$(median "${base_times[@]}")
  base_cpu_ns=$(median "${base_cpu[@]}")
  same=differs
  cmp -s "$dir/scan.json" "$dir/baseline.json" && same="is the same"
  awk -v s="$scan_ns" -v b="$base_ns" -v sc="$scan_cpu_ns" -v bc="$base_cpu_ns" -v d="$dd_ns" -v same="$same" 'BEGIN {
    printf "baseline %s, same runs:\n", ENVIRON["baseline"]
    printf "  baseline scan --json: %8.3f s  (ratio to dd %.2f)\n", b / 1e9, b / d
    printf "  ratio scan / baseline: %7.2f  (CPU time %.2f)\n", s / b, (bc > 0 ? sc / bc : 0)
    printf "  its JSON output %s as this build'"'"'s\n", same
  }'
fi
