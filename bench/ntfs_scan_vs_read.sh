#!/usr/bin/env bash
# The NTFS record scan of an Advance search over a 1 GiB partition next to plainly reading it,
# and the numbering of about 20,000 files in 2,000 folders after it (bench/ntfs_scan_bench.cpp).
#
#   bench/ntfs_scan_vs_read.sh [BUILD_DIR]      (default: build; needs BUILD_DIR/ntfs_scan_bench)
#
# The disk is made once (mkntfs and an ntfs-3g mount, as root) and kept as
# BUILD_DIR/bench/ntfs_1g.img; delete it to make it again.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
bench="$build/ntfs_scan_bench"
[ -x "$bench" ] || { echo "ntfs_scan_vs_read.sh: no $bench (build first)" >&2; exit 2; }
dir="$build/bench"
img="$dir/ntfs_1g.img"
start=2048
disk_mib=1024
count=$((disk_mib * 2048 - start))

make_image() {
  local work
  work=$(mktemp -d "$dir/work.XXXXXX")
  trap 'umount "$work/mnt" 2>/dev/null || true; rm -rf "$work"' RETURN
  truncate -s "${disk_mib}M" "$work/disk.img"
  echo "start=$start, size=$count, type=07" | sfdisk -q "$work/disk.img"
  truncate -s $((count * 512)) "$work/part.img"
  mkntfs -F -q -f -p "$start" -H 255 -S 63 "$work/part.img" 2>/dev/null
  mkdir "$work/mnt"
  ntfs-3g "$work/part.img" "$work/mnt"
  # 20 x 10 x 10 = 2000 leaf folders (2220 in all) with ten small files each, and 64 MiB of data.
  local a b c
  for a in $(seq -w 1 20); do
    head -c $((3 * 1024 * 1024)) /dev/urandom >"$work/mnt/mix $a.mp3"
    for b in $(seq -w 1 10); do
      for c in $(seq -w 1 10); do
        local leaf="$work/mnt/Artist $a/Album $b/Disc $c"
        mkdir -p "$leaf"
        for t in 0 1 2 3 4 5 6 7 8 9; do echo "track $a-$b-$c-$t" >"$leaf/track $t.mp3"; done
      done
    done
  done
  umount "$work/mnt"
  dd if="$work/part.img" of="$work/disk.img" bs=1M seek=1 conv=notrunc status=none
  mv -f "$work/disk.img" "$img"
}

mkdir -p "$dir"
if [ ! -f "$img" ]; then
  echo "making $img (once) ..." >&2
  t0=$(date +%s)
  make_image
  echo "made in $(( $(date +%s) - t0 )) s" >&2
fi
cat "$img" >/dev/null  # warm the page cache
"$bench" "$img" 1
