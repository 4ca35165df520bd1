# A disk whose MBR sector was zeroed, for the lost-partition search and for an Advance search over
# a range that spans two volumes. 76 MiB:
#   1 FAT16 at 63 (cylinder 0, head 1)          2 FAT32 at 32193 (cylinder 2, head 1)
#   3 extended at 102400, holding 5 FAT16 at 104448 and 6 NTFS at 122880 (1 MiB boundaries)
#   4 FAT32 at 145408 (a 1 MiB boundary past the last whole cylinder), small and empty
# Volumes 1, 2 and 5 hold the shared tree. Side files, all of the undamaged disk: $OUTBASE.sfdisk
# and $OUTBASE.fs (the table and what each partition was formatted with), and the reference of
# each filled volume N: $OUTBASE.pN.fls, .fsstat and .dirs, and $OUTBASE.p6.fsstat of the NTFS
# volume.
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/advance_tree.sh"

new_disk 155648 <<'TABLE'
label: dos
unit: sectors

start=63, size=32066, type=06
start=32193, size=69000, type=0c
start=102400, size=40960, type=05
start=145408, size=8192, type=0c
start=104448, size=16384, type=06
start=122880, size=20480, type=07
TABLE

format_fat 16 4 63 32066
format_fat 32 1 32193 69000
format_fat 16 2 104448 16384
format_fat 32 1 145408 8192
format_ntfs 122880 20480

fill_tree 63 p1
fill_tree 32193 p2
fill_tree 104448 p5
record_layout "1 FAT16" "2 FAT32" "4 FAT32" "5 FAT16" "6 NTFS"
save_reference 63 p1
save_reference 32193 p2
save_reference 104448 p5
fsstat -o 122880 "$IMG" >"$OUTBASE.p6.fsstat"

dd if=/dev/zero of="$IMG" bs=512 count=1 conv=notrunc status=none
