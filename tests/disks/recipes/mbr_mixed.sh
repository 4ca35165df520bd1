# A table whose type bytes and boot sectors disagree, with the extended entry between primaries:
#   1 FAT12 (type 01)         2 extended (05)        3 FAT16 in a type 07 entry   4 FAT32 (0c)
#   5 FAT32 (0b)   6 NTFS in a type 83 entry   7 an empty type 83 drive   8 FAT32 in a type 07 entry
# The file systems are small and empty: only their boot sectors matter here. 44 MiB.
# Side files: $OUTBASE.sfdisk and $OUTBASE.fs (what each partition number was formatted with).
total=90112  # sectors
truncate -s $((total * 512)) "$IMG"
sfdisk -q "$IMG" <<'TABLE'
label: dos
unit: sectors

start=2048, size=8192, type=01
start=10240, size=40960, type=05
start=51200, size=8192, type=07
start=59392, size=8192, type=0c
start=12288, size=8192, type=0b
start=22528, size=8192, type=83
start=32768, size=8192, type=83
start=43008, size=8192, type=07
TABLE

fat() {  # fat BITS SECTORS_PER_CLUSTER START SIZE
  # mkfs.fat warns that the FAT32 volumes are small for FAT32; they are meant to be.
  mkfs.fat -F "$1" -s "$2" --offset "$3" "$IMG" $(($4 / 2)) >/dev/null 2>mkfs.err || { cat mkfs.err >&2; exit 1; }
}
fat 12 4 2048 8192
fat 16 1 51200 8192
fat 32 1 59392 8192
fat 32 1 12288 8192
fat 32 1 43008 8192

truncate -s $((8192 * 512)) ntfs.img
mkntfs -F -q -f -p 22528 -H 255 -S 63 ntfs.img
dd if=ntfs.img of="$IMG" bs=512 seek=22528 conv=notrunc status=none

sfdisk -d "$IMG" >"$OUTBASE.sfdisk"
printf '1 FAT12\n3 FAT16\n4 FAT32\n5 FAT32\n6 NTFS\n8 FAT32\n' >"$OUTBASE.fs"
