# A 40 MiB disk with one FAT32 partition at 2048 (one sector per cluster) holding the shared tree,
# whose boot sector, backup boot sector and both FATs were then zeroed: only the directory
# clusters are left to tell where the volume was. Side files of the undamaged volume:
# $OUTBASE.start and $OUTBASE.p1.fls, .fsstat, .dirs.
here="$(dirname "${BASH_SOURCE[0]}")"
. "$here/../recipe_steps.sh"
. "$here/advance_tree.sh"

new_disk 81920 <<<'start=2048, size=79872, type=0c'
format_fat 32 1 2048 79872
fill_tree 2048 p1
echo 2048 >"$OUTBASE.start"
save_reference 2048 p1

# "* FAT 0: 32 - 645" and "* FAT 1: 646 - 1259": the FATs lie back to back after the reserved area.
read -r fats_begin fats_end < <(awk '/^\* FAT 0: / { b = $4 } /^\* FAT 1: / { e = $6 } END { print b, e }' \
  "$OUTBASE.p1.fsstat")
for sector in 2048 2054; do
  dd if=/dev/zero of="$IMG" bs=512 seek=$sector count=1 conv=notrunc status=none
done
dd if=/dev/zero of="$IMG" bs=512 seek=$((2048 + fats_begin)) count=$((fats_end - fats_begin + 1)) \
  conv=notrunc status=none
