#!/usr/bin/env bash
# How many of a card's files come back byte-identical after each kind of loss, from Quarrow and
# from the tools of the field run on the same image: PhotoRec (signature carving over the whole
# disk), The Sleuth Kit's tsk_recover -e (every file, deleted ones too, of each partition the
# table lists and of the old volume's start given by hand) and fatcat (extraction with deleted
# files, from the same starts, and from the orphan folders its orphan search finds).
#
#   bench/loss_cases.sh [BUILD_DIR]     (default: build; needs BUILD_DIR/quarrow, photorec,
#                                        tsk_recover, fatcat, jq)
#
# The images are the test disks of tests/disks (made by make_disk.sh into BUILD_DIR/test-disks
# when missing); each case's originals are its recipe's sha256 manifest. For every case a line:
#   originals      files the manifest lists
#   quarrow        originals a `quarrow recover` of the case's search wrote byte-identical, then in
#                  brackets how many of them under the original's path and how many only as carved
#                  files (estimated "carved", under no name of the original)
#   misses         files of that recovery whose estimate disagrees with their bytes: called sound
#                  (no estimate, or "intact") but not an original's bytes, or the other way round;
#                  then the files estimated "unknown" (no allocation data), which claim neither, and
#                  the carved files whose bytes are no original's
#   photorec, tsk, fatcat   originals each wrote byte-identical (tsk and fatcat: with the path in
#                  brackets); "-" when the tool wrote nothing
# Environment: CASES (names to run, default all), KEEP=1 keeps the output folders in
# BUILD_DIR/bench/loss_cases.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
quarrow="$build/quarrow"
[ -x "$quarrow" ] || { echo "loss_cases.sh: no $quarrow (build first)" >&2; exit 2; }
for tool in photorec tsk_recover fatcat jq; do
  command -v "$tool" >/dev/null || { echo "loss_cases.sh: needs $tool" >&2; exit 2; }
done
disks="$build/test-disks"
work="$build/bench/loss_cases"
rm -rf "$work"
mkdir -p "$work"

# name|manifest suffix|quarrow search options|start of the volume the files were on
all_cases=(
  "fat32_reformat|sha256|--mode advance --type FAT32 --start 2048 --end 266240 --fs 1|2048"
  "fat32_smaller|sha256|--mode advance --type FAT32 --start 2048 --end 147456|2048"
  "fat32_same|sha256|--mode advance --type FAT32 --start 2048 --end 147456|2048"
  "fat32_repartition|sha256|--mode advance --type FAT32 --start 2048 --end 98304|2048"
  "ntfs_to_fat32|sha256|--mode advance --type NTFS --start 2048 --end 81920|2048"
  "ntfs_quick_format|sha256|--mode advance --type NTFS --start 2048 --end 81920|2048"
  "advance_lost_table|p2.sha256|--mode advance --type FAT32 --start 32193 --end 101193|32193"
  "advance_backup_boot|p1.sha256|--mode advance --type FAT32 --start 2048 --end 81920|2048"
  "advance_wiped|p1.sha256|--mode advance --type FAT32 --start 2048 --end 81920|2048"
  "fat_frag_zeroed|sha256|--partition 1|2048"
  "fat_frag_deleted|sha256|--partition 1|2048"
  "fat_carve|sha256|--mode advance --type FAT16 --start 0 --end 65536 --fs 1|0"
)

# sums FOLDER: "sha256<TAB>path" of every file below FOLDER.
sums() {
  [ -d "$1" ] || return 0
  (cd "$1" && find . -type f ! -name report.xml ! -name recovery-report.txt -printf '%P\0' |
    xargs -0 -r sha256sum | sed 's/  /\t/')
}

# count MANIFEST SUMS: originals whose bytes are among SUMS, and of them those at their own path
# below some folder of the output ("a/b/c" matches ".../a/b/c" and "b/c" whose folders were lost
# matches only by name: that counts as named, not as at its path).
count() {
  awk -F'\t' 'FILENAME == ARGV[1] { split($0, f, "  "); want[f[1]] = f[2]; next }
    ($1 in want) { got[$1] = 1; p = want[$1]; n = length($2) - length(p);
      if ($2 == p || (n > 0 && substr($2, n) == "/" p)) path[$1] = 1 }
    END { a = 0; b = 0; for (s in got) a++; for (s in path) b++; print a, b }' "$1" "$2"
}

printf '%-20s %9s  %-22s %13s  %8s  %-12s %-12s\n' case originals "quarrow (path, carved)" "miss/unk/junk" \
  photorec "tsk (path)" "fatcat (path)"
