# The demonstration disk: an MBR with a primary FAT16, a primary FAT32 and an extended partition
# holding a logical NTFS and a logical FAT16 drive, each with a few folders and files (one file
# of the FAT32 partition deleted). 76 MiB.
# Side files: $OUTBASE.sfdisk (the table as sfdisk dumps it) and $OUTBASE.fs (what each
# partition number was formatted with).
. "$(dirname "${BASH_SOURCE[0]}")/../recipe_steps.sh"

new_disk 155648 <<'TABLE'
label: dos
unit: sectors

start=2048, size=32768, type=06
start=34816, size=81920, type=0c
start=116736, size=38912, type=05
start=118784, size=16384, type=07
start=137216, size=12288, type=0e
TABLE

format_fat 16 1 2048 32768 SAMPLE16
format_fat 32 1 34816 81920 SAMPLE32
format_fat 16 1 137216 12288 LOGICAL16

# Folders and files as a user would copy them.
mkdir -p t16/DOCS/NOTES t16/PHOTOS t32/MUSIC/ALBUM t32/PROJECTS/SRC tl/BACKUP
echo "Quarrow sample disk, first partition." >t16/DOCS/README.TXT
printf 'buy milk\ncall home\n' >t16/DOCS/NOTES/TODO.TXT
head -c 20000 /dev/urandom >t16/PHOTOS/CAT.JPG
head -c 70000 /dev/urandom >t32/MUSIC/ALBUM/TRACK01.MP3
head -c 50000 /dev/urandom >t32/MUSIC/ALBUM/TRACK02.MP3
printf 'int main() { return 0; }\n' >t32/PROJECTS/SRC/MAIN.C
echo "A first draft, deleted later." >t32/PROJECTS/DRAFT.TXT
echo "An old copy." >tl/BACKUP/OLD.TXT
mcopy -s -i "$IMG@@$((2048 * 512))" t16/* ::/
mcopy -s -i "$IMG@@$((34816 * 512))" t32/* ::/
mcopy -s -i "$IMG@@$((137216 * 512))" tl/* ::/
# One file deleted as a user deletes it, for the scan to find again.
mdel -i "$IMG@@$((34816 * 512))" ::/PROJECTS/DRAFT.TXT

fill_ntfs() {  # MOUNT_POINT
  mkdir -p "$1/Reports/2026" "$1/Pictures"
  echo "Quarterly summary." >"$1/Reports/2026/summary.txt"
  head -c 30000 /dev/urandom >"$1/Pictures/holiday.png"
}
format_ntfs 118784 16384 SAMPLENTFS fill_ntfs

record_layout "1 FAT16" "2 FAT32" "5 NTFS" "6 FAT16"
