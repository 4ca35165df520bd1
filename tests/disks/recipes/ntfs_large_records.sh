# A 50 MiB disk with two NTFS partitions whose file records are as large as their sectors:
# partition 1 made with mkntfs -s 4096 (4096-byte records), partition 2 with -s 2048 (2048-byte
# records), 24 MiB each, both filled by fill_large_records (folders, long and non-ASCII names,
# deleted files and a folder, a file in several runs).
#
# Side files, for N = 1 and 2: $OUTBASE.N.start (partition start sector), $OUTBASE.N.sectors (its
# size in sectors), $OUTBASE.N.fls (fls -r -p -l of the volume).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

SECTORS=$((24 * 2048))
START1=2048
START2=$((START1 + SECTORS))
new_disk $((50 * 2048)) <<TABLE
label: dos
unit: sectors

start=$START1, size=$SECTORS, type=07
start=$START2, size=$SECTORS, type=07
TABLE

for n in 1 2; do
  start=$((n == 1 ? START1 : START2))
  sector=$((n == 1 ? 4096 : 2048))
  format_ntfs "$start" "$SECTORS" "REC$sector" fill_large_records "" "$sector"
  check_large_records "$start" "$sector"
  fls -r -p -l -o "$start" "$IMG" >"$OUTBASE.$n.fls"
  echo "$start" >"$OUTBASE.$n.start"
  echo "$SECTORS" >"$OUTBASE.$n.sectors"
done