for entry in "${all_cases[@]}"; do
  IFS='|' read -r name suffix search start <<<"$entry"
  if [ -n "${CASES:-}" ] && [[ " $CASES " != *" $name "* ]]; then continue; fi
  bash "$here/../tests/disks/make_disk.sh" "$name" "$disks" >/dev/null
  img="$disks/$name.img"
  manifest="$disks/$name.$suffix"
  originals=$(wc -l <"$manifest")
  out="$work/$name"
  mkdir -p "$out"

  # Quarrow: the recovery, its JSON, and each written file's estimate against its bytes.
  # shellcheck disable=SC2086
  TZ=UTC "$quarrow" recover "$img" $search --to "$out/quarrow" --json >"$out/quarrow.json" 2>"$out/quarrow.err" || true
  sums "$out/quarrow" >"$out/quarrow.sums"
  read -r q qpath < <(count "$manifest" "$out/quarrow.sums")
  # Originals back only as carved files, and carved files that are no original's bytes.
  read -r qcarved qjunk < <(jq -r '.files[] | [.writtenAs, .estimate] | @tsv' "$out/quarrow.json" 2>/dev/null |
    awk -F'\t' 'FILENAME == ARGV[1] { split($0, f, "  "); want[f[1]] = 1; next }
      FILENAME == ARGV[2] { sum[$2] = $1; next }
      $2 != "carved" { other[sum[$1]] = 1; next }
      (sum[$1] in want) { carved[sum[$1]] = 1; next } { junk++ }
      END { for (s in carved) if (!(s in other)) n++; print n + 0, junk + 0 }' "$manifest" "$out/quarrow.sums" -)
  # Files of no original's path, empty or NTFS system files ($MFT ...), are none of the card's;
  # nor is one of another path and another name whose bytes are no original's (a file the
  # recipe left beside the originals, which its manifest does not list).
  misses=$(jq -r '.files[] | [.writtenAs, .estimate, .path, .size] | map(if . == "" then "-" else . end) | @tsv' \
    "$out/quarrow.json" 2>/dev/null |
    awk -F'\t' 'function base(path) { sub(/.*\//, "", path); return path }
      FILENAME == ARGV[1] { split($0, f, "  "); want[f[1]] = f[2]; byPath[f[2]] = f[1]; names[base(f[2])] = 1; next }
      FILENAME == ARGV[2] { sum[$2] = $1; next }
      { if ($2 == "-") $2 = ""; s = sum[$1]; p = $3; sub(/^\//, "", p);
        if (!(p in byPath) && ($4 == 0 || p ~ /\$/)) next;
        if (!(p in byPath) && !(s in want) && !(base(p) in names)) next;
        sound = (p in byPath) ? s == byPath[p] : (s in want);
        if ($2 == "unknown" || $2 == "carved") { u += $2 == "unknown"; next }
        called = $2 == "" || $2 == "intact"; if (sound != called) n++ }
      END { printf "%d/%d\n", n, u }' "$manifest" "$out/quarrow.sums" -)

  # PhotoRec over the whole disk, every file type.
  (cd "$out" && photorec /log /d "$out/photorec" /cmd "$img" partition_none,fileopt,everything,enable,wholespace,search \
    >/dev/null 2>&1) || true
  find "$out" -maxdepth 1 -name 'photorec.*' -type d -exec sh -c 'for d; do (cd "$d" && find . -type f ! -name report.xml -printf "%P\0" | xargs -0 -r sha256sum | sed "s/  /\t/"); done' _ {} + \
    >"$out/photorec.sums"
  read -r p _ < <(count "$manifest" "$out/photorec.sums")

  # tsk_recover -e from every start the table lists and from the old volume's start.
  starts=$( (mmls -a "$img" 2>/dev/null | awk '$2 ~ /^[0-9]+:[0-9]+$/ { print $3 + 0 }' | grep -v '^0$' || true; echo "$start") | sort -un)
  : >"$out/tsk.sums"
  for s in $starts; do
    if tsk_recover -e -o "$s" "$img" "$out/tsk.$s" >/dev/null 2>&1; then sums "$out/tsk.$s" >>"$out/tsk.sums"; fi
  done
  read -r t tpath < <(count "$manifest" "$out/tsk.sums")

  # fatcat: the tree with deleted files from the same starts, and each orphan folder it finds.
  : >"$out/fatcat.sums"
  for s in $starts; do
    off=$((s * 512))
    # fatcat wants its options before the image and a folder that exists; it crashes on some
    # volumes, which then count for nothing.
    mkdir -p "$out/fatcat.$s"
    timeout 120 fatcat -O "$off" -x "$out/fatcat.$s" -d "$img" >/dev/null 2>&1 || true
    sums "$out/fatcat.$s" >>"$out/fatcat.sums"
    { timeout 120 fatcat -O "$off" -o "$img" 2>/dev/null || true; } | grep -oiE 'directory[^0-9]*[0-9]+' |
      grep -oE '[0-9]+$' | sort -un | while read -r cluster; do
        mkdir -p "$out/fatcat.$s.orphan.$cluster"
        timeout 120 fatcat -O "$off" -x "$out/fatcat.$s.orphan.$cluster" -c "$cluster" -d "$img" >/dev/null 2>&1 || true
        sums "$out/fatcat.$s.orphan.$cluster" >>"$out/fatcat.sums"
      done || true
  done
  read -r f fpath < <(count "$manifest" "$out/fatcat.sums")

  printf '%-20s %9s  %-22s %13s  %8s  %-12s %-12s\n' "$name" "$originals" "$q ($qpath, $qcarved)" "$misses/$qjunk" \
    "$p" "$t ($tpath)" "$f ($fpath)"
done
[ "${KEEP:-0}" = 1 ] || rm -rf "$work"
