#!/usr/bin/env bash
# How long an Advance search of about 1 GiB takes next to plainly reading the same bytes. The scan
# reads the range in 512 KiB requests, so `dd bs=512K` over it is the floor; the target is a ratio
# of at most 1.2 with the image in the page cache. Measured in one run: the command line's whole
# Advance search (scan, analysis, second stage and the tree opened folder by folder), the same
# search with --no-carve (in pairs with the first, in alternating order: carving, which tests every
# sector for a file start and follows each unclaimed start to its end, should add at most 10%), the
# sector scan alone (advance_bench), and the analysis on generated tables of 10,000 and 40,000
# directory candidates (advance_bench).
#
#   bench/advance_vs_dd.sh [BUILD_DIR]      (default: build; needs BUILD_DIR/quarrow and advance_bench)
#
# The disk (1 GiB, one FAT32 partition with 3320 folders and about 160 MiB of file data) is made
# once and kept as BUILD_DIR/bench/advance_1g.img; delete it to make it again. Environment: RUNS
# (timed runs of each command, default 5; the median is shown), CLUSTER_SECTORS (default 8).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
quarrow="$build/quarrow"
bench="$build/advance_bench"
for program in "$quarrow" "$bench"; do
  [ -x "$program" ] || { echo "advance_vs_dd.sh: no $program (build first)" >&2; exit 2; }
done
runs=${RUNS:-5}
spc=${CLUSTER_SECTORS:-8}

dir="$build/bench"
img="$dir/advance_1g.img"
start=2048
disk_mib=1024
count=$((disk_mib * 2048 - start))
end=$((start + count))
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
  # top folder also holds one 8 MiB file.
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
  echo "made in $(($(date +%s) - t0)) s" >&2
fi

now_ns() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

scan_once() {
  "$quarrow" scan "$img" --mode advance --start "$start" --end "$end" --type FAT32 --json "$@" \
    >"$dir/advance.json" 2>"$dir/advance.err"
}
dd_once() {
  dd if="$img" of=/dev/null bs=512K iflag=skip_bytes,count_bytes skip=$((start * 512)) \
    count=$((count * 512)) status=none
}

# Warm the page cache with the whole image and both commands once, so that every timed run reads
# from memory and neither pays for the other's first read.
cat "$img" >/dev/null
dd_once
scan_once || { echo "advance_vs_dd.sh: quarrow scan failed:" >&2; cat "$dir/advance.err" >&2; exit 1; }

scan_times=() dd_times=() plain_times=() pair_ratios=()
for i in $(seq "$runs"); do
  t0=$(now_ns); dd_once; t1=$(now_ns)
  dd_times+=($((t1 - t0)))
  # A pair: with carving and without, the first of the two alternating from run to run.
  if [ $((i % 2)) -eq 1 ]; then
    t0=$(now_ns); scan_once; t1=$(now_ns); scan_once --no-carve; t2=$(now_ns)
    carve_ns=$((t1 - t0)) plain_ns=$((t2 - t1))
  else
    t0=$(now_ns); scan_once --no-carve; t1=$(now_ns); scan_once; t2=$(now_ns)
    plain_ns=$((t1 - t0)) carve_ns=$((t2 - t1))
  fi
  scan_times+=("$carve_ns")
  plain_times+=("$plain_ns")
  pair_ratios+=("$(awk -v c="$carve_ns" -v p="$plain_ns" 'BEGIN { printf "%.4f", c / p }')")
done
scan_once  # the listing counted below is the one with carving
scan_ns=$(median "${scan_times[@]}")
plain_ns=$(median "${plain_times[@]}")
pair_ratio=$(median "${pair_ratios[@]}")
carved=$(grep -o '"estimate":"carved"' "$dir/advance.json" | wc -l)
starts=$(tr '{' '\n' <"$dir/advance.json" | grep -c '^"sector":[0-9]*,"type":' || true)
folders=$(grep -o '"self":' "$dir/advance.json" | wc -l)
files=$(grep -o '"first":' "$dir/advance.json" | wc -l)
identified=$(grep -o '"cluster0":' "$dir/advance.json" | wc -l)

awk -v s="$scan_ns" -v d="$dd_ns" -v p="$plain_ns" -v pr="$pair_ratio" -v ca="$carved" -v st="$starts" \
  -v bytes=$((count * 512)) -v runs="$runs" -v fo="$folders" -v fi="$files" \
  -v id="$identified" 'BEGIN {
  printf "range: %.0f MiB; %d file system(s) identified, %d folders and %d files in the rebuilt tree\n",
    bytes / 1048576, id, fo, fi
  printf "median of %d runs, page cache warm:\n", runs
  printf "  quarrow scan --mode advance --json : %8.3f s  (%.0f MiB/s)\n", s / 1e9, bytes / 1048576 / (s / 1e9)
  printf "  dd bs=512K                         : %8.3f s  (%.0f MiB/s)\n", d / 1e9, bytes / 1048576 / (d / 1e9)
  printf "  ratio advance search / dd          : %8.2f  (target <= 1.2)\n", s / d
  printf "  the same search with --no-carve    : %8.3f s\n", p / 1e9
  printf "  with carving / without (median of the pairs): %.3f  (target <= 1.10); %d starts recognised, %d files carved\n",
    pr, st, ca
}'
"$bench" "$img" "$start" "$end"
