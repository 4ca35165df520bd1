# A FAT16 volume damaged the ways disks get damaged, to check that folders keep their places by
# the names their parents give them. 24 MiB, one MBR partition from sector 2048.
#   Docs/Sub/Deep      Deep holds an entry BACK that names Docs: a loop back to its grandparent
#   Docs/Dotless       its "." and ".." entries are zeroed; it holds files and a folder Inner
#   Docs/Sub/Long      a directory of several clusters whose last cluster's FAT entry points back
#                      at Docs' first cluster: the same loop, in the FAT chain
# Side files: $OUTBASE.start, and $OUTBASE.fls (fls -r -p -l) of the volume before the damage: the
# listing to compare with. BACK is in it, an empty folder, as it is listed after the damage too
# (its cluster is Docs', whose contents are listed once, where Docs is).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"
START=2048
SIZE=$((24 * 2048 - START))
OFF=$((START * 512))
M="$IMG@@$OFF"
echo "start=$START, size=$SIZE, type=06" | new_disk $((24 * 2048))
format_fat 16 4 "$START" "$SIZE" DAMAGED

mkdir -p t/Docs/Sub/Deep/BACK t/Docs/Dotless/Inner t/Docs/Sub/Long t/Other
echo "deep" >t/Docs/Sub/Deep/deep.txt
echo "dotless one" >t/Docs/Dotless/one.txt
echo "dotless two, a little longer" >"t/Docs/Dotless/a long name two.txt"
echo "inner" >t/Docs/Dotless/Inner/inner.txt
echo "docs" >t/Docs/readme.txt
echo "other" >t/Other/other.txt
# Forty long names: the directory needs four 2 KiB clusters.
for i in $(seq -w 1 40); do echo "$i" >"t/Docs/Sub/Long/a file with a long name number $i.txt"; done
find t -exec touch -d '2022-06-01 12:00:00' {} +
mcopy -s -m -i "$M" t/* ::/
fls -r -p -l -o "$START" "$IMG" >"$OUTBASE.fls"
echo "$START" >"$OUTBASE.start"

inode_of() { fls -r -p -o "$START" "$IMG" | awk -F'\t' -v p="$1" '$2 == p { split($1, a, " "); print a[length(a)] }' | tr -d ':*' | sed -n 1p; }
sectors_of() { istat -o "$START" "$IMG" "$(inode_of "$1")" | awk '/^Sectors:/ { on = 1; next } on { for (i = 1; i <= NF; i++) print $i }'; }
first_sector_of() { sectors_of "$1" | sed -n 1p; }
range_of() { fsstat -o "$START" "$IMG" | sed -n "s/^\\** *$1: \\([0-9]*\\) - \\([0-9]*\\)\$/\\1 \\2/p" | sed -n 1p; }
read -r data_start _ < <(range_of 'Cluster Area')
read -r fat_start fat_end < <(range_of 'FAT 0')
fat_sectors=$((fat_end - fat_start + 1))
cluster_of_sector() { echo $(( ($1 - data_start) / 4 + 2 )); }
put16() {  # put16 ABSOLUTE_BYTE VALUE
  printf "\\x$(printf %02x $(($2 & 255)))\\x$(printf %02x $(($2 >> 8)))" | dd of="$IMG" bs=1 seek="$1" conv=notrunc status=none
}

docs_cluster=$(cluster_of_sector "$(first_sector_of Docs)")

# Deep's entry BACK names Docs; BACK's own cluster is wiped so that nothing but the entry is left.
deep_sector=$(first_sector_of Docs/Sub/Deep)
back_sector=$(first_sector_of Docs/Sub/Deep/BACK)
back_at=$(dd if="$IMG" bs=512 skip=$((START + deep_sector)) count=4 status=none | grep -obUaP 'BACK       \x10' | sed -n 1p | cut -d: -f1)
put16 $(( (START + deep_sector) * 512 + back_at + 26 )) "$docs_cluster"
dd if=/dev/zero of="$IMG" bs=512 seek=$((START + back_sector)) count=4 conv=notrunc status=none

# Dotless loses its "." and ".." entries.
dd if=/dev/zero of="$IMG" bs=64 count=1 seek=$(( (START + $(first_sector_of Docs/Dotless)) * 512 / 64 )) conv=notrunc status=none

# Long's chain: its last cluster now points at Docs' first cluster, in both FATs.
long_last=$(cluster_of_sector "$(sectors_of Docs/Sub/Long | tail -n 1)")
for copy in 0 1; do
  put16 $(( (START + fat_start + copy * fat_sectors) * 512 + long_last * 2 )) "$docs_cluster"
done
