# A table whose type bytes and boot sectors disagree, with the extended entry between primaries:
#   1 FAT12 (type 01)         2 extended (05)        3 FAT16 in a type 07 entry   4 FAT32 (0c)
#   5 FAT32 (0b)   6 NTFS in a type 83 entry   7 an empty type 83 drive   8 FAT32 in a type 07 entry
# The file systems are small and empty: only their boot sectors matter here. 44 MiB.
# Side files: $OUTBASE.sfdisk and $OUTBASE.fs (what each partition number was formatted with).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

new_disk 90112 <<'TABLE'
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

format_fat 12 4 2048 8192
format_fat 16 1 51200 8192
format_fat 32 1 59392 8192
format_fat 32 1 12288 8192
format_fat 32 1 43008 8192
format_ntfs 22528 8192

record_layout "1 FAT12" "3 FAT16" "4 FAT32" "5 FAT32" "6 NTFS" "8 FAT32"
