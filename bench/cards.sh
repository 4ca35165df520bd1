#!/usr/bin/env bash
# Searches of volumes shaped like camera cards, measured side by side in one run: each search
# against a plain read of the same partition and against fls, the growth from a quarter of the
# files to all of them, and the peak memory per file found.
#
#   bench/cards.sh [BUILD_DIR]      (default: build; needs BUILD_DIR/quarrow, fls, /usr/bin/time)
#
# The volumes are made once, from a fixed seed, and kept in BUILD_DIR/bench/cards (delete a file
# there to make it again):
#   fat32_25k, fat32_100k     FAT32, 2 KiB clusters: 25,000 and 100,000 files, 40 to a folder
#   ntfs_20k_200, _2000       NTFS (mkntfs and an ntfs-3g mount, as root): 20,000 files in 200
#   ntfs_5k_200                 and in 2,000 folders, and a quarter of them in 200 folders
# Environment: RUNS (timed runs of each command, default 3; medians are shown), BASELINE (an older
# quarrow, timed in the same runs, with its ratio and whether its JSON is the same), SKIP_NTFS=1,
# LARGE=1 (also fat32_400k: 400,000 files in 10,000 folders).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
quarrow="$build/quarrow"
[ -x "$quarrow" ] || { echo "cards.sh: no $quarrow (build first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "cards.sh: needs /usr/bin/time (Debian: time)" >&2; exit 2; }
command -v fls >/dev/null || { echo "cards.sh: needs fls (Debian: sleuthkit)" >&2; exit 2; }
runs=${RUNS:-3}
baseline=${BASELINE:-}
[ -z "$baseline" ] || [ -x "$baseline" ] || { echo "cards.sh: BASELINE $baseline is not a program" >&2; exit 2; }
dir="$build/bench/cards"
mkdir -p "$dir"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C TZ=UTC
start=2048

# The file tree: FILES files in FOLDERS folders (Card/DCIM/NNN), names and sizes from a fixed seed
# (about a third of a cluster to two clusters each), made under $1.
make_tree() {
  local root=$1 files=$2 folders=$3
  python3 - "$root" "$files" "$folders" <<'EOF'
import os, random, sys
root, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(20261209)
for f in range(folders):
    os.makedirs(os.path.join(root, "DCIM", "%03dCARD" % (100 + f)), exist_ok=True)
for i in range(files):
    folder = os.path.join(root, "DCIM", "%03dCARD" % (100 + i % folders))
    with open(os.path.join(folder, "IMG_%05d.JPG" % i), "wb") as out:
        out.write(rng.randbytes(rng.randint(700, 4000)))
EOF
}

make_fat() {  # name files folders MiB
  local img="$dir/$1.img" work
  [ -f "$img" ] && return
  echo "making $img (once) ..." >&2
  work=$(mktemp -d "$dir/work.XXXXXX")
  make_tree "$work/tree" "$2" "$3"
  truncate -s "$4M" "$work/disk.img"
  echo "start=$start, type=0c" | sfdisk -q "$work/disk.img"
  mkfs.fat -F 32 -s 4 -n CARD --offset "$start" "$work/disk.img" $(( ($4 * 2048 - start) / 2 )) >/dev/null
  mcopy -s -i "$work/disk.img@@$((start * 512))" "$work/tree"/* ::/
  mv -f "$work/disk.img" "$img"
  rm -rf "$work"
}

make_ntfs() {  # name files folders MiB
  local img="$dir/$1.img" work sectors
  [ -f "$img" ] && return
  echo "making $img (once) ..." >&2
  work=$(mktemp -d "$dir/work.XXXXXX")
  make_tree "$work/tree" "$2" "$3"
  sectors=$(( $4 * 2048 - start ))
  truncate -s "$4M" "$work/disk.img"
  echo "start=$start, size=$sectors, type=07" | sfdisk -q "$work/disk.img"
  truncate -s $((sectors * 512)) "$work/part.img"
  mkntfs -F -q -f -p "$start" -H 255 -S 63 "$work/part.img" >/dev/null 2>&1
  mkdir "$work/mnt"
  ntfs-3g "$work/part.img" "$work/mnt"
  cp -r "$work/tree"/* "$work/mnt/"
  umount "$work/mnt"
  dd if="$work/part.img" of="$work/disk.img" bs=1M seek=1 conv=notrunc status=none
  mv -f "$work/disk.img" "$img"
  rm -rf "$work"
}

make_fat fat32_25k 25000 625 256
make_fat fat32_100k 100000 2500 768
# LARGE=1: a card of 400,000 files too (3 GiB, sparse), for the memory per file at that size.
[ -z "${LARGE:-}" ] || make_fat fat32_400k 400000 10000 3072
if [ -z "${SKIP_NTFS:-}" ]; then
  make_ntfs ntfs_5k_200 5000 200 128
  make_ntfs ntfs_20k_200 20000 200 256
  make_ntfs ntfs_20k_2000 20000 2000 256
fi

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs a command RUNS times; sets WALL (median s, timed to the nanosecond around the command:
# /usr/bin/time gives hundredths only, too coarse for a search of a tenth of a second), CPU
# (median user + system s) and PEAK (the largest resident KiB) for it.
measure() {
  local walls=() cpus=() peak=0 w c m t0 t1
  for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    /usr/bin/time -f '%e %U %S %M' -o "$dir/time" "$@" >"$dir/out" 2>"$dir/err" ||
      { echo "cards.sh: failed: $*" >&2; tail -5 "$dir/err" >&2; exit 1; }
    t1=$(date +%s%N)
    read -r w u s m <"$dir/time"
    walls+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')")
    cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')")
    [ "$m" -gt "$peak" ] && peak=$m
  done
  WALL=$(median "${walls[@]}") CPU=$(median "${cpus[@]}") PEAK=$peak
}

printf '%-14s %-9s %8s %8s %8s %8s %9s %9s %9s\n' volume search files wall_s cpu_s read_s "/read" "/fls" "KiB/file"
declare -A walls files peaks
for name in fat32_25k fat32_100k fat32_400k ntfs_5k_200 ntfs_20k_200 ntfs_20k_2000; do
  img="$dir/$name.img"
  [ -f "$img" ] || continue
  type=FAT32
  [[ $name == ntfs* ]] && type=NTFS
  cat "$img" >/dev/null  # warm the page cache: every command reads from memory
  measure dd if="$img" of=/dev/null bs=1M iflag=skip_bytes skip=$((start * 512)) status=none
  read_s=$WALL
  measure fls -r -o "$start" "$img"
  fls_s=$WALL
  for mode in standard advance; do
    args=(scan "$img" --json)
    if [ "$mode" = standard ]; then
      args+=(--partition 1)
    else
      args+=(--mode advance --type "$type" --start 0 --end $(($(stat -c %s "$img") / 512)))
    fi
    measure "$quarrow" "${args[@]}"
    cp "$dir/out" "$dir/$name.$mode.json"
    n=$(grep -o '"first":' "$dir/$name.$mode.json" | wc -l)
    walls[$name.$mode]=$WALL files[$name.$mode]=$n peaks[$name.$mode]=$PEAK
    awk -v v="$name" -v m="$mode" -v n="$n" -v w="$WALL" -v c="$CPU" -v r="$read_s" -v f="$fls_s" -v p="$PEAK" \
      'BEGIN { printf "%-14s %-9s %8d %8.3f %8.2f %8.3f %9.2f %9.2f %9.3f\n", v, m, n, w, c, r, (r > 0 ? w / r : 0), (f > 0 ? w / f : 0), (n > 0 ? p / n : 0) }'
    if [ -n "$baseline" ]; then
      measure "$baseline" "${args[@]}"
      same=differs
      cmp -s "$dir/out" "$dir/$name.$mode.json" && same=same
      awk -v w="$WALL" -v ours="${walls[$name.$mode]}" -v p="$PEAK" -v n="$n" -v same="$same" \
        'BEGIN { printf "  baseline: %.3f s (this build / baseline %.2f), %.3f KiB/file, JSON %s\n", w, (w > 0 ? ours / w : 0), (n > 0 ? p / n : 0), same }'
    fi
  done
  awk -v f="$fls_s" -v r="$read_s" -v v="$name" 'BEGIN { printf "  %s: fls -r %.3f s, plain read %.3f s\n", v, f, r }'
done

# The time's growth, and the memory each further file costs: the peak's growth over the files'
# growth, which leaves out the few MiB that any run of the program takes.
growth() {  # label small large
  local a=${walls[$2]:-} b=${walls[$3]:-}
  [ -n "$a" ] && [ -n "$b" ] || return 0
  awk -v l="$1" -v a="$a" -v b="$b" -v fa="${files[$2]}" -v fb="${files[$3]}" -v pa="${peaks[$2]}" -v pb="${peaks[$3]}" \
    'BEGIN { printf "growth %-40s %d -> %d files: time x%.2f", l, fa, fb, (a > 0 ? b / a : 0)
             if (fb > fa) printf ", %.3f KiB per further file", (pb - pa) / (fb - fa)
             printf "\n" }'
}
# The Advance search of a volume against its Standard search, both timed above.
against_standard() {  # volume
  local s=${walls[$1.standard]:-} a=${walls[$1.advance]:-}
  [ -n "$s" ] && [ -n "$a" ] || return 0
  awk -v v="$1" -v s="$s" -v a="$a" 'BEGIN { printf "advance / standard %-24s x%.2f\n", v, (s > 0 ? a / s : 0) }'
}
for name in fat32_25k fat32_100k fat32_400k ntfs_5k_200 ntfs_20k_200 ntfs_20k_2000; do against_standard "$name"; done

growth "FAT32 Standard, a quarter to all" fat32_25k.standard fat32_100k.standard
growth "FAT32 Advance, a quarter to all" fat32_25k.advance fat32_100k.advance
growth "FAT32 Standard, 100k to 400k" fat32_100k.standard fat32_400k.standard
growth "NTFS Standard, a quarter to all" ntfs_5k_200.standard ntfs_20k_200.standard
growth "NTFS Advance, a quarter to all" ntfs_5k_200.advance ntfs_20k_200.advance
growth "NTFS Standard, 200 -> 2,000 folders" ntfs_20k_200.standard ntfs_20k_2000.standard
growth "NTFS Advance, 200 -> 2,000 folders" ntfs_20k_200.advance ntfs_20k_2000.advance
