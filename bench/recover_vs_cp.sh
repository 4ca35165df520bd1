#!/usr/bin/env bash
# How long the recovery of a FAT32 partition's files takes next to copying the same files. The
# files are extracted once with mtools (mcopy -s) beside the image; `cp -r` of that extraction
# reads and writes the same bytes through the page cache, which is the floor the recovery is
# measured against (recover_bench also reports a plain read of the files' pieces). The target is a
# ratio of at most 1.5 with the image cached.
#
#   bench/recover_vs_cp.sh [BUILD_DIR]      (default: build; needs BUILD_DIR/recover_bench)
#
# The disk (1 GiB, one FAT32 partition of 4 KiB clusters, 3000 files of mixed sizes in 30 folders,
# about 850 MiB of data) is made once and kept as BUILD_DIR/bench/fat32_files_1g.img with its
# extraction; delete them to make them again. Environment: RUNS (timed runs of cp, default 5; the
# median is shown).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
bench="$build/recover_bench"
[ -x "$bench" ] || { echo "recover_vs_cp.sh: no $bench (build first)" >&2; exit 2; }
runs=${RUNS:-5}

dir="$build/bench"
img="$dir/fat32_files_1g.img"
extract="$dir/fat32_files_1g.extract"
start=2048
disk_mib=1024
count=$((disk_mib * 2048 - start))
export MTOOLS_SKIP_CHECK=1 LC_ALL=C TZ=UTC

make_image() {
  local work
  work=$(mktemp -d "$dir/work.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  local part="$work/disk.img" tree="$work/tree" folder i size
  truncate -s "${disk_mib}M" "$part"
  echo "start=$start, size=$count, type=0c" | sfdisk -q "$part"
  mkfs.fat -F 32 -s 8 -n QRWFILES --offset "$start" "$part" $((count / 2)) >/dev/null
  # 2000 files of 1-64 KiB, 900 of 64 KiB-1 MiB and 100 of 1-6 MiB, spread over 30 folders.
  RANDOM=15
  for i in $(seq 0 2999); do
    folder="$tree/Folder $((i % 30))"
    mkdir -p "$folder"
    if [ "$i" -lt 2000 ]; then
      size=$((1024 + (RANDOM * 2) % 64512))
    elif [ "$i" -lt 2900 ]; then
      size=$((65536 + (RANDOM * 32) % 983040))
    else
      size=$((1048576 + (RANDOM * 160) % 5242880))
    fi
    head -c "$size" /dev/urandom >"$folder/file $i.bin"
  done
  mcopy -s -i "$part@@$((start * 512))" "$tree"/* ::/
  mv -f "$part" "$img"
  rm -rf "$extract"
  mkdir -p "$extract"
  mcopy -s -i "$img@@$((start * 512))" "::/*" "$extract/"
}

mkdir -p "$dir"
if [ ! -f "$img" ] || [ ! -d "$extract" ]; then
  echo "making $img (once) ..." >&2
  t0=$(date +%s)
  make_image
  echo "made in $(( $(date +%s) - t0 )) s" >&2
fi

now_ns() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Warm the page cache with the image and the extraction.
cat "$img" >/dev/null
find "$extract" -type f -exec cat {} + >/dev/null

"$bench" "$img" "$dir/recovered" | tee "$dir/recover_bench.out"
read -r _ recovery_s read_s < <(tail -n 1 "$dir/recover_bench.out")

cp_times=()
for _ in $(seq "$runs"); do
  rm -rf "$dir/copied"
  t0=$(now_ns)
  cp -r "$extract" "$dir/copied"
  t1=$(now_ns)
  cp_times+=($((t1 - t0)))
done
cp_ns=$(median "${cp_times[@]}")
files=$(find "$extract" -type f | wc -l)
bytes=$(du -sb "$extract" | cut -f1)
rm -rf "$dir/copied" "$dir/recovered"

awk -v r="$recovery_s" -v rd="$read_s" -v c="$cp_ns" -v files="$files" -v bytes="$bytes" -v runs="$runs" 'BEGIN {
  printf "%d files, %.0f MiB, page cache warm:\n", files, bytes / 1048576
  printf "  recovery (best of 3)   : %8.3f s\n", r
  printf "  cp -r (median of %d)    : %8.3f s\n", runs, c / 1e9
  printf "  ratio recovery / cp -r : %8.2f  (target <= 1.5)\n", r / (c / 1e9)
  printf "  ratio recovery / read  : %8.2f\n", r / rd
}'
